#pragma once
// The filter screens' saved options kept by the service, per operator and screen, so that an
// operator finds them on any machine.

#include <memory>

#include "host/Screen.h"
#include "remote/Connection.h"

namespace rec {

class ServiceOptionsStore final : public host::OptionsStore {
 public:
  /// Reaches the "Host.rdmOpcoes" server object through `factory` (the process's default
  /// transport when null). The operator is the session's: nobody writes another's options.
  explicit ServiceOptionsStore(std::shared_ptr<remote::TransportFactory> factory = {});
  void save(const std::string& oper, const std::string& screenCode,
            const std::map<std::string, std::string>& options) override;
  std::optional<std::map<std::string, std::string>> load(const std::string& oper,
                                                         const std::string& screenCode) override;

 private:
  remote::Connection conn_;
};

}  // namespace rec
