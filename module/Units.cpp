#include "module/Units.h"

#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace Cli_rec12000 {
bool boStCriado = false;
bool boAtualiza = true;
bool BoCreditoEmConta = false;
std::string stLista;
std::string stDiretorio;
}  // namespace Cli_rec12000

namespace Cli_rec12002 {
bool FWorking = false;
int inBolErro = 0;
}  // namespace Cli_rec12002

namespace Cli_rec12003 {
bool boStCriado = false;
}
namespace Cli_rec12004 {
bool boIdCriado = false;
}
namespace Cli_rec12005 {
bool boStCriado = false;
}
namespace Cli_rec12006 {
bool boStCriado = false;
host::TKeyList* klsCodigoBarra = nullptr;
host::TKeyList* klsImporBoleto = nullptr;
}  // namespace Cli_rec12006
namespace Cli_rec12007 {
bool boStCriado = false;
}
namespace Cli_rec12009 {
std::string stDirBoletos;
}
namespace Cli_rec12010 {
bool FWorking = false;
}
namespace Cli_rec12013 {
bool boIdCriado = false;
}

namespace rec {

namespace {

struct Unit {
  std::string name;
  std::function<void()> initialization;
  std::function<void()> finalization;
  int counter = 0;  // loads not yet matched by an unload
  int initRuns = 0;
  int finiRuns = 0;
};

// In load order; unloads run in the reverse order. A unit of a later screen adds its line.
std::vector<Unit>& units() {
  static std::vector<Unit> all = {
      {"Cli_rec12000",
       [] {
         Cli_rec12000::boStCriado = false;
         Cli_rec12000::boAtualiza = true;
       },
       [] {
         Cli_rec12000::stLista.clear();
         Cli_rec12000::stDiretorio.clear();
       }},
      {"Cli_rec12002", {}, {}},
      {"Cli_rec12003", {}, {}},
      {"Cli_rec12004", {}, {}},
      {"Cli_rec12005", {}, {}},
      {"Cli_rec12006", {}, {}},
      {"Cli_rec12007", {}, {}},
      {"Cli_rec12009", {}, {}},
      {"Cli_rec12010", {}, {}},
      {"Cli_rec12013", {}, {}},
  };
  return all;
}

std::mutex gUnitsMutex;

}  // namespace

void initializeUnits() {
  std::lock_guard lock(gUnitsMutex);
  for (auto& u : units()) {
    if (u.counter++ > 0) continue;
    ++u.initRuns;
    if (u.initialization) u.initialization();
  }
}

void finalizeUnits() {
  std::lock_guard lock(gUnitsMutex);
  auto& all = units();
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    // An unload without a matching load does nothing rather than run a finalization early.
    if (it->counter == 0 || --it->counter > 0) continue;
    ++it->finiRuns;
    if (it->finalization) it->finalization();
  }
}

int unitInitializations(const std::string& unit) {
  std::lock_guard lock(gUnitsMutex);
  for (const auto& u : units())
    if (u.name == unit) return u.initRuns;
  return -1;
}

int unitFinalizations(const std::string& unit) {
  std::lock_guard lock(gUnitsMutex);
  for (const auto& u : units())
    if (u.name == unit) return u.finiRuns;
  return -1;
}

}  // namespace rec
