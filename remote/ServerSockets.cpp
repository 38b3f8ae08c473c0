#include "remote/ServerSockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "remote/Transports.h"

namespace remote::sockets {

using Clock = std::chrono::steady_clock;

namespace {

thread_local const std::string* tOperator = nullptr;
// Gives the serving connection's anonymous place up; set while a request is processed.
thread_local std::function<void()> tSessionOpened;
const std::string kNobody;

// A request's head beyond this is refused: ours are a few hundred bytes.
constexpr size_t kMaxHead = 16 << 10;
// Requests one connection may carry before it is closed (a fresh one costs little).
constexpr size_t kKeepAliveRequests = 100'000;

// As many threads as connections being served, up to a bound: a connection holds its thread
// while it waits for its next request, so a fixed handful of threads would let a handful of
// idle or slow callers stop everyone else.
class ElasticPool final : public httplib::TaskQueue {
 public:
  explicit ElasticPool(size_t maxThreads) : max_(maxThreads) {}
  void enqueue(std::function<void()> fn) override {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(fn));
    if (jobs_.size() > idle_ && threads_.size() < max_) {
      threads_.emplace_back([this] { work(); });
    } else {
      wake_.notify_one();
    }
  }
  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    // No job is queued once the accepting loop has ended, so the list no longer grows.
    for (auto& t : threads_) t.join();
  }

 private:
  void work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
      --idle_;
      if (jobs_.empty()) return;
      auto job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      lock.lock();
    }
  }

  const size_t max_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool stopping_ = false;
};

std::string peerAddress(socket_t sock) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (::getpeername(sock, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return "?";
  char text[INET6_ADDRSTRLEN] = {};
  if (addr.ss_family == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&addr)->sin_addr, text, sizeof text);
  } else if (addr.ss_family == AF_INET6) {
    ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&addr)->sin6_addr, text, sizeof text);
  }
  return text;
}

void addressAndPort(socket_t sock, bool peer, std::string& ip, int& port) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  auto* a = reinterpret_cast<sockaddr*>(&addr);
  if ((peer ? ::getpeername(sock, a, &len) : ::getsockname(sock, a, &len)) != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  if (addr.ss_family == AF_INET) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    port = ntohs(v4->sin_port);
  } else if (addr.ss_family == AF_INET6) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    port = ntohs(v6->sin6_port);
  }
  ip = text;
}

