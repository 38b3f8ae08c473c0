#include "remote/Wire.h"

#include <fmt/format.h>

#include <cmath>
#include <stdexcept>

namespace remote {

using nlohmann::json;

namespace {

[[noreturn]] void bad(const std::string& what) {
  throw std::invalid_argument(what);
}

const json& member(const json& j, const char* name) {
  if (!j.is_object()) bad(fmt::format("era esperado um objeto JSON onde se lê \"{}\"", name));
  auto it = j.find(name);
  if (it == j.end()) bad(fmt::format("\"{}\" está faltando", name));
  return *it;
}

json& member(json& j, const char* name) {
  return const_cast<json&>(member(static_cast<const json&>(j), name));
}

std::string textMember(const json& j, const char* name) {
  const json& v = member(j, name);
  if (!v.is_string()) bad(fmt::format("\"{}\" deve ser um texto", name));
  return v.get<std::string>();
}

}  // namespace

json encodeVariant(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::Null:
      return json{{"t", "N"}};
    case Variant::Kind::Text:
      return json{{"t", "S"}, {"v", v.value().text()}};
    case Variant::Kind::Integer:
      return json{{"t", "I"}, {"v", v.asInteger()}};
    case Variant::Kind::Float: {
      double d = v.asDouble();
      // JSON has no NaN or infinity; sending them would arrive as null, silently.
      if (!std::isfinite(d)) bad("um número que não é finito não pode ser enviado");
      return json{{"t", "F"}, {"v", d}};
    }
    case Variant::Kind::Boolean:
      return json{{"t", "B"}, {"v", v.asBoolean()}};
    case Variant::Kind::Date:
      return json{{"t", "D"}, {"v", v.value().asDate().iso()}};
    case Variant::Kind::Packet:
      return json{{"t", "P"}, {"v", v.packetJson()}};
    case Variant::Kind::Array: {
      json items = json::array();
      for (const auto& item : v.items()) items.push_back(encodeVariant(item));
      return json{{"t", "A"}, {"v", std::move(items)}};
    }
  }
  bad("tipo de valor desconhecido");
}

Variant decodeVariant(json j) {
  std::string t = textMember(j, "t");
  if (t == "N") return Variant();
  json& v = member(j, "v");
  if (t == "S") {
    if (!v.is_string()) bad("um argumento de texto deve trazer um texto JSON");
    return Variant(v.get<std::string>());
  }
  if (t == "I") {
    if (!v.is_number_integer()) bad("um argumento inteiro deve trazer um inteiro JSON");
    return Variant(v.get<int64_t>());
  }
  if (t == "F") {
    if (!v.is_number()) bad("um argumento numérico deve trazer um número JSON");
    return Variant(v.get<double>());
  }
  if (t == "B") {
    if (!v.is_boolean()) bad("um argumento booleano deve trazer true ou false");
    return Variant(v.get<bool>());
  }
  if (t == "D") {
    if (!v.is_string()) bad("um argumento de data deve trazer um texto");
    auto d = host::DateTime::parseIso(v.get<std::string>());
    if (!d) bad(fmt::format("\"{}\" não é uma data", v.get<std::string>()));
    return Variant(*d);
  }
  if (t == "P") {
    if (!v.is_object()) bad("um pacote de dados deve ser um objeto JSON");
    // A packet is the bulk of a reply: it is moved out of the parsed message, never copied.
    return Variant::packet(std::move(v));
  }
  if (t == "A") {
    if (!v.is_array()) bad("um argumento de lista deve trazer uma lista JSON");
    std::vector<Variant> items;
    items.reserve(v.size());
    for (auto& item : v) items.push_back(decodeVariant(std::move(item)));
    return Variant::array(std::move(items));
  }
  bad(fmt::format("tipo de argumento desconhecido \"{}\"", t));
}

