#include "report/Template.h"

#include <fmt/format.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

namespace report {

bool Expression::constant() const {
  for (const auto& p : pieces)
    if (p.isRef) return false;
  return true;
}

bool Template::declaresParam(std::string_view name) const {
  for (const auto& p : params)
    if (p.name == name) return true;
  return false;
}

namespace {

struct Token {
  std::string key;   ///< attribute name for key=value, else empty
  std::string text;  ///< the value (quotes removed)
  bool quoted = false;
};

bool isNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool isName(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!isNameChar(c)) return false;
  return true;
}

class Parser {
 public:
  Parser(std::string_view text, std::string fileName) : text_(text), file_(std::move(fileName)) {}

  Template run() {
    tpl_.fileName = file_;
    std::istringstream in{std::string(text_)};
    std::string raw;
    bool sawHeader = false;
    Band* band = nullptr;
    while (std::getline(in, raw)) {
      ++line_;
      if (!raw.empty() && raw.back() == '\r') raw.pop_back();
      if (line_ == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);  // editors' BOM
      auto tokens = tokenize(raw);
      if (tokens.empty()) continue;
      const std::string word = tokens[0].quoted ? std::string() : tokens[0].text;
      if (!sawHeader) {
        if (word != "QR2" || tokens.size() != 2 || tokens[1].text != "1")
          fail("a primeira linha deve ser \"QR2 1\"");
        sawHeader = true;
        continue;
      }
      if (band) {
        if (word == "end") {
          expectCount(tokens, 1, 1);
          band = nullptr;
        } else {
          band->elements.push_back(element(tokens, *band));
        }
        continue;
      }
      if (word == "title") {
        expectCount(tokens, 2, 2);
        tpl_.title = tokens[1].text;
      } else if (word == "page") {
        page(tokens);
      } else if (word == "font") {
        font(tokens);
      } else if (word == "param") {
        param(tokens);
      } else if (word == "dataset") {
        dataset(tokens);
      } else if (word == "band") {
        tpl_.bands.push_back(bandHeader(tokens));
        band = &tpl_.bands.back();
      } else if (word == "end") {
        fail("\"end\" sem banda aberta");
      } else {
        fail(fmt::format("palavra desconhecida \"{}\"", tokens[0].text));
      }
    }
    if (!sawHeader) fail("arquivo vazio: falta a linha \"QR2 1\"");
    if (band) {
      line_ = band->line;
      fail("banda sem \"end\"");
    }
    if (tpl_.bands.empty()) fail("o modelo não tem nenhuma banda");
    for (const auto& g : tpl_.bands) {
      if (g.kind != BandKind::GroupHeader && g.kind != BandKind::GroupFooter) continue;
      bool hasDetail = false;
      for (const auto& d : tpl_.bands)
        hasDetail = hasDetail || (d.kind == BandKind::Detail && d.dataset == g.dataset);
      if (!hasDetail) {
        line_ = g.line;
        fail(fmt::format("banda de grupo sem banda detail do conjunto {}", g.dataset));
      }
    }
    return std::move(tpl_);
  }

 private:
  [[noreturn]] void fail(const std::string& reason) const {
    if (line_ > 0)
      throw TemplateError(
          fmt::format("Modelo de relatório inválido: {}, linha {}: {}", file_, line_, reason));
    throw TemplateError(fmt::format("Modelo de relatório inválido: {}: {}", file_, reason));
  }

