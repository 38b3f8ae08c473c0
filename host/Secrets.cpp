#include "host/Secrets.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/Base64.h"
#include "host/Host.h"

namespace host {

namespace {

constexpr std::string_view kSealedTag = "s1:";
constexpr size_t kKeyHexLength = 64;
constexpr size_t kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
static_assert(crypto_aead_xchacha20poly1305_ietf_KEYBYTES == 32);

void initSodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw SecretError("libsodium could not be initialised");
}

/// Bytes wiped when they go, for plain texts and keys on their way through.
struct WipedBytes {
  std::vector<unsigned char> bytes;
  explicit WipedBytes(size_t n) : bytes(n) {}
  ~WipedBytes() {
    if (!bytes.empty()) sodium_memzero(bytes.data(), bytes.size());
  }
};

/// The seal's header, bound into it as associated data: a text moved to another kind fails.
std::string header(int kind) {
  return fmt::format("{}{}:", kSealedTag, kind);
}

std::string readSmallFile(int fd, const std::filesystem::path& file) {
  std::string text;
  char buf[256];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SecretError(
          fmt::format("cannot read the key file {}: {}", file.string(), std::strerror(errno)));
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
    if (text.size() > 1024) break;  // a key file is one short line
  }
  sodium_memzero(buf, sizeof buf);
  return text;
}

void writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SecretError(fmt::format("cannot write a key file: {}", std::strerror(errno)));
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace

SecretKey::~SecretKey() {
  sodium_memzero(bytes_.data(), bytes_.size());
}

SecretKey SecretKey::generate() {
  initSodium();
  SecretKey key;
  crypto_aead_xchacha20poly1305_ietf_keygen(key.bytes_.data());
  return key;
}

SecretKey SecretKey::load(const std::filesystem::path& file) {
  initSodium();
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT)
      throw SecretError(fmt::format(
          "there is no key file {}: seal the mail passwords first (boleto-server seal-secret), "
          "which creates it",
          file.string()));
    throw SecretError(
        fmt::format("cannot open the key file {}: {}", file.string(), std::strerror(errno)));
  }
  struct stat st {};
  std::string text;
  try {
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
      throw SecretError(fmt::format("the key file {} is not a regular file", file.string()));
    if ((st.st_mode & 077) != 0)
      throw SecretError(fmt::format(
          "the key file {} may be used by others (mode {:04o}); make it its owner's alone: "
          "chmod 600 {}",
          file.string(), st.st_mode & 07777, file.string()));
    text = readSmallFile(fd, file);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);

  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  SecretKey key;
  size_t written = 0;
  const char* end = nullptr;
  const bool ok = text.size() == kKeyHexLength &&
                  sodium_hex2bin(key.bytes_.data(), key.bytes_.size(), text.data(), text.size(),
                                 nullptr, &written, &end) == 0 &&
                  written == key.bytes_.size() && end == text.data() + text.size();
  sodium_memzero(text.data(), text.size());
  if (!ok)
    throw SecretError(
        fmt::format("the key file {} is damaged: it must hold one line of 64 hexadecimal digits",
                    file.string()));
  return key;
}

SecretKey SecretKey::loadOrCreate(const std::filesystem::path& file) {
  initSodium();
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return load(file);

  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  if (!std::filesystem::exists(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
    if (ec)
      throw SecretError(fmt::format("cannot create the folder of the key file {}: {}",
                                    file.string(), ec.message()));
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ec);
  }

  // Written whole into a file of its own, then linked under the key file's name: link never
  // replaces an existing file, so of two processes creating the key at once one key wins and
  // both read it; and nobody ever reads a key file half written.
  SecretKey key = generate();
  std::string tmpl = (folder / ".secret-key-XXXXXX").string();
  const int fd = ::mkstemp(tmpl.data());  // mode 0600
  if (fd < 0)
    throw SecretError(
        fmt::format("cannot create the key file {}: {}", file.string(), std::strerror(errno)));
  std::string hex(kKeyHexLength + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), key.bytes_.data(), key.bytes_.size());
  hex.back() = '\n';
  try {
    writeAll(fd, hex);
    if (::fsync(fd) != 0)
      throw SecretError(
          fmt::format("cannot write the key file {}: {}", file.string(), std::strerror(errno)));
  } catch (...) {
    sodium_memzero(hex.data(), hex.size());
    ::close(fd);
    ::unlink(tmpl.c_str());
    throw;
  }
  sodium_memzero(hex.data(), hex.size());
  ::close(fd);
  const int linked = ::link(tmpl.c_str(), file.c_str());
  const int linkErrno = errno;
  ::unlink(tmpl.c_str());
  if (linked != 0 && linkErrno != EEXIST)
    throw SecretError(
        fmt::format("cannot create the key file {}: {}", file.string(), std::strerror(linkErrno)));
  return load(file);
}

