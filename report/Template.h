#pragma once
// A ".QR2" report template: our own line-oriented text format (see README.md). The parser
// either gives a whole template or refuses the file with its name, the line and the reason;
// nothing is ever rendered from half a template.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/Errors.h"
#include "report/PageModel.h"

namespace report {

/// A template file that cannot be read or is not a valid template. The text names the file
/// (and the line) and says why.
class TemplateError : public host::OperationError {
 public:
  using host::OperationError::OperationError;
};

/// A reference inside an expression: a field of a dataset, or a declared parameter.
struct Ref {
  bool isParam = false;
  std::string dataset;  ///< empty: the band's dataset, else the first declared one
  std::string name;
  std::string format;  ///< display format ("#,##0.00", "dd/mm/yyyy", "cpfcnpj", ...)
};

/// A text with references in braces: "Vencimento {DTVENBOLREC|dd/mm/yyyy}".
struct Expression {
  struct Piece {
    bool isRef = false;
    std::string literal;
    Ref ref;
  };
  std::vector<Piece> pieces;
  bool constant() const;
};

/// "when" of an element: shown only when the reference's text equals (or differs from)
/// the literal.
struct Condition {
  bool present = false;
  Ref ref;
  bool equals = true;
  std::string literal;
};

enum class ElementKind { Text, Line, Rect, Image, Barcode };
enum class BarcodeKind { Interleaved2of5, Code128, Qr };

struct Element {
  ElementKind kind = ElementKind::Text;
  int line = 0;                       ///< line of the template, for error messages
  double x = 0, y = 0, w = 0, h = 0;  ///< mm, from the band's top-left (line: x1 y1 x2 y2)
  int font = 0;
  Align align = Align::Left;
  bool wrap = false;
  double lineWidth = 0.5;  ///< points
  double fillGray = -1;
  BarcodeKind barcode = BarcodeKind::Interleaved2of5;
  Expression expr;  ///< text, image path or barcode data
  Condition when;
};

enum class BandKind { Title, PageHeader, PageFooter, Detail, GroupHeader, GroupFooter, Summary };

struct Band {
  BandKind kind = BandKind::Detail;
  int line = 0;
  std::string dataset;     ///< detail and group bands
  std::string groupKey;    ///< group bands: the field whose change opens a group
  double height = 0;       ///< mm
  bool pageBreak = false;  ///< start a new page after this band (except after the last row)
  std::vector<Element> elements;
};

struct ParamDecl {
  std::string name;
  std::string defaultValue;
};

struct DatasetDecl {
  std::string name;
  struct Binding {
    std::string field;  ///< the service's parameter
    bool fromParam = false;
    std::string value;  ///< parameter name, or the literal
  };
  std::vector<Binding> bindings;
};

struct Template {
  std::string fileName;
  std::string title;
  double pageWidth = 210, pageHeight = 297;  ///< mm
  double marginTop = 10, marginRight = 10, marginBottom = 10, marginLeft = 10;
  std::vector<std::string> fontNames;
  std::vector<FontSpec> fonts;
  std::vector<ParamDecl> params;
  std::vector<DatasetDecl> datasets;
  std::vector<Band> bands;

  bool declaresParam(std::string_view name) const;
};

/// Parses the text of a template; `fileName` only names it in errors.
Template parseTemplate(std::string_view text, const std::string& fileName);
/// Reads and parses a template file: a missing or unreadable file is a TemplateError too.
Template loadTemplate(const std::string& path);
/// The same, kept in memory while the file keeps its size and modification time, so that a
/// run over many boletos reads its template once. Safe to call from several threads.
std::shared_ptr<const Template> loadTemplateShared(const std::string& path);

}  // namespace report
