#pragma once
// The module's package loaded by name at run time, as the host of the module loads it, and
// its entry points looked up by name.

#include <cstddef>
#include <string>
#include <vector>

namespace host {
struct Host;
}  // namespace host

namespace desk {

class Package {
 public:
  static constexpr const char* kFileName = "PKG_REC12000.so";

  /// Loads the package from the first directory of `dirs` that holds it and runs its
  /// `Initialize`. Throws std::runtime_error naming every place looked in, or the loader's
  /// reason, or the missing entry point.
  explicit Package(const std::vector<std::string>& dirs);
  /// Runs `Finalize` and unloads the package.
  ~Package();
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  const std::string& path() const { return path_; }

  /// Hands the package the desktop's ports. Throws std::runtime_error when it refuses them.
  void installHost(const host::Host& ports);
  /// Opens the register.
  void IniProc();
  /// Opens the boleto directory; the directory chosen, or "" when none was.
  std::string CriaDirBoletos();
  /// Opens the write-off by loss of the register's marked boletos for `company`; the screen's
  /// modal result (1: the write-off was confirmed).
  int CriaBaixa_Perda(const std::string& company);
  /// Progress of the emission runs, boleto by boleto.
  using Progress = void (*)(std::size_t done, std::size_t total, const char* key, void* user);
  void setEmissionProgress(Progress progress, void* user);
  /// Progress of the e-mail runs, boleto by boleto (`sent` false: skipped with a message).
  using MailProgress = void (*)(std::size_t done, std::size_t total, const char* key, bool sent,
                                void* user);
  void setMailProgress(MailProgress progress, void* user);

 private:
  void* entry(const char* name) const;
  std::string path_;
  void* handle_ = nullptr;
};

}  // namespace desk
