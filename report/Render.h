#pragma once
// Draws the page model with cairo and pango: PDF documents and PNG pictures of pages.
// Text layouts are shaped once per thread and reused, so a caption that every boleto
// repeats costs its shaping only the first time.

#include <string>
#include <vector>

#include "report/PageModel.h"

namespace report {

/// The whole document as PDF bytes (fonts subset and embedded; the document's date, when
/// set, becomes the file's creation and modification date).
std::string renderPdf(const Document& doc);

/// One PNG picture per page at `dpi` dots per inch, white background.
std::vector<std::string> renderPng(const Document& doc, double dpi);

}  // namespace report
