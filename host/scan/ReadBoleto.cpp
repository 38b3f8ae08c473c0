#include "host/scan/ReadBoleto.h"

#include <fmt/format.h>

#include <algorithm>
#include <regex>

#include "host/Consiste.h"

namespace host::scan {

namespace {

// What was read instead of a boleto's bars, for the reason. A row that crosses only part of a
// 2 of 5 symbol reads a piece of it as a shorter code: pieces of a code already named are not
// named again.
std::string otherCodes(const std::vector<Symbol>& all) {
  std::vector<Symbol> symbols;
  for (const Symbol& s : all) {
    const bool piece = std::any_of(all.begin(), all.end(), [&](const Symbol& o) {
      return o.symbology == s.symbology && o.data.size() > s.data.size() &&
             o.data.find(s.data) != std::string::npos;
    });
    if (!piece && std::find(symbols.begin(), symbols.end(), s) == symbols.end())
      symbols.push_back(s);
  }
  std::string list;
  size_t shown = 0;
  for (const Symbol& s : symbols) {
    if (shown == 3) {
      list += fmt::format(" e mais {}", symbols.size() - shown);
      break;
    }
    if (shown++ > 0) list += ", ";
    list += fmt::format("{} de {} caracteres", s.symbology, Utf8Length(s.data));
  }
  return fmt::format(
      "o código lido não é de boleto ({}): um boleto traz Interleaved 2 of 5 de 44 dígitos", list);
}

}  // namespace

std::vector<std::string> typedLinesIn(const std::string& text) {
  static const std::regex line(
      R"((?:^|[^0-9])(\d{5}\.?\d{5}[ \t]*\d{5}\.?\d{6}[ \t]*\d{5}\.?\d{6}[ \t]*\d[ \t]*\d{14})(?![0-9]))");
  std::vector<std::string> out;
  for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
    std::string digits;
    for (char c : (*it)[1].str())
      if (c >= '0' && c <= '9') digits += c;
    if (std::find(out.begin(), out.end(), digits) == out.end()) out.push_back(digits);
  }
  return out;
}

std::vector<BoletoRead> readBoletos(const std::filesystem::path& file,
                                    const host::DateTime& processing, const Limits& limits) {
  std::vector<Symbol> symbols;
  std::vector<BoletoRead> out;
  auto add = [&](const std::string& code, const char* source, int page) {
    for (const BoletoRead& r : out)
      if (r.check.barcode == code || r.check.typedLine == code) return;
    bank::Verificacao v = bank::VerificaCodigo(code, processing);
    for (const BoletoRead& r : out)
      if (v.valid && r.check.barcode == v.barcode) return;  // a line and its bars: one boleto
    out.push_back({std::move(v), source, page});
  };
  // The boleto bars read on the page.
  auto readPage = [&](const Gray& g, int page, bool turn) {
    std::vector<std::string> bars;
    for (Symbol& s : turn ? readCodes(g, page) : readSymbols(g)) {
      s.page = page;
      if (isBoletoBars(s)) {
        bars.push_back(s.data);
        add(s.data, "barras", page);
      } else {
        symbols.push_back(s);
      }
    }
    return bars;
  };
  // A typed line printed beside bars that carry another boleto: the payer who types it pays
  // someone else (a boleto whose text was altered after it was issued).
  auto compare = [&](const std::vector<std::string>& bars, const std::string& line, int page) {
    std::string barsLine;
    for (const std::string& b : bars) {
      const bank::Verificacao v = bank::VerificaCodigo(b, processing);
      if (!v.valid) return;  // the bars already carry their own reason
      if (v.typedLine == line) return;
      barsLine = v.typedLine;
    }
    bank::Verificacao altered;
    altered.reason = fmt::format(
        "a linha digitável impressa ({}) não é a do código de barras ({}): boleto adulterado?",
        line, barsLine);
    out.push_back({std::move(altered), "texto", page});
  };

  const FileKind kind = fileKind(file);
  if (kind == FileKind::Png || kind == FileKind::Jpeg) {
    readPage(loadPicture(file, limits), 1, true);
  } else if (kind == FileKind::Pdf) {
    PdfPages pdf = renderPdf(file, limits);
    if (pdf.pageCount == 0) throw ScanError(fmt::format("PDF sem páginas: {}", file.string()));
    for (size_t i = 0; i < pdf.pages.size(); ++i) {
      const int page = static_cast<int>(i) + 1;
      // A drawn page is upright and sharp: only a scanned one needs turning.
      const std::vector<std::string> bars = readPage(pdf.pages[i], page, pdf.scanned[i]);
      for (const std::string& line : typedLinesIn(pdf.texts[i])) {
        if (bars.empty())
          add(line, "texto", page);
        else
          compare(bars, line, page);
      }
    }
    if (pdf.pageCount > static_cast<int>(pdf.pages.size())) {
      // Not silently: what was not read is not said to be fine.
      bank::Verificacao unread;
      unread.reason = fmt::format("páginas {} a {} não lidas (o limite é {} páginas)",
                                  pdf.pages.size() + 1, pdf.pageCount, limits.maxPages);
      out.push_back({std::move(unread), "", static_cast<int>(pdf.pages.size()) + 1});
    }
  } else {
    throw ScanError(
        fmt::format("Formato não reconhecido (esperado PNG, JPEG ou PDF): {}", file.string()));
  }
  if (out.empty()) {
    bank::Verificacao none;
    none.reason =
        symbols.empty() ? std::string("nenhum código de barras encontrado") : otherCodes(symbols);
    out.push_back({std::move(none), "", 1});
  }
  return out;
}

}  // namespace host::scan