json encodeRequest(const Request& r) {
  json args = json::array();
  for (size_t i = 0; i < r.args.size(); ++i) {
    json a = encodeVariant(r.args[i]);
    if (i < r.byRef.size() && r.byRef[i]) a["ref"] = true;
    args.push_back(std::move(a));
  }
  return json{{"object", r.object},
              {"method", r.method},
              {"company", r.company},
              {"args", std::move(args)}};
}

Request decodeRequest(json j) {
  Request r;
  r.object = textMember(j, "object");
  r.method = textMember(j, "method");
  if (j.contains("company")) r.company = textMember(j, "company");
  json& args = member(j, "args");
  if (!args.is_array()) bad("\"args\" deve ser uma lista");
  for (auto& a : args) {
    auto ref = a.is_object() ? a.find("ref") : a.end();
    r.byRef.push_back(ref != a.end() && ref->is_boolean() && ref->get<bool>());
    r.args.push_back(decodeVariant(std::move(a)));
  }
  return r;
}

json encodeReply(const Reply& r) {
  if (r.failure != Failure::None) {
    return json{{"ok", false},
                {"error",
                 {{"key", r.key},
                  {"text", r.text},
                  {"kind", r.failure == Failure::Refused ? "refused" : "transport"}}}};
  }
  json refs = json::array();
  for (const auto& [pos, value] : r.refArgs)
    refs.push_back(json::array({pos, encodeVariant(value)}));
  return json{{"ok", true}, {"result", encodeVariant(r.result)}, {"args", std::move(refs)}};
}

Reply decodeReply(json j) {
  const json& ok = member(j, "ok");
  if (!ok.is_boolean()) bad("\"ok\" deve ser true ou false");
  if (!ok.get<bool>()) {
    const json& e = member(j, "error");
    Reply r = Reply::refused(textMember(e, "key"), e.contains("text") ? textMember(e, "text") : "");
    if (e.contains("kind") && e["kind"] == "transport") r.failure = Failure::Transport;
    return r;
  }
  Reply r;
  r.result = decodeVariant(std::move(member(j, "result")));
  json& refs = member(j, "args");
  if (!refs.is_array()) bad("\"args\" deve ser uma lista");
  for (auto& pair : refs) {
    if (!pair.is_array() || pair.size() != 2 || !pair[0].is_number_unsigned())
      bad("cada argumento devolvido deve ser [posição, valor]");
    r.refArgs.emplace_back(pair[0].get<size_t>(), decodeVariant(std::move(pair[1])));
  }
  return r;
}

namespace {

// What a scan of a JSON text finds before any tree is built: how deep it nests and roughly
// how much memory its tree would take.
struct Shape {
  int depth = 0;
  size_t treeBytes = 0;
};

// The memory of a parsed tree, per node, as nlohmann::json lays it out on a 64-bit machine
// with the allocator's overhead: a value's slot, an object's or array's own block and an
// object member's node, a string's block.
constexpr size_t kSlotBytes = 16, kContainerBytes = 64, kMemberBytes = 96, kStringBytes = 48;
// A tree may take this many times the bytes of its text, plus a little: a packet of short
// texts takes about 16; a text of empty objects and arrays, made to fill memory, about 40.
constexpr size_t kTreeBytesPerByte = 24, kTreeSlack = 64 << 10;

Shape scanShape(std::string_view s) {
  Shape shape;
  int depth = 0;
  bool inObject[host::kMaxJsonNesting + 2] = {};
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      const size_t from = i;
      for (++i; i < s.size() && s[i] != '"'; ++i)
        if (s[i] == '\\') ++i;
      // A member's name lives in its node; a value's text in a block of its own, beyond the
      // short ones kept in the string object itself.
      const size_t length = i - from;
      const bool name = depth > 0 && inObject[depth] && [&] {
        size_t j = i + 1;
        while (j < s.size() && (s[j] == ' ' || s[j] == '\n' || s[j] == '\r' || s[j] == '\t')) ++j;
        return j < s.size() && s[j] == ':';
      }();
      shape.treeBytes += name ? kMemberBytes + (length > 16 ? length : 0)
                              : kSlotBytes + kStringBytes + (length > 16 ? length : 0);
    } else if (c == '{' || c == '[') {
      if (++depth > host::kMaxJsonNesting) {
        shape.depth = depth;
        return shape;
      }
      inObject[depth] = c == '{';
      shape.depth = std::max(shape.depth, depth);
      shape.treeBytes += kSlotBytes + kContainerBytes;
    } else if (c == '}' || c == ']') {
      if (depth > 0) --depth;
    } else if (c == '-' || c == 't' || c == 'f' || c == 'n' || (c >= '0' && c <= '9')) {
      shape.treeBytes += kSlotBytes;
      while (i + 1 < s.size() && s[i + 1] != ',' && s[i + 1] != '}' && s[i + 1] != ']' &&
             s[i + 1] != ' ' && s[i + 1] != '\n')
        ++i;
    }
  }
  return shape;
}