  std::vector<Token> tokenize(const std::string& s) const {
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
      while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
      if (i >= s.size()) break;
      if (s[i] == '#' && out.empty()) break;  // a comment line
      Token t;
      // key=value with the value bare or quoted
      size_t j = i;
      while (j < s.size() && isNameChar(s[j])) ++j;
      if (j > i && j < s.size() && s[j] == '=') {
        t.key = s.substr(i, j - i);
        i = j + 1;
      }
      if (i < s.size() && s[i] == '"') {
        t.quoted = true;
        ++i;
        bool closed = false;
        while (i < s.size()) {
          char c = s[i++];
          if (c == '\\' && i < s.size()) {
            t.text += s[i++];
          } else if (c == '"') {
            closed = true;
            break;
          } else {
            t.text += c;
          }
        }
        if (!closed) fail("texto entre aspas sem fechar");
        if (i < s.size() && s[i] != ' ' && s[i] != '\t') fail("falta espaço depois das aspas");
      } else {
        while (i < s.size() && s[i] != ' ' && s[i] != '\t') {
          if (s[i] == '"') fail("aspas no meio de uma palavra");
          t.text += s[i++];
        }
      }
      out.push_back(std::move(t));
    }
    return out;
  }

  void expectCount(const std::vector<Token>& t, size_t min, size_t max) const {
    if (t.size() < min || t.size() > max) {
      if (min == max)
        fail(fmt::format("\"{}\" espera {} argumento(s), recebeu {}", t[0].text, min - 1,
                         t.size() - 1));
      fail(fmt::format("\"{}\" espera de {} a {} argumentos, recebeu {}", t[0].text, min - 1,
                       max - 1, t.size() - 1));
    }
  }

  double number(const Token& t, const char* what) const {
    const std::string& s = t.text;
    double v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (t.quoted || s.empty() || ec != std::errc() || p != s.data() + s.size())
      fail(fmt::format("{} deve ser um número, não \"{}\"", what, s));
    return v;
  }

  double nonNegative(const Token& t, const char* what) const {
    double v = number(t, what);
    if (v < 0) fail(fmt::format("{} não pode ser negativo", what));
    return v;
  }

  void page(const std::vector<Token>& t) {
    if (t.size() < 2) fail("\"page\" espera o tamanho da página");
    size_t i = 1;
    if (t[i].text == "A4") {
      tpl_.pageWidth = 210, tpl_.pageHeight = 297, ++i;
    } else if (t[i].text == "LETTER") {
      tpl_.pageWidth = 215.9, tpl_.pageHeight = 279.4, ++i;
    } else if (t[i].text == "LEGAL") {
      tpl_.pageWidth = 215.9, tpl_.pageHeight = 355.6, ++i;
    } else {
      if (t.size() < 3) fail("\"page\" espera A4, LETTER, LEGAL ou largura e altura em mm");
      tpl_.pageWidth = number(t[1], "a largura da página");
      tpl_.pageHeight = number(t[2], "a altura da página");
      i = 3;
    }
    for (; i < t.size(); ++i) {
      if (t[i].key.empty() && t[i].text == "portrait") {
        if (tpl_.pageWidth > tpl_.pageHeight) std::swap(tpl_.pageWidth, tpl_.pageHeight);
      } else if (t[i].key.empty() && t[i].text == "landscape") {
        if (tpl_.pageWidth < tpl_.pageHeight) std::swap(tpl_.pageWidth, tpl_.pageHeight);
      } else if (t[i].key == "margins") {
        std::vector<double> m;
        std::string part;
        std::istringstream ms(t[i].text);
        while (std::getline(ms, part, ','))
          m.push_back(nonNegative(Token{{}, part, false}, "a margem"));
        if (m.size() != 4) fail("margins espera quatro números: topo,direita,base,esquerda");
        tpl_.marginTop = m[0], tpl_.marginRight = m[1], tpl_.marginBottom = m[2],
        tpl_.marginLeft = m[3];
      } else {
        fail(fmt::format("opção de página desconhecida \"{}\"", t[i].text));
      }
    }
    if (tpl_.pageWidth < 20 || tpl_.pageHeight < 20 || tpl_.pageWidth > 2000 ||
        tpl_.pageHeight > 2000)
      fail("tamanho de página fora do razoável");
    if (tpl_.marginLeft + tpl_.marginRight >= tpl_.pageWidth ||
        tpl_.marginTop + tpl_.marginBottom >= tpl_.pageHeight)
      fail("as margens não deixam espaço na página");
  }

