#include "apps/boleto-desk/Package.h"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>

#include "host/Host.h"

namespace desk {

Package::Package(const std::vector<std::string>& dirs) {
  std::string looked;
  for (const auto& dir : dirs) {
    if (dir.empty()) continue;
    const auto candidate = std::filesystem::path(dir) / kFileName;
    if (!std::filesystem::exists(candidate)) {
      looked += "\n  " + candidate.string();
      continue;
    }
    path_ = candidate.string();
    break;
  }
  if (path_.empty())
    throw std::runtime_error(std::string("pacote ") + kFileName + " não encontrado em:" + looked);
  // Local: the package's own copy of the module stays its own.
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    throw std::runtime_error("o pacote " + path_ + " não carregou: " + dlerror());
  }
  try {
    reinterpret_cast<void (*)()>(entry("Initialize"))();
  } catch (...) {
    dlclose(handle_);
    throw;
  }
}

Package::~Package() {
  reinterpret_cast<void (*)()>(entry("Finalize"))();
  dlclose(handle_);
}

void* Package::entry(const char* name) const {
  void* f = dlsym(handle_, name);
  if (f == nullptr) throw std::runtime_error("o pacote " + path_ + " não exporta " + name);
  return f;
}

void Package::installHost(const host::Host& ports) {
  auto install = reinterpret_cast<bool (*)(const host::Host*)>(entry("InstalaHost"));
  if (!install(&ports)) {
    throw std::runtime_error("o pacote " + path_ +
                             " recusou os serviços do programa (outra versão)");
  }
}

void Package::IniProc() {
  reinterpret_cast<void (*)()>(entry("IniProc"))();
}

std::string Package::CriaDirBoletos() {
  const char* dir = reinterpret_cast<const char* (*)()>(entry("CriaDirBoletos"))();
  return dir != nullptr ? dir : "";
}

int Package::CriaBaixa_Perda(const std::string& company) {
  return reinterpret_cast<int (*)(const char*)>(entry("CriaBaixa_Perda"))(company.c_str());
}

void Package::setEmissionProgress(Progress progress, void* user) {
  reinterpret_cast<void (*)(Progress, void*)>(entry("SetEmissionProgress"))(progress, user);
}

void Package::setMailProgress(MailProgress progress, void* user) {
  reinterpret_cast<void (*)(MailProgress, void*)>(entry("SetMailProgress"))(progress, user);
}

}  // namespace desk
