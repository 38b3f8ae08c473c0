#include "host/Context.h"

#include <fmt/format.h>

#include <fstream>
#include <stdexcept>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/Host.h"

namespace host {
namespace {

DateTime parseDateSetting(const std::string& key, const std::string& value) {
  if (auto d = DateTime::parse(value, "dd/mm/yyyy")) return *d;
  if (auto d = DateTime::parseIso(value)) return *d;
  throw std::invalid_argument(
      fmt::format("setting '{}': '{}' is not a date (dd/mm/yyyy or yyyy-mm-dd)", key, value));
}

bool startsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

void ContextSettings::set(const std::string& key, const std::string& rawValue) {
  const std::string value = AllTrim(rawValue);
  if (key == "company") {
    company = Ajusta(value, 2);
  } else if (key == "branch") {
    branch = Ajusta(value, 4);
  } else if (key == "branch-module") {
    const std::string v = UpperCase(AllTrim(value));
    if (v == "S" || v == "TRUE" || v == "1") {
      branchModule = true;
    } else if (v == "N" || v == "FALSE" || v == "0" || v.empty()) {
      branchModule = false;
    } else {
      throw std::invalid_argument("branch-module: expected S or N, got " + value);
    }
  } else if (key == "processing-date") {
    processingDate = parseDateSetting(key, value);
  } else if (startsWith(key, "processing-date.")) {
    branchProcessingDates[Ajusta(key.substr(16), 4)] = parseDateSetting(key, value);
  } else if (key == "operator") {
    operatorCode = value;
  } else if (key == "report-dir") {
    reportDir = value;
  } else if (key == "web-url") {
    webUrl = value;
  } else if (key == "web-port") {
    const int64_t port = StrToIntDef(value, -1);
    if (port < 1 || port > 65535) {
      throw std::invalid_argument(fmt::format("setting 'web-port': '{}' is not a port", value));
    }
    webPort = static_cast<int>(port);
  } else if (key == "companies") {
    companies.clear();
    size_t start = 0;
    while (start <= value.size()) {
      const size_t end = value.find(';', start);
      const std::string one = AllTrim(value.substr(start, end - start));
      if (!one.empty()) companies.insert(Ajusta(one, 2));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  } else if (startsWith(key, "locked-before.")) {
    lockedBefore[key.substr(14)] = parseDateSetting(key, value);
  } else if (key == "serial-device") {
    serialDevice = value;
  } else if (key == "log-dir") {
    logDir = value;
  } else if (key == "package-dir") {
    packageDir = value;
  } else {
    throw std::invalid_argument(fmt::format("unknown context setting '{}'", key));
  }
}

ContextSettings ContextSettings::fromFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::invalid_argument(fmt::format("cannot read the context file '{}'", path));
  ContextSettings s;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string t = AllTrim(line.substr(0, line.find('#')));
    if (t.empty()) continue;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) {
      throw std::invalid_argument(fmt::format("{}:{}: expected 'key = value'", path, number));
    }
    try {
      s.set(AllTrim(t.substr(0, eq)), t.substr(eq + 1));
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument(fmt::format("{}:{}: {}", path, number, e.what()));
    }
  }
  return s;
}

ConfiguredContext::ConfiguredContext(ContextSettings settings) : settings_(std::move(settings)) {}

DateTime ConfiguredContext::DataProc(const std::string& branch) const {
  if (!branch.empty()) {
    auto it = settings_.branchProcessingDates.find(Ajusta(branch, 4));
    if (it != settings_.branchProcessingDates.end()) return it->second;
  }
  return settings_.processingDate ? *settings_.processingDate : Today();
}

std::string ConfiguredContext::ReportDir() const {
  std::string dir = settings_.reportDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

std::string ConfiguredContext::LogDir() const {
  if (settings_.logDir.empty()) return ReportDir();
  std::string dir = settings_.logDir;
  if (dir.back() != '/') dir += '/';
  return dir;
}

bool ConfiguredContext::AcessoOperEmpresa(const std::string& oper,
                                          const std::string& company) const {
  if (oper != settings_.operatorCode) return false;
  return settings_.companies.empty() || settings_.companies.count(Ajusta(company, 2)) > 0;
}

bool ConfiguredContext::DtProcBloq(const std::string& module, const std::string& /*oper*/,
                                   const DateTime& date) const {
  auto it = settings_.lockedBefore.find(module);
  return it != settings_.lockedBefore.end() && date.dateOnly() < it->second;
}

DateTime Now() {
  return clock().now();
}

DateTime Today() {
  return clock().today();
}

}  // namespace host