  void font(const std::vector<Token>& t) {
    if (t.size() < 4) fail("\"font\" espera nome, família entre aspas e tamanho");
    if (!isName(t[1].text)) fail(fmt::format("nome de fonte inválido \"{}\"", t[1].text));
    for (const auto& n : tpl_.fontNames)
      if (n == t[1].text) fail(fmt::format("fonte \"{}\" declarada duas vezes", n));
    FontSpec f;
    f.family = t[2].text;
    if (f.family.empty()) fail("família de fonte vazia");
    f.size = number(t[3], "o tamanho da fonte");
    if (f.size <= 0 || f.size > 200) fail("tamanho de fonte fora do razoável");
    for (size_t i = 4; i < t.size(); ++i) {
      if (t[i].text == "bold")
        f.bold = true;
      else if (t[i].text == "italic")
        f.italic = true;
      else
        fail(fmt::format("estilo de fonte desconhecido \"{}\"", t[i].text));
    }
    tpl_.fontNames.push_back(t[1].text);
    tpl_.fonts.push_back(f);
  }

  void param(const std::vector<Token>& t) {
    if (t.size() < 2 || t.size() > 3) fail("\"param\" espera o nome e, opcionalmente, default=");
    if (!isName(t[1].text)) fail(fmt::format("nome de parâmetro inválido \"{}\"", t[1].text));
    if (tpl_.declaresParam(t[1].text))
      fail(fmt::format("parâmetro {} declarado duas vezes", t[1].text));
    ParamDecl p{t[1].text, {}};
    if (t.size() == 3) {
      if (t[2].key != "default")
        fail(fmt::format("opção de parâmetro desconhecida \"{}\"", t[2].text));
      p.defaultValue = t[2].text;
    }
    tpl_.params.push_back(std::move(p));
  }

  void dataset(const std::vector<Token>& t) {
    if (t.size() < 2) fail("\"dataset\" espera o nome do conjunto de dados");
    if (!isName(t[1].text))
      fail(fmt::format("nome de conjunto de dados inválido \"{}\"", t[1].text));
    if (findDataset(t[1].text))
      fail(fmt::format("conjunto de dados {} declarado duas vezes", t[1].text));
    DatasetDecl d{t[1].text, {}};
    for (size_t i = 2; i < t.size(); ++i) {
      if (t[i].key.empty())
        fail(fmt::format(
            "ligação de parâmetro deve ser CAMPO=@PARAMETRO ou CAMPO=\"valor\", não \"{}\"",
            t[i].text));
      DatasetDecl::Binding b{t[i].key, false, t[i].text};
      if (!t[i].quoted && !b.value.empty() && b.value[0] == '@') {
        b.fromParam = true;
        b.value.erase(0, 1);
        if (!tpl_.declaresParam(b.value))
          fail(fmt::format("o conjunto {} liga o parâmetro {}, que não foi declarado", d.name,
                           b.value));
      }
      d.bindings.push_back(std::move(b));
    }
    tpl_.datasets.push_back(std::move(d));
  }

  const DatasetDecl* findDataset(std::string_view name) const {
    for (const auto& d : tpl_.datasets)
      if (d.name == name) return &d;
    return nullptr;
  }

