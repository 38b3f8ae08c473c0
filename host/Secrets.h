#pragma once
// Secrets at rest: a branch's mail password is stored sealed (authenticated secret-key
// encryption with a random nonce) under a key that the deployment keeps in a key file,
// never in the database or the repository. `Uncripto` opens a sealed text for the module.
//
// A sealed text reads "s1:<kind>:<Base64 of nonce and ciphertext>". The kind is the number
// the host's Uncripto is called with (2: a branch's mail password); it is bound into the
// seal, so a text sealed for one kind does not open as another.

#include <array>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace host {

/// The kind of secret of a branch's stored mail password (`CDSENHEMAILF`).
inline constexpr int kMailPasswordSecret = 2;

/// A secret that cannot be had: a key file missing, unreadable, open to others or damaged, or
/// a sealed text that does not open. The text never holds the secret nor the sealed text.
class SecretError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The deployment's 32-byte key. Wiped from memory when it goes.
class SecretKey {
 public:
  /// A fresh random key.
  static SecretKey generate();
  /// Reads a key file: one line of 64 hexadecimal digits. The file must be a regular file
  /// that only its owner may read or write (mode 0600 or stricter); anything else is a
  /// SecretError saying what to mend.
  static SecretKey load(const std::filesystem::path& file);
  /// Reads the key file, creating it first with a fresh key (mode 0600, its folder 0700 when
  /// missing) when there is none. Two processes creating it at once end with the same key.
  static SecretKey loadOrCreate(const std::filesystem::path& file);

  SecretKey(const SecretKey& other) = default;
  SecretKey& operator=(const SecretKey& other) = default;
  ~SecretKey();

  const unsigned char* data() const { return bytes_.data(); }

 private:
  SecretKey() = default;
  std::array<unsigned char, 32> bytes_{};
};

/// Seals `plain` for `kind` under `key`; a new random nonce each time.
std::string sealSecret(const SecretKey& key, std::string_view plain, int kind);
/// Opens a text made by sealSecret with the same key and kind. A text that is not sealed, was
/// sealed for another kind, with another key, or was damaged is a SecretError.
std::string openSecret(const SecretKey& key, std::string_view sealed, int kind);

/// The longest sealed text a branch's mail password may take (the width of `CDSENHEMAILF`).
inline constexpr size_t kSealedMailPasswordMax = 200;

/// Seals a branch's mail password with the key of `keyFile` (made when missing), for
/// storing in `CDSENHEMAILF`. A blank password, or one whose sealed text would not fit the
/// field (passwords up to about 100 bytes fit), is refused with std::invalid_argument.
std::string sealMailPassword(const std::filesystem::path& keyFile, std::string_view password);

/// The key file when configuration names none: $BOLETO_SECRET_KEY_FILE, else
/// $XDG_CONFIG_HOME/boleto/secret.key, else ~/.config/boleto/secret.key.
std::filesystem::path defaultSecretKeyFile();

/// The port behind the host's Uncripto: who opens the stored secrets of this process.
class SecretOpener {
 public:
  virtual ~SecretOpener() = default;
  virtual std::string open(const std::string& sealed, int kind) const = 0;
};

/// Opens with the key of a key file, read (and created when missing) on first use.
class KeyFileSecretOpener final : public SecretOpener {
 public:
  explicit KeyFileSecretOpener(std::filesystem::path file) : file_(std::move(file)) {}
  std::string open(const std::string& sealed, int kind) const override;
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

/// The host's Uncripto: the plain text of a stored secret of kind `n`, opened by the installed
/// host's opener (`Host::secrets`), else with the key of defaultSecretKeyFile(). An empty text
/// gives an empty text (nothing was stored); a text that does not open is a SecretError.
std::string Uncripto(const std::string& text, int n);

}  // namespace host
