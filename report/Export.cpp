#include "report/Export.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "report/ExportFiles.h"
#include "report/Render.h"

namespace report {

namespace {

constexpr std::array<ExportFormat, 12> kFormats{{
    {0, "txt", "Documento Texto (*.txt)|*.txt", "txt"},
    {1, "csv", "Documento Texto Delimitado (*.csv)|*.csv", "csv"},
    {2, "htm", "Documento HTML (*.htm)|*.htm", "htm"},
    {3, "xlsx", "Planilha Microsoft Excel (*.xlsx)|*.xlsx", "xlsx"},
    {4, "rtf", "Documento Texto Formatado (Word) (*.rtf)|*.rtf", "rtf"},
    {5, "wmf", "Windows Metafile (*.wmf)|*.wmf", "wmf"},
    {6, "pdf", "Documento Adobe Acrobat (*.pdf)|*.pdf", "pdf"},
    {7, "xhtml", "Documento XTML (*.htm)|*.htm", "htm"},
    {8, "gif", "Arquivo de Imagem GIF (*.gif)|*.gif", "gif"},
    {9, "jpg", "Arquivo de Imagem JPEG (*.jpg)|*.jpg", "jpg"},
    {10, "bmp", "Arquivo de Imagem Bitmap (*.bmp)|*.bmp", "bmp"},
    {11, "emf", "Extented Metafile (*.emf)|*.emf", "emf"},
}};

/// Width of one character of the text export: 132 columns across an A4 page.
constexpr double kTextColumnWidth = 4.5;

/// A field that a spreadsheet would run as a formula is written with a leading apostrophe.
/// Numbers ("-12,50") and a sign before a blank (a dashed cutting line) are left alone.
std::string defuseFormula(const std::string& text) {
  if (text.empty() || std::string_view("=+-@").find(text[0]) == std::string_view::npos) return text;
  if ((text[0] == '-' || text[0] == '+') && (text.size() == 1 || text[1] == ' ')) return text;
  const bool number = text.size() > 1 && std::all_of(text.begin() + 1, text.end(), [](char c) {
                        return (c >= '0' && c <= '9') || c == '.' || c == ',';
                      });
  return number ? text : "'" + text;
}

std::string csvField(const std::string& raw) {
  const std::string text = defuseFormula(raw);
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

}  // namespace

const ExportFormat* exportFormat(int tag) {
  if (tag < 0 || tag >= static_cast<int>(kFormats.size())) return nullptr;
  return &kFormats[static_cast<size_t>(tag)];
}

const ExportFormat* exportFormatByName(std::string_view tagOrName) {
  if (!tagOrName.empty() && tagOrName.size() <= 2 &&
      std::all_of(tagOrName.begin(), tagOrName.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return exportFormat(std::stoi(std::string(tagOrName)));
  const std::string lower = host::LowerCase(std::string(tagOrName));
  for (const auto& f : kFormats)
    if (f.name == lower) return &f;
  return nullptr;
}

std::unique_ptr<ExportEngine> makeExportEngine(int tag, const std::string& fileName,
                                               const ExportOptions& options) {
  using Kind = ImageExportEngine::Kind;
  switch (tag) {
    case 0:
      return std::make_unique<TextExportEngine>(fileName, false, options);
    case 1:
      return std::make_unique<TextExportEngine>(fileName, true, options);
    case 2:
      return std::make_unique<HtmlExportEngine>(fileName, false, options);
    case 3:
      return std::make_unique<XlsxExportEngine>(fileName, options);
    case 4:
      return std::make_unique<RtfExportEngine>(fileName, options);
    case 5:
      return std::make_unique<MetafileExportEngine>(fileName, false, options);
    case 6:
      return std::make_unique<PdfExportEngine>(fileName, options);
    case 7:
      return std::make_unique<HtmlExportEngine>(fileName, true, options);
    case 8:
      return std::make_unique<ImageExportEngine>(fileName, Kind::Gif, options);
    case 9:
      return std::make_unique<ImageExportEngine>(fileName, Kind::Jpeg, options);
    case 10:
      return std::make_unique<ImageExportEngine>(fileName, Kind::Bmp, options);
    case 11:
      return std::make_unique<MetafileExportEngine>(fileName, true, options);
    default:
      throw host::OperationError(fmt::format("Formato de exportação desconhecido ({})", tag));
  }
}

void ExportEngine::write(const Document& doc) {
  files_.clear();
  if (fileName_.empty()) throw host::OperationError("Arquivo de exportação não informado");
  if (doc.pages.empty())
    throw host::OperationError(
        fmt::format("O documento não tem páginas para exportar: {}", fileName_));
  // Refused before anything is written: a file nobody opens would pass for one shown.
  if (options_.openAfterCreate && !opener_)
    throw host::OperationError("Nenhum programa configurado para abrir o arquivo exportado");
  ExportFiles out(options_);
  writeFiles(doc, out);
  files_ = out.commit();
  if (options_.openAfterCreate) opener_(files_);
}

void PdfExportEngine::writeFiles(const Document& doc, ExportFiles& out) {
  auto& f = out.create(fileName());
  f.write(renderPdf(doc));
  f.endPage();
}

void TextExportEngine::writeFiles(const Document& doc, ExportFiles& out) {
  auto& f = out.create(fileName());
  // Excel reads a comma-separated file as UTF-8 only when it starts with the mark.
  if (csv_) f.write("\xEF\xBB\xBF");
  bool firstPage = true;
  for (const Page& page : doc.pages) {
    std::string text;
    if (!firstPage && !csv_) text += '\f';
    firstPage = false;
    for (const ReadingRow& row : readingRows(doc, page)) {
      if (csv_) {
        for (size_t i = 0; i < row.fields.size(); ++i) {
          if (i) text += ',';
          text += csvField(row.fields[i].text);
        }
      } else {
        // Each field starts at its column on the page, or one blank after the field before
        // it when that one runs longer.
        size_t length = 0;
        for (const Field& field : row.fields) {
          const auto column = static_cast<size_t>(std::max(0.0, field.x / kTextColumnWidth));
          const size_t at = length == 0 ? column : std::max(column, length + 1);
          text.append(at - length, ' ');
          text += field.text;
          length = at + host::Utf8Length(field.text);
        }
      }
      text += "\r\n";
    }
    f.write(text);
    f.endPage();
  }
}

}  // namespace report