  Band bandHeader(const std::vector<Token>& t) {
    static const std::map<std::string, BandKind> kinds = {{"title", BandKind::Title},
                                                          {"pageheader", BandKind::PageHeader},
                                                          {"pagefooter", BandKind::PageFooter},
                                                          {"detail", BandKind::Detail},
                                                          {"groupheader", BandKind::GroupHeader},
                                                          {"groupfooter", BandKind::GroupFooter},
                                                          {"summary", BandKind::Summary}};
    if (t.size() < 2) fail("\"band\" espera o tipo da banda");
    auto k = kinds.find(t[1].text);
    if (k == kinds.end()) fail(fmt::format("tipo de banda desconhecido \"{}\"", t[1].text));
    Band b;
    b.kind = k->second;
    b.line = line_;
    bool hasHeight = false;
    for (size_t i = 2; i < t.size(); ++i) {
      if (t[i].key == "height") {
        b.height = nonNegative(t[i], "a altura da banda");
        hasHeight = true;
      } else if (t[i].key == "key") {
        b.groupKey = t[i].text;
      } else if (t[i].key.empty() && t[i].text == "pagebreak") {
        b.pageBreak = true;
      } else if (t[i].key.empty() && b.dataset.empty() && isName(t[i].text)) {
        b.dataset = t[i].text;
      } else {
        fail(fmt::format("opção de banda desconhecida \"{}\"", t[i].text));
      }
    }
    if (!hasHeight) fail("a banda precisa de height=");
    const bool needsData = b.kind == BandKind::Detail || b.kind == BandKind::GroupHeader ||
                           b.kind == BandKind::GroupFooter;
    if (needsData && b.dataset.empty()) fail("a banda precisa do nome do seu conjunto de dados");
    if (!needsData && !b.dataset.empty()) fail("só bandas detail e de grupo têm conjunto de dados");
    if (!b.dataset.empty() && !findDataset(b.dataset))
      fail(fmt::format("conjunto de dados {} não declarado", b.dataset));
    const bool group = b.kind == BandKind::GroupHeader || b.kind == BandKind::GroupFooter;
    if (group && b.groupKey.empty()) fail("banda de grupo precisa de key=CAMPO");
    if (!group && !b.groupKey.empty()) fail("key= só vale para bandas de grupo");
    const double usable = tpl_.pageHeight - tpl_.marginTop - tpl_.marginBottom;
    if (b.height > usable + 1e-9)
      fail(fmt::format("a banda tem {} mm de altura e a página só {} mm úteis", b.height, usable));
    return b;
  }

  Ref reference(std::string_view body, const Band* band) const {
    Ref r;
    auto bar = body.find('|');
    std::string_view name = body.substr(0, bar);
    if (bar != std::string_view::npos) {
      r.format = std::string(body.substr(bar + 1));
      checkFormat(r.format);
    }
    if (!name.empty() && name[0] == '@') {
      r.isParam = true;
      r.name = std::string(name.substr(1));
      if (!tpl_.declaresParam(r.name))
        fail(fmt::format("o parâmetro {} é usado mas não foi declarado", r.name));
      return r;
    }
    auto dot = name.find('.');
    if (dot != std::string_view::npos) {
      r.dataset = std::string(name.substr(0, dot));
      name = name.substr(dot + 1);
      if (!findDataset(r.dataset))
        fail(fmt::format("conjunto de dados {} não declarado", r.dataset));
    } else if (tpl_.datasets.empty() && (!band || band->dataset.empty())) {
      fail(fmt::format("o campo {} é usado mas o modelo não declara conjunto de dados", name));
    }
    if (!isName(name)) fail(fmt::format("referência inválida \"{{{}}}\"", body));
    r.name = std::string(name);
    return r;
  }

  void checkFormat(const std::string& f) const {
    if (f == "cpfcnpj" || f == "upper" || f == "linha" || f == "cents") return;
    const bool numeric = !f.empty() && f.find('0') != std::string::npos &&
                         f.find_first_not_of("#0,.") == std::string::npos;
    bool date = !f.empty();
    for (size_t i = 0; i < f.size() && date;) {
      if (f.compare(i, 4, "yyyy") == 0 || f.compare(i, 3, "zzz") == 0) {
        i += f.compare(i, 4, "yyyy") == 0 ? 4 : 3;
      } else if (f.compare(i, 2, "dd") == 0 || f.compare(i, 2, "mm") == 0 ||
                 f.compare(i, 2, "yy") == 0 || f.compare(i, 2, "hh") == 0 ||
                 f.compare(i, 2, "nn") == 0 || f.compare(i, 2, "ss") == 0) {
        i += 2;
      } else {
        date = std::string_view("/-:. ").find(f[i]) != std::string_view::npos;
        ++i;
      }
    }
    if (!numeric && !date) fail(fmt::format("formato desconhecido \"{}\"", f));
  }

