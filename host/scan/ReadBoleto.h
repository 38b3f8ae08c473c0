#pragma once
// A boleto as a customer sends it: a picture (a scan, a photo) or a PDF, read back into its
// bank, value and due date, or the reason it is not a valid boleto.

#include <filesystem>
#include <string>
#include <vector>

#include "host/DateTime.h"
#include "host/bank/Febraban.h"
#include "host/scan/Scan.h"

namespace host::scan {

/// One boleto read from a file.
struct BoletoRead {
  bank::Verificacao check;  ///< bank, value, due date; or the reason
  std::string source;       ///< "barras" (the bars) or "texto" (a typed line in a PDF's text)
  int page = 1;
};

/// Reads the boletos of a PNG or JPEG picture or of a PDF: one result per distinct boleto
/// code found (its bars, Interleaved 2 of 5 of 44 digits; on a PDF page whose bars read
/// nothing, a typed line in its text), checked as `bank::VerificaCodigo` checks it with
/// `processing` as the processing date. A typed line printed on a PDF page whose bars carry
/// another boleto is an invalid result of its own (the text was altered). With no boleto
/// code, one invalid result whose reason says what was found: no code at all, or codes of
/// another kind. Throws `ScanError` for a file that cannot be read.
std::vector<BoletoRead> readBoletos(const std::filesystem::path& file,
                                    const host::DateTime& processing, const Limits& limits = {});

/// Typed lines (47 digits, bare or laid out as "00000.00000 00000.000000 00000.000000 0
/// 00000000000000") found in a text.
std::vector<std::string> typedLinesIn(const std::string& text);

}  // namespace host::scan