std::string sealSecret(const SecretKey& key, std::string_view plain, int kind) {
  initSodium();
  const std::string ad = header(kind);
  std::vector<unsigned char> box(kNonceSize + plain.size() + kTagSize);
  randombytes_buf(box.data(), kNonceSize);
  unsigned long long boxLen = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(
      box.data() + kNonceSize, &boxLen, reinterpret_cast<const unsigned char*>(plain.data()),
      plain.size(), reinterpret_cast<const unsigned char*>(ad.data()), ad.size(), nullptr,
      box.data(), key.data());
  box.resize(kNonceSize + boxLen);
  return ad + Encode64(std::string_view(reinterpret_cast<const char*>(box.data()), box.size()));
}

std::string openSecret(const SecretKey& key, std::string_view sealed, int kind) {
  initSodium();
  if (sealed.substr(0, kSealedTag.size()) != kSealedTag)
    throw SecretError("the stored secret is not a sealed text; seal it again");
  const std::string ad = header(kind);
  if (sealed.substr(0, ad.size()) != ad)
    throw SecretError(fmt::format("the stored secret was not sealed for kind {}", kind));
  std::string box;
  try {
    box = Decode64(sealed.substr(ad.size()));
  } catch (const std::invalid_argument&) {
    throw SecretError("the stored secret is damaged");
  }
  if (box.size() < kNonceSize + kTagSize) throw SecretError("the stored secret is damaged");
  const auto* bytes = reinterpret_cast<const unsigned char*>(box.data());
  WipedBytes plain(box.size() - kNonceSize - kTagSize);
  unsigned long long plainLen = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          plain.bytes.data(), &plainLen, nullptr, bytes + kNonceSize, box.size() - kNonceSize,
          reinterpret_cast<const unsigned char*>(ad.data()), ad.size(), bytes, key.data()) != 0)
    throw SecretError(
        "the stored secret does not open with this deployment's key: the key file is another "
        "or the text was damaged");
  return std::string(reinterpret_cast<const char*>(plain.bytes.data()), plainLen);
}

std::string sealMailPassword(const std::filesystem::path& keyFile, std::string_view password) {
  if (password.find_first_not_of(" \t") == std::string_view::npos)
    throw std::invalid_argument("a blank mail password is not sealed");
  std::string sealed = sealSecret(SecretKey::loadOrCreate(keyFile), password, kMailPasswordSecret);
  if (sealed.size() > kSealedMailPasswordMax)
    throw std::invalid_argument(fmt::format(
        "the password is too long: sealed it takes {} characters, more than the {} the branch's "
        "settings hold",
        sealed.size(), kSealedMailPasswordMax));
  return sealed;
}

std::filesystem::path defaultSecretKeyFile() {
  if (const char* f = std::getenv("BOLETO_SECRET_KEY_FILE"); f && *f) return f;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
    return std::filesystem::path(x) / "boleto" / "secret.key";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : ".") / ".config" / "boleto" / "secret.key";
}

std::string KeyFileSecretOpener::open(const std::string& sealed, int kind) const {
  return openSecret(SecretKey::load(file_), sealed, kind);
}

std::string Uncripto(const std::string& text, int n) {
  if (text.empty()) return {};
  if (const auto opener = installedHost().secrets) return opener->open(text, n);
  return KeyFileSecretOpener(defaultSecretKeyFile()).open(text, n);
}

}  // namespace host
