#include "host/Packages.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "host/Context.h"
#include "host/Errors.h"
#include "host/Host.h"

namespace host {

namespace {

// Where this code was loaded from: the module's package when the host loaded it, the
// program itself when it links the module: the host's packages sit beside it.
std::string ownDir() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&LoadBPL), &info) != 0 && info.dli_fname != nullptr) {
    std::error_code ec;
    const auto path = std::filesystem::canonical(info.dli_fname, ec);
    if (!ec) return path.parent_path().string();
  }
  return ".";
}

struct Loaded {
  void* handle = nullptr;
  Host ports;  ///< what the package was last handed, kept alive while it may read it
};

}  // namespace

void LoadBPL(const std::string& name) {
  if (name.empty() || name.find_first_of("/\\") != std::string::npos ||
      name.find("..") != std::string::npos)
    throw OperationError("Nome de pacote inválido: \"" + name + "\".");
  static std::mutex mutex;
  static std::map<std::string, Loaded> loaded;
  std::string dir = context().PackageDir();
  if (dir.empty()) dir = ownDir();
  const std::string path = (std::filesystem::path(dir) / (name + ".so")).string();
  std::unique_lock lock(mutex);
  auto it = loaded.find(path);
  if (it == loaded.end()) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
      throw OperationError("Pacote " + name + " não encontrado: " + path);
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = ::dlerror();
      throw OperationError("O pacote " + name + " não carregou: " + (why ? why : path));
    }
    if (::dlsym(handle, "IniProc") == nullptr) {
      ::dlclose(handle);
      throw OperationError("O pacote " + name + " (" + path + ") não exporta IniProc.");
    }
    it = loaded.emplace(path, Loaded{handle, {}}).first;
    if (auto init = reinterpret_cast<void (*)()>(::dlsym(handle, "Initialize"))) init();
  }
  // The ports may have changed since the package was loaded: it always works with the
  // current ones.
  it->second.ports = installedHost();
  void* handle = it->second.handle;
  const Host* ports = &it->second.ports;
  lock.unlock();
  if (auto install = reinterpret_cast<bool (*)(const Host*)>(::dlsym(handle, "InstalaHost"));
      install != nullptr && !install(ports))
    throw OperationError("O pacote " + name + " recusou os serviços do programa (outra versão).");
  reinterpret_cast<void (*)()>(::dlsym(handle, "IniProc"))();
}

}  // namespace host
