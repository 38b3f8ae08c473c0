// Printing through CUPS: the PDF of the pages goes to a queue as it is.

#include <cups/cups.h>
#include <fmt/format.h>

#include "host/Errors.h"
#include "report/Report.h"

namespace report {

void CupsPrinter::printPdf(const std::string& pdfPath, const std::string& title) {
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  cups_dest_t* dest = printer_.empty() ? cupsGetDest(nullptr, nullptr, count, dests)
                                       : cupsGetDest(printer_.c_str(), nullptr, count, dests);
  if (!dest) {
    cupsFreeDests(count, dests);
    if (!printer_.empty())
      throw host::OperationError(fmt::format("Impressora não encontrada: {}", printer_));
    throw host::OperationError(count == 0 ? "Nenhuma impressora configurada"
                                          : "Nenhuma impressora padrão configurada");
  }
  const std::string queue = dest->name;
  cups_option_t* options = nullptr;
  int numOptions = 0;
  numOptions = cupsAddOption("document-format", "application/pdf", numOptions, &options);
  const int job = cupsPrintFile(queue.c_str(), pdfPath.c_str(), title.c_str(), numOptions, options);
  cupsFreeOptions(numOptions, options);
  cupsFreeDests(count, dests);
  if (job == 0)
    throw host::OperationError(
        fmt::format("Falha ao imprimir em {}: {}", queue, cupsLastErrorString()));
}

}  // namespace report