  Expression expression(const std::string& s, const Band* band) const {
    Expression e;
    std::string lit;
    for (size_t i = 0; i < s.size(); ++i) {
      char c = s[i];
      if (c == '{' && i + 1 < s.size() && s[i + 1] == '{') {
        lit += '{', ++i;
      } else if (c == '}' && i + 1 < s.size() && s[i + 1] == '}') {
        lit += '}', ++i;
      } else if (c == '{') {
        auto close = s.find('}', i);
        if (close == std::string::npos) fail("chave \"{\" sem fechar");
        if (!lit.empty()) e.pieces.push_back({false, std::move(lit), {}}), lit.clear();
        e.pieces.push_back(
            {true, {}, reference(std::string_view(s).substr(i + 1, close - i - 1), band)});
        i = close;
      } else if (c == '}') {
        fail("chave \"}\" sem abrir (use \"}}\" para o caractere)");
      } else {
        lit += c;
      }
    }
    if (!lit.empty()) e.pieces.push_back({false, std::move(lit), {}});
    return e;
  }

  Condition condition(const std::string& s, const Band* band) const {
    Condition c;
    c.present = true;
    auto ne = s.find("<>");
    auto eq = s.find('=');
    size_t opPos, opLen;
    if (ne != std::string::npos && (eq == std::string::npos || ne < eq)) {
      c.equals = false, opPos = ne, opLen = 2;
    } else if (eq != std::string::npos) {
      opPos = eq, opLen = 1;
    } else {
      fail("when= espera REFERENCIA=valor ou REFERENCIA<>valor");
    }
    c.ref = reference(std::string_view(s).substr(0, opPos), band);
    c.literal = s.substr(opPos + opLen);
    return c;
  }