// Refuses a text nested deeper than any message of ours, before anything walks it.
void checkNesting(std::string_view text) {
  if (scanShape(text).depth > host::kMaxJsonNesting)
    bad(fmt::format("os dados aninham mais de {} níveis", host::kMaxJsonNesting));
}

// The tree of a piece of a message, once its nesting and the size of its tree are known to
// suit a call. `what` names the piece in the refusal.
json parseTree(std::string_view text, const std::string& what) {
  const Shape shape = scanShape(text);
  if (shape.depth > host::kMaxJsonNesting)
    bad(fmt::format("{}: os dados aninham mais de {} níveis", what, host::kMaxJsonNesting));
  if (shape.treeBytes > kTreeBytesPerByte * text.size() + kTreeSlack)
    bad(fmt::format("{}: {} bytes de valores vazios ou mínimos, que nenhuma chamada envia", what,
                    text.size()));
  try {
    return json::parse(text);
  } catch (const json::parse_error& e) {
    // The parser's own text quotes the bytes it stopped at, which may be the very bytes
    // that are not UTF-8: say where instead.
    const bool utf8 = std::string_view(e.what()).find("UTF-8") != std::string_view::npos;
    bad(fmt::format("{}: {} (byte {})", what,
                    utf8 ? "texto que não é UTF-8 válido" : "JSON malformado", e.byte));
  }
}

void writeText(std::string& out, const std::string& text) {
  out += json(text).dump();
}

void writeVariant(std::string& out, const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::Packet:
      out += R"({"t":"P","v":)";
      if (const auto* p = v.packedPacket()) {
        p->writeJson(out);
      } else {
        out += v.packetJson().dump();
      }
      out += '}';
      return;
    case Variant::Kind::Array: {
      out += R"({"t":"A","v":[)";
      bool first = true;
      for (const auto& item : v.items()) {
        if (!first) out += ',';
        first = false;
        writeVariant(out, item);
      }
      out += "]}";
      return;
    }
    default:
      out += encodeVariant(v).dump();
      return;
  }
}

size_t skipBlanks(std::string_view text, size_t at) {
  while (at < text.size() &&
         (text[at] == ' ' || text[at] == '\n' || text[at] == '\r' || text[at] == '\t'))
    ++at;
  return at;
}

