#include "host/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "host/Host.h"

namespace host {

namespace {

constexpr int kTimeoutMs = 1000;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool configure(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  if (::cfsetispeed(&t, B19200) != 0 || ::cfsetospeed(&t, B19200) != 0) return false;
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  // Read interval none, total read time 1000 ms (VTIME counts tenths of a second).
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = kTimeoutMs / 100;
  return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

bool TermiosSerialPort::Envia(const std::string& device, const std::string& text) {
  if (device.empty()) return false;
  // Existing devices only: a missing path must not become a file called like the device.
  Fd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0 || !configure(fd.get())) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
  size_t done = 0;
  while (done < text.size()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd p{fd.get(), POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
    const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  // What the driver holds goes out before the line is closed, within the same time-out.
  ::tcdrain(fd.get());
  return true;
}

std::shared_ptr<SerialPort> serialPort() {
  if (auto installed = installedHost().serial) return installed;
  static const auto fallback = std::make_shared<TermiosSerialPort>();
  return fallback;
}

std::string LinhaComandoEnviado(const DateTime& when, const std::string& text) {
  return when.format("dd/mm/yyyy hh:nn:ss") + " - Comando Enviado Generico" + text;
}

bool RegistraComandoEnviado(const std::string& dir, const DateTime& when, const std::string& text) {
  std::string path = dir;
  if (!path.empty() && path.back() != '/') path += '/';
  path += kSerialLogFile;
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (f == nullptr) return false;
  const std::string line = LinhaComandoEnviado(when, text) + "\r\n";
  const bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace host
