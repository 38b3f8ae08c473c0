#pragma once
// The host's download of a report template from the service into the report directory.

#include <memory>
#include <string>

#include "remote/Wire.h"

namespace report {

/// Downloads the template that the service names `source` (the third element of its
/// GetDadosRel answer) into `localPath`, connecting to "Qrd.rdmQRDesign" at WebURL() and
/// WebPort(). The file is written whole under a temporary name and then renamed, so a
/// failure leaves the previous file (or none) and never a partial one. Gives false on any
/// failure, with the reason in `why` when given.
bool GetAtuGerFos(const std::string& localPath, const std::string& source,
                  std::string* why = nullptr);
/// The same through `factory` instead of the process's default transport.
bool GetAtuGerFos(const std::string& localPath, const std::string& source,
                  std::shared_ptr<remote::TransportFactory> factory, std::string* why = nullptr);

}  // namespace report