// Reads the variant at `pos` of a message, setting `end` past it. A packet or an array in the
// form writeVariant gives is read piece by piece (a plain packet straight into packed form);
// anything else is parsed as a tree and decoded. With `ref`, the variant may close with the
// in-out mark writeRequest gives it, and `*ref` tells whether it did.
Variant readVariant(std::string_view text, size_t pos, size_t& end, const std::string& what,
                    bool* ref = nullptr, int depth = 0) {
  static constexpr std::string_view kPacket = R"({"t":"P","v":)";
  static constexpr std::string_view kArray = R"({"t":"A","v":[)";
  static constexpr std::string_view kRefMark = R"(,"ref":true})";
  auto closing = [&](size_t at, char c) {
    if (at >= text.size() || text[at] != c) bad(fmt::format("{}: mensagem malformada", what));
    return at + 1;
  };
  // The end of a variant written by writeVariant: its brace, or the in-out mark.
  auto closeVariant = [&](size_t at) {
    if (ref && text.substr(at, kRefMark.size()) == kRefMark) {
      *ref = true;
      return at + kRefMark.size();
    }
    return closing(at, '}');
  };
  pos = skipBlanks(text, pos);
  if (text.substr(pos, kPacket.size()) == kPacket) {
    const size_t from = pos + kPacket.size();
    size_t to = 0;
    if (auto p = host::DataPacket::readJson(text, from, to)) {
      end = closeVariant(to);
      return Variant::packet(std::move(*p));
    }
  } else if (text.substr(pos, kArray.size()) == kArray) {
    // Each array of variants takes two levels of the text: an object and its array.
    if (2 * (depth + 2) > host::kMaxJsonNesting)
      bad(fmt::format("{}: os dados aninham mais de {} níveis", what, host::kMaxJsonNesting));
    std::vector<Variant> items;
    size_t at = pos + kArray.size();
    if (at < text.size() && text[at] == ']') {
      end = closeVariant(at + 1);
      return Variant::array({});
    }
    for (;;) {
      items.push_back(readVariant(text, at, at, fmt::format("{}, item {}", what, items.size() + 1),
                                  nullptr, depth + 1));
      if (at < text.size() && text[at] == ',') {
        ++at;
        continue;
      }
      end = closeVariant(closing(at, ']'));
      return Variant::array(std::move(items));
    }
  }
  end = host::jsonValueEnd(text, pos);
  if (end == std::string_view::npos) {
    checkNesting(text.substr(pos));
    bad(fmt::format("{}: mensagem malformada", what));
  }
  json tree = parseTree(text.substr(pos, end - pos), what);
  if (ref) {
    auto mark = tree.is_object() ? tree.find("ref") : tree.end();
    *ref = mark != tree.end() && mark->is_boolean() && mark->get<bool>();
  }
  try {
    return decodeVariant(std::move(tree));
  } catch (const std::invalid_argument& e) {
    bad(fmt::format("{}: {}", what, e.what()));
  }
}

// Walks the members of the object at `pos`, calling `member(name, valuePos)` for each; the
// callback returns where the value ends. Returns the position past the object.
template <typename Member>
size_t readMembers(std::string_view text, size_t pos, Member&& member) {
  pos = skipBlanks(text, pos);
  if (pos >= text.size() || text[pos] != '{') bad("a mensagem não é um objeto JSON");
  pos = skipBlanks(text, pos + 1);
  if (pos < text.size() && text[pos] == '}') return pos + 1;
  for (;;) {
    const size_t nameEnd = host::jsonValueEnd(text, pos);
    if (nameEnd == std::string_view::npos || text[pos] != '"') bad("mensagem malformada");
    const json name = parseTree(text.substr(pos, nameEnd - pos), "nome de membro");
    pos = skipBlanks(text, nameEnd);
    if (pos >= text.size() || text[pos] != ':') bad("mensagem malformada");
    pos = skipBlanks(text, member(name.get<std::string>(), skipBlanks(text, pos + 1)));
    if (pos < text.size() && text[pos] == ',') {
      pos = skipBlanks(text, pos + 1);
      continue;
    }
    if (pos < text.size() && text[pos] == '}') return pos + 1;
    bad("mensagem malformada");
  }
}

std::string readTextMember(std::string_view text, size_t pos, size_t& end, const char* name) {
  end = host::jsonValueEnd(text, pos);
  if (end == std::string_view::npos) bad(fmt::format("\"{}\": mensagem malformada", name));
  const json v = parseTree(text.substr(pos, end - pos), fmt::format("\"{}\"", name));
  if (!v.is_string()) bad(fmt::format("\"{}\" deve ser um texto", name));
  return v.get<std::string>();
}

}  // namespace