std::string sslError() {
  const unsigned long e = ERR_get_error();
  if (e == 0) return std::strerror(errno);
  char text[256];
  ERR_error_string_n(e, text, sizeof text);
  ERR_clear_error();
  return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Reads a request's head; nothing when it is not an HTTP request head we take.
std::optional<Head> parseHead(std::string_view text) {
  Head head;
  size_t eol = text.find("\r\n");
  const std::string_view line = text.substr(0, eol);
  const size_t s1 = line.find(' ');
  const size_t s2 = s1 == std::string_view::npos ? s1 : line.find(' ', s1 + 1);
  if (s2 == std::string_view::npos || line.substr(s2 + 1).rfind("HTTP/1.", 0) != 0)
    return std::nullopt;
  head.method = std::string(line.substr(0, s1));
  std::string_view target = line.substr(s1 + 1, s2 - s1 - 1);
  head.path = std::string(target.substr(0, target.find('?')));
  while (eol != std::string_view::npos && eol + 2 < text.size()) {
    const size_t from = eol + 2;
    eol = text.find("\r\n", from);
    const std::string_view header = text.substr(from, eol - from);
    if (header.empty()) break;
    const size_t colon = header.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view name = trimmed(header.substr(0, colon));
    const std::string_view value = trimmed(header.substr(colon + 1));
    if (equalsIgnoringCase(name, "Content-Length")) {
      size_t n = 0;
      if (value.empty() || value.size() > 15 ||
          !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
      for (char c : value) n = n * 10 + static_cast<size_t>(c - '0');
      if (head.contentLength && *head.contentLength != n) return std::nullopt;
      head.contentLength = n;
    } else if (equalsIgnoringCase(name, "Transfer-Encoding")) {
      head.chunked = true;
    } else if (equalsIgnoringCase(name, kTokenHeader)) {
      head.token = std::string(value);
    }
  }
  return head;
}

const char* reason(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 408:
      return "Request Timeout";
    case 411:
      return "Length Required";
    case 413:
      return "Payload Too Large";
    case 431:
      return "Request Header Fields Too Large";
    default:
      return "Service Unavailable";
  }
}

// One accepted connection, plain or TLS, as httplib reads and writes it: every read waits at
// most until the deadline of the request being read, every write at most the write time-out.
class Connection final : public httplib::Stream {
 public:
  Connection(socket_t sock, SSL* ssl, int stopFd, const ServerLimits& limits)
      : sock_(sock), ssl_(ssl), stopFd_(stopFd), limits_(limits), buf_(2 * kMaxHead) {}

  enum class Wait { Ready, TimedOut, Stopped };

  bool is_readable() const override {
    return buffered() > 0 || (ssl_ && SSL_pending(ssl_) > 0) ||
           wait(POLLIN, deadline_, true) == Wait::Ready;
  }
  bool is_writable() const override {
    return wait(POLLOUT, Clock::now() + limits_.writeTimeout, false) == Wait::Ready;
  }

  ssize_t read(char* ptr, size_t size) override {
    if (buffered() == 0) {
      // A body read in large pieces goes straight to its place.
      if (size >= kMaxHead) return receive(ptr, size);
      at_ = end_ = 0;
      const ssize_t n = receive(buf_.data(), buf_.size());
      if (n <= 0) return n;
      end_ = static_cast<size_t>(n);
    }
    const size_t n = std::min(size, buffered());
    std::memcpy(ptr, buf_.data() + at_, n);
    at_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    size_t done = 0;
    while (done < size) {
      const size_t piece = std::min<size_t>(size - done, INT_MAX);
      if (ssl_) {
        const int n = SSL_write(ssl_, ptr + done, static_cast<int>(piece));
        if (n > 0) {
          done += static_cast<size_t>(n);
          continue;
        }
        const int e = SSL_get_error(ssl_, n);
        if ((e != SSL_ERROR_WANT_WRITE && e != SSL_ERROR_WANT_READ) ||
            wait(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, Clock::now() + limits_.writeTimeout,
                 false) != Wait::Ready)
          return -1;
        continue;
      }
      const ssize_t n = ::send(sock_, ptr + done, piece, MSG_NOSIGNAL);
      if (n >= 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if ((errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) ||
          wait(POLLOUT, Clock::now() + limits_.writeTimeout, false) != Wait::Ready)
        return -1;
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    addressAndPort(sock_, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    addressAndPort(sock_, false, ip, port);
  }
  socket_t socket() const override { return sock_; }

  /// The TLS handshake, done by `deadline`.
  bool handshake(Clock::time_point deadline) {
    for (;;) {
      const int r = SSL_accept(ssl_);
      if (r == 1) return true;
      const int e = SSL_get_error(ssl_, r);
      if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
        ERR_clear_error();
        return false;
      }
      if (wait(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline, true) != Wait::Ready)
        return false;
    }
  }

  /// Waits for the next request's first bytes until `deadline`.
  Wait awaitRequest(Clock::time_point deadline) {
    if (buffered() > 0 || (ssl_ && SSL_pending(ssl_) > 0)) return Wait::Ready;
    return wait(POLLIN, deadline, true);
  }

  enum class HeadRead { Ok, Closed, TimedOut, TooLarge, Malformed };
  /// Reads a whole request head by `deadline`, leaving it buffered for httplib to parse.
  HeadRead readHead(Clock::time_point deadline, Head& head) {
    deadline_ = deadline;
    for (;;) {
      const std::string_view held(buf_.data() + at_, buffered());
      const size_t blank = held.find("\r\n\r\n");
      if (blank != std::string_view::npos) {
        auto parsed = parseHead(held.substr(0, blank + 2));
        if (!parsed) return HeadRead::Malformed;
        head = std::move(*parsed);
        return HeadRead::Ok;
      }
      if (buffered() >= kMaxHead) return HeadRead::TooLarge;
      if (at_ > 0) {
        std::memmove(buf_.data(), buf_.data() + at_, buffered());
        end_ -= at_;
        at_ = 0;
      }
      const ssize_t n = receive(buf_.data() + end_, buf_.size() - end_);
      if (n == 0) return HeadRead::Closed;
      if (n < 0) return HeadRead::TimedOut;
      end_ += static_cast<size_t>(n);
    }
  }

  /// Reads of the rest of this request end by `deadline`.
  void setDeadline(Clock::time_point deadline) { deadline_ = deadline; }

  /// Answers with a JSON body and nothing more: the connection closes after it.
  void answer(int status, const std::string& body) {
    const std::string text = fmt::format(
        "HTTP/1.1 {} {}\r\nContent-Type: application/json\r\nContent-Length: {}\r\n"
        "Connection: close\r\n\r\n{}",
        status, reason(status), body.size(), body);
    write(text.data(), text.size());
  }

  /// Ends the connection so that what was last written still reaches the caller: a socket
  /// closed with unread input would reset it.
  void close() {
    if (ssl_) {
      SSL_shutdown(ssl_);
      ERR_clear_error();
    }
    ::shutdown(sock_, SHUT_WR);
    char sink[4096];
    const auto until = Clock::now() + std::chrono::milliseconds(200);
    size_t drained = 0;
    while (drained < (64u << 10) && wait(POLLIN, until, false) == Wait::Ready) {
      const ssize_t n = ::recv(sock_, sink, sizeof sink, 0);
      if (n <= 0) break;
      drained += static_cast<size_t>(n);
    }
  }

 private:
  size_t buffered() const { return end_ - at_; }

  Wait wait(short events, Clock::time_point until, bool stoppable) const {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
      if (left.count() <= 0) return Wait::TimedOut;
      pollfd fds[2] = {{sock_, events, 0}, {stopFd_, POLLIN, 0}};
      const int n = ::poll(fds, stoppable ? 2 : 1,
                           static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Wait::TimedOut;
      if (n == 0) continue;
      if (stoppable && (fds[1].revents & POLLIN)) return Wait::Stopped;
      return Wait::Ready;
    }
  }

  // One read off the socket by the deadline: bytes read, 0 at the caller's end, -1 on
  // failure or when time ran out.
  ssize_t receive(char* ptr, size_t size) {
    for (;;) {
      if (Clock::now() >= deadline_) return -1;
      if (ssl_) {
        const int n = SSL_read(ssl_, ptr, static_cast<int>(std::min<size_t>(size, INT_MAX)));
        if (n > 0) return n;
        const int e = SSL_get_error(ssl_, n);
        if (e == SSL_ERROR_ZERO_RETURN) return 0;
        if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
          ERR_clear_error();
          return -1;
        }
        if (wait(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline_, true) != Wait::Ready)
          return -1;
        continue;
      }
      const ssize_t n = ::recv(sock_, ptr, size, 0);
      if (n >= 0) return n;
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
      if (wait(POLLIN, deadline_, true) != Wait::Ready) return -1;
    }
  }

  socket_t sock_;
  SSL* ssl_;
  int stopFd_;
  const ServerLimits& limits_;
  std::vector<char> buf_;
  size_t at_ = 0, end_ = 0;
  Clock::time_point deadline_ = Clock::now();
};

}  // namespace

const std::string& currentOperator() {
  return tOperator ? *tOperator : kNobody;
}

void sessionOpened() {
  // At once, before the answer goes out: the caller may count on the place being free as
  // soon as it reads its session.
  if (tSessionOpened) tSessionOpened();
}

/// A connection's place in the counts, given back when it closes.
struct GuardedServer::Admission {
  GuardedServer& server;
  std::string address;
  bool anonymous = false;

  void loggedIn() {
    if (!anonymous) return;
    std::lock_guard lock(server.mutex_);
    release();
  }
  ~Admission() {
    std::lock_guard lock(server.mutex_);
    if (anonymous) release();
    --server.total_;
    if (--server.perAddress_[address] == 0) server.perAddress_.erase(address);
  }

 private:
  void release() {
    anonymous = false;
    --server.anonymous_;
    if (--server.anonymousPerAddress_[address] == 0) server.anonymousPerAddress_.erase(address);
    server.anonymousFree_.notify_all();
  }
};

GuardedServer::GuardedServer(ServerLimits limits, Gate gate)
    : limits_(limits), gate_(std::move(gate)) {
  stopFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (stopFd_ < 0) throw std::runtime_error(fmt::format("eventfd: {}", std::strerror(errno)));
  // Every admitted connection may need its thread; a few more take the refusals.
  const size_t threads = limits_.maxConnections + 8;
  new_task_queue = [threads] { return new ElasticPool(threads); };
  set_payload_max_length(std::max(limits_.callBody, limits_.loginBody));
  set_keep_alive_max_count(kKeepAliveRequests);
}

GuardedServer::~GuardedServer() {
  if (stopFd_ >= 0) ::close(stopFd_);
}

void GuardedServer::useTls(const std::string& certFile, const std::string& keyFile) {
  tls_.reset(SSL_CTX_new(TLS_server_method()));
  if (!tls_) throw std::runtime_error("cannot create a TLS context: " + sslError());
  SSL_CTX_set_min_proto_version(tls_.get(), TLS1_2_VERSION);
  SSL_CTX_set_mode(tls_.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (SSL_CTX_use_certificate_chain_file(tls_.get(), certFile.c_str()) != 1)
    throw std::runtime_error(
        fmt::format("cannot use the certificate {}: {}", certFile, sslError()));
  if (SSL_CTX_use_PrivateKey_file(tls_.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
    throw std::runtime_error(fmt::format("cannot use the key {}: {}", keyFile, sslError()));
  if (SSL_CTX_check_private_key(tls_.get()) != 1)
    throw std::runtime_error(
        fmt::format("the key {} does not belong to the certificate {}", keyFile, certFile));
}

void GuardedServer::halt() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(stopFd_, &one, sizeof one);
  std::lock_guard lock(mutex_);
  anonymousFree_.notify_all();
}

size_t GuardedServer::openConnections() const {
  std::lock_guard lock(mutex_);
  return total_;
}

size_t GuardedServer::anonymousConnections() const {
  std::lock_guard lock(mutex_);
  return anonymous_;
}

bool GuardedServer::admit(const std::string& address, std::shared_ptr<Admission>& admission) {
  std::unique_lock lock(mutex_);
  if (total_ >= limits_.maxConnections || perAddress_[address] >= limits_.maxPerAddress) {
    if (perAddress_[address] == 0) perAddress_.erase(address);
    return false;
  }
  ++total_;
  ++perAddress_[address];
  admission.reset(new Admission{*this, address});
  // A connection holds no session until its first call shows one: it waits for a place
  // among the anonymous ones, and gives it up as soon as it shows one.
  const auto placed = [&] {
    return anonymous_ < limits_.maxAnonymous &&
           anonymousPerAddress_[address] < limits_.maxAnonymousPerAddress;
  };
  if (!anonymousFree_.wait_until(lock, Clock::now() + limits_.headerTimeout,
                                 [&] { return placed() || !is_running(); }) ||
      !placed()) {
    if (anonymousPerAddress_[address] == 0) anonymousPerAddress_.erase(address);
    lock.unlock();
    admission.reset();
    return false;
  }
  ++anonymous_;
  ++anonymousPerAddress_[address];
  admission->anonymous = true;
  return true;
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
  const int flags = ::fcntl(sock, F_GETFL, 0);
  ::fcntl(sock, F_SETFL, flags | O_NONBLOCK);
  const int on = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const std::string address = peerAddress(sock);

  std::unique_ptr<SSL, void (*)(SSL*)> ssl(nullptr, SSL_free);
  if (tls_) {
    ssl.reset(SSL_new(tls_.get()));
    if (ssl) SSL_set_fd(ssl.get(), sock);
  }
  Connection conn(sock, ssl.get(), stopFd_, limits_);
  std::shared_ptr<Admission> admission;
  bool served = false;
  if (tls_ && !ssl) {
    // nothing to serve with
  } else if (!admit(address, admission)) {
    if (!ssl) {
      conn.setDeadline(Clock::now() + limits_.writeTimeout);
      conn.answer(503, R"({"key":"SERVIDOR_OCUPADO","text":"O servidor está atendendo o máximo )"
                       R"(de conexões; tente de novo em instantes."})");
    }
  } else if (!ssl || conn.handshake(Clock::now() + limits_.headerTimeout)) {
    served = true;
    bool first = true;
    for (size_t count = kKeepAliveRequests; count > 0 && is_running(); --count) {
      // A connection without a session waits for its next request no longer than for a head:
      // an idle anonymous connection would hold a place others may need.
      const auto idle = admission->anonymous ? limits_.headerTimeout : limits_.idleTimeout;
      if (!first && conn.awaitRequest(Clock::now() + idle) != Connection::Wait::Ready) break;
      first = false;
      Head head;
      switch (conn.readHead(Clock::now() + limits_.headerTimeout, head)) {
        case Connection::HeadRead::Ok:
          break;
        case Connection::HeadRead::TimedOut:
          conn.answer(408, R"({"key":"TEMPO_ESGOTADO","text":"A requisição não chegou a tempo."})");
          [[fallthrough]];
        case Connection::HeadRead::Closed:
          count = 1;
          continue;
        case Connection::HeadRead::TooLarge:
          conn.answer(431, R"({"key":"ARG_INVALIDO","text":"Cabeçalho grande demais."})");
          count = 1;
          continue;
        case Connection::HeadRead::Malformed:
          conn.answer(400, R"({"key":"ARG_INVALIDO","text":"Requisição HTTP malformada."})");
          count = 1;
          continue;
      }
      Verdict verdict = gate_(head, address);
      if (verdict.status == 0 && head.chunked) {
        verdict.status = 411;
        verdict.body = R"({"key":"ARG_INVALIDO","text":"A requisição deve dizer seu tamanho."})";
      }
      if (verdict.status == 0 && head.contentLength.value_or(0) > verdict.bodyLimit) {
        verdict.status = 413;
        verdict.body = fmt::format(
            R"({{"key":"ARG_INVALIDO","text":"A requisição tem {} bytes; o limite é {}."}})",
            head.contentLength.value_or(0), verdict.bodyLimit);
      }
      if (verdict.status != 0) {
        conn.answer(verdict.status, verdict.body);
        break;
      }
      if (verdict.loggedIn) admission->loggedIn();
      const auto bodyTime = std::chrono::milliseconds(head.contentLength.value_or(0) * 1000 /
                                                      std::max<size_t>(limits_.minBodyRate, 1));
      conn.setDeadline(Clock::now() + limits_.headerTimeout + bodyTime);
      tOperator = &verdict.operatorCode;
      tSessionOpened = [&admission] { admission->loggedIn(); };
      bool closed = false;
      const bool ok = process_request(conn, count == 1 || !is_running(), closed, nullptr);
      tOperator = nullptr;
      tSessionOpened = nullptr;
      if (!ok || closed) break;
    }
  }
  conn.close();
  admission.reset();
  ::close(sock);
  return served;
}

}  // namespace remote::sockets