  Element element(const std::vector<Token>& t, const Band& band) {
    static const std::map<std::string, ElementKind> kinds = {{"text", ElementKind::Text},
                                                             {"line", ElementKind::Line},
                                                             {"rect", ElementKind::Rect},
                                                             {"image", ElementKind::Image},
                                                             {"barcode", ElementKind::Barcode}};
    auto k = kinds.find(t[0].text);
    if (k == kinds.end()) fail(fmt::format("elemento desconhecido \"{}\"", t[0].text));
    Element e;
    e.kind = k->second;
    e.line = line_;
    size_t i = 1;
    if (e.kind == ElementKind::Barcode) {
      if (t.size() < 2) fail("\"barcode\" espera o tipo: i2of5, code128 ou qr");
      if (t[1].text == "i2of5")
        e.barcode = BarcodeKind::Interleaved2of5;
      else if (t[1].text == "code128")
        e.barcode = BarcodeKind::Code128;
      else if (t[1].text == "qr")
        e.barcode = BarcodeKind::Qr;
      else
        fail(fmt::format("tipo de código de barras desconhecido \"{}\"", t[1].text));
      i = 2;
    }
    if (t.size() < i + 4) fail(fmt::format("\"{}\" espera quatro medidas em mm", t[0].text));
    e.x = number(t[i], "a medida");
    e.y = number(t[i + 1], "a medida");
    e.w = number(t[i + 2], "a medida");
    e.h = number(t[i + 3], "a medida");
    i += 4;
    bool fontSet = false, exprSet = false;
    for (; i < t.size(); ++i) {
      const Token& a = t[i];
      if (a.key == "width" && (e.kind == ElementKind::Line || e.kind == ElementKind::Rect)) {
        e.lineWidth = nonNegative(a, "a espessura");
      } else if (a.key == "fill" && e.kind == ElementKind::Rect) {
        e.fillGray = number(a, "o tom de cinza");
        if (e.fillGray < 0 || e.fillGray > 1) fail("fill= vai de 0 (preto) a 1 (branco)");
      } else if (a.key == "align" && e.kind == ElementKind::Text) {
        if (a.text == "left")
          e.align = Align::Left;
        else if (a.text == "center")
          e.align = Align::Center;
        else if (a.text == "right")
          e.align = Align::Right;
        else
          fail(fmt::format("alinhamento desconhecido \"{}\"", a.text));
      } else if (a.key == "when") {
        e.when = condition(a.text, &band);
      } else if (a.key.empty() && !a.quoted && a.text == "wrap" && e.kind == ElementKind::Text) {
        e.wrap = true;
      } else if (a.key.empty() && !a.quoted && e.kind == ElementKind::Text && !fontSet) {
        int idx = -1;
        for (size_t f = 0; f < tpl_.fontNames.size(); ++f)
          if (tpl_.fontNames[f] == a.text) idx = static_cast<int>(f);
        if (idx < 0) fail(fmt::format("fonte \"{}\" não declarada", a.text));
        e.font = idx;
        fontSet = true;
      } else if (a.key.empty() && a.quoted && !exprSet &&
                 (e.kind == ElementKind::Text || e.kind == ElementKind::Image ||
                  e.kind == ElementKind::Barcode)) {
        e.expr = expression(a.text, &band);
        exprSet = true;
      } else {
        fail(fmt::format("argumento inesperado \"{}\" em \"{}\"",
                         a.key.empty() ? a.text : a.key + "=", t[0].text));
      }
    }
    if (e.kind == ElementKind::Text && !fontSet) fail("texto sem fonte");
    if (e.kind != ElementKind::Line && e.kind != ElementKind::Rect && !exprSet)
      fail(fmt::format("\"{}\" precisa do seu texto entre aspas", t[0].text));
    if (e.kind == ElementKind::Line) {
      if (std::min(e.y, e.h) < 0 || std::max(e.y, e.h) > band.height + 1e-9)
        fail("linha fora da altura da banda");
    } else {
      if (e.w <= 0 || e.h <= 0) fail("largura e altura devem ser positivas");
      if (e.y < 0 || e.y + e.h > band.height + 1e-9)
        fail(fmt::format("elemento fora da altura da banda ({} mm)", band.height));
    }
    return e;
  }

  std::string_view text_;
  std::string file_;
  int line_ = 0;
  Template tpl_;
};

}  // namespace

Template parseTemplate(std::string_view text, const std::string& fileName) {
  return Parser(text, fileName).run();
}

Template loadTemplate(const std::string& path) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_regular_file(path, ec))
    throw TemplateError(fmt::format("Modelo de relatório não encontrado: {}", path));
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TemplateError(fmt::format("Modelo de relatório ilegível: {}", path));
  std::ostringstream ss;
  ss << in.rdbuf();
  return parseTemplate(ss.str(), std::filesystem::path(path).filename().string());
}

std::shared_ptr<const Template> loadTemplateShared(const std::string& path) {
  namespace fs = std::filesystem;
  struct Entry {
    fs::file_time_type mtime;
    uintmax_t size = 0;
    std::shared_ptr<const Template> tpl;
  };
  static std::mutex mutex;
  static std::map<std::string, Entry> cache;
  std::error_code ec;
  const auto mtime = fs::last_write_time(path, ec);
  const auto size = ec ? 0 : fs::file_size(path, ec);
  if (!ec) {
    std::lock_guard lock(mutex);
    auto it = cache.find(path);
    if (it != cache.end() && it->second.mtime == mtime && it->second.size == size)
      return it->second.tpl;
  }
  auto tpl = std::make_shared<const Template>(loadTemplate(path));  // throws for a bad file
  if (!ec) {
    std::lock_guard lock(mutex);
    if (cache.size() > 64) cache.clear();
    cache[path] = Entry{mtime, size, tpl};
  }
  return tpl;
}

}  // namespace report