Request readRequest(std::string_view text) {
  // Nothing here walks the text deeper than kMaxJsonNesting: the members' readers and the
  // arrays of variants count their levels, and every tree is weighed before it is built.
  Request r;
  bool hasObject = false, hasMethod = false, hasArgs = false;
  const size_t end = readMembers(text, 0, [&](const std::string& name, size_t at) -> size_t {
    size_t to = 0;
    if (name == "object") {
      r.object = readTextMember(text, at, to, "object");
      hasObject = true;
    } else if (name == "method") {
      r.method = readTextMember(text, at, to, "method");
      hasMethod = true;
    } else if (name == "company") {
      r.company = readTextMember(text, at, to, "company");
    } else if (name == "args") {
      if (hasArgs) bad("\"args\" aparece duas vezes");
      hasArgs = true;
      if (at >= text.size() || text[at] != '[') bad("\"args\" deve ser uma lista");
      to = skipBlanks(text, at + 1);
      if (to < text.size() && text[to] == ']') return to + 1;
      for (;;) {
        bool ref = false;
        r.args.push_back(
            readVariant(text, to, to, fmt::format("argumento {}", r.args.size() + 1), &ref));
        r.byRef.push_back(ref);
        to = skipBlanks(text, to);
        if (to < text.size() && text[to] == ',') {
          ++to;
          continue;
        }
        if (to < text.size() && text[to] == ']') return to + 1;
        bad(fmt::format("\"args\": mensagem malformada depois do argumento {}", r.args.size()));
      }
    } else {
      to = host::jsonValueEnd(text, at);
      if (to == std::string_view::npos) bad("mensagem malformada");
    }
    return to;
  });
  if (skipBlanks(text, end) != text.size()) bad("texto depois do fim da mensagem");
  if (!hasObject) bad("\"object\" está faltando");
  if (!hasMethod) bad("\"method\" está faltando");
  if (!hasArgs) bad("\"args\" está faltando");
  return r;
}

json parseMessage(std::string_view text) {
  return parseTree(text, "mensagem");
}

Reply readReply(std::string_view text) {
  static constexpr std::string_view kOk = R"({"ok":true,"result":)";
  static constexpr std::string_view kArgs = R"(,"args":)";
  // Only a successful reply carries packets; any other form is small and read as a tree, and
  // so is one this reader stumbles on, so that the error is the tree parser's.
  if (text.substr(0, kOk.size()) == kOk && text.back() == '}') {
    try {
      size_t end = 0;
      Variant result = readVariant(text, kOk.size(), end, "resultado");
      if (text.substr(end, kArgs.size()) == kArgs) {
        const size_t from = end + kArgs.size();
        json args = parseTree(text.substr(from, text.size() - 1 - from), "args");
        Reply r =
            decodeReply(json{{"ok", true}, {"result", {{"t", "N"}}}, {"args", std::move(args)}});
        r.result = std::move(result);
        return r;
      }
    } catch (const std::exception&) {
    }
  }
  return decodeReply(parseTree(text, "resposta"));
}

std::string writeRequest(const Request& r) {
  std::string out = R"({"object":)";
  writeText(out, r.object);
  out += R"(,"method":)";
  writeText(out, r.method);
  out += R"(,"company":)";
  writeText(out, r.company);
  out += R"(,"args":[)";
  for (size_t i = 0; i < r.args.size(); ++i) {
    if (i) out += ',';
    writeVariant(out, r.args[i]);
    if (i < r.byRef.size() && r.byRef[i]) {
      out.pop_back();  // the variant's closing brace
      out += R"(,"ref":true})";
    }
  }
  out += "]}";
  return out;
}

std::string writeReply(const Reply& r) {
  if (r.failure != Failure::None) return encodeReply(r).dump();
  std::string out = R"({"ok":true,"result":)";
  writeVariant(out, r.result);
  out += R"(,"args":[)";
  for (size_t i = 0; i < r.refArgs.size(); ++i) {
    if (i) out += ',';
    out += '[';
    out += std::to_string(r.refArgs[i].first);
    out += ',';
    writeVariant(out, r.refArgs[i].second);
    out += ']';
  }
  out += "]}";
  return out;
}

}  // namespace remote
