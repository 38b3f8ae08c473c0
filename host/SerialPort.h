#pragma once
// The serial device the generation of text files notifies: the path of each file exported is
// written to it, for the equipment listening on the line. A port of the host (host/Host.h):
// the desktop and the command line use the termios device, tests may install their own.

#include <memory>
#include <string>

#include "host/DateTime.h"

namespace host {

/// Writes one notice to a serial device and closes it again.
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  /// Opens `device` (an existing device only: nothing is created), sets its line, writes
  /// `text` whole and closes it. False, with nothing written, when the device cannot be
  /// opened or configured or does not take the text in time; nothing is reported.
  virtual bool Envia(const std::string& device, const std::string& text) = 0;
};

/// The device through termios: 19200 baud, 8 data bits, no parity, one stop bit, the other
/// settings as the device has them; reads time out after 1000 ms, and a write that the
/// device does not take within 1000 ms is abandoned.
class TermiosSerialPort final : public SerialPort {
 public:
  bool Envia(const std::string& device, const std::string& text) override;
};

/// The installed serial port (the termios one when none is).
std::shared_ptr<SerialPort> serialPort();

/// The diagnostic log of the device notices.
inline constexpr const char* kSerialLogFile = "ANALISA_ERRO.txt";

/// The log line of a notice sent: "dd/mm/yyyy hh:nn:ss - Comando Enviado Generico" + text.
std::string LinhaComandoEnviado(const DateTime& when, const std::string& text);

/// Appends the log line of a notice sent to `dir` + "ANALISA_ERRO.txt" (created when
/// missing, CRLF after each line). False when the file cannot be written: the log never
/// stops the work it records.
bool RegistraComandoEnviado(const std::string& dir, const DateTime& when, const std::string& text);

}  // namespace host
