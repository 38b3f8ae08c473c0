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
  if (!j.is_object()) bad(fmt::format("a JSON object was expected where \"{}\" is read", name));
  auto it = j.find(name);
  if (it == j.end()) bad(fmt::format("\"{}\" is missing", name));
  return *it;
}

json& member(json& j, const char* name) {
  return const_cast<json&>(member(static_cast<const json&>(j), name));
}

std::string textMember(const json& j, const char* name) {
  const json& v = member(j, name);
  if (!v.is_string()) bad(fmt::format("\"{}\" must be a text", name));
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
      if (!std::isfinite(d)) bad("a double that is not a finite number cannot be sent");
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
  bad("unknown variant kind");
}

Variant decodeVariant(json j) {
  std::string t = textMember(j, "t");
  if (t == "N") return Variant();
  json& v = member(j, "v");
  if (t == "S") {
    if (!v.is_string()) bad("a text argument must carry a JSON string");
    return Variant(v.get<std::string>());
  }
  if (t == "I") {
    if (!v.is_number_integer()) bad("an integer argument must carry a JSON integer");
    return Variant(v.get<int64_t>());
  }
  if (t == "F") {
    if (!v.is_number()) bad("a double argument must carry a JSON number");
    return Variant(v.get<double>());
  }
  if (t == "B") {
    if (!v.is_boolean()) bad("a boolean argument must carry true or false");
    return Variant(v.get<bool>());
  }
  if (t == "D") {
    if (!v.is_string()) bad("a date argument must carry a text");
    auto d = host::DateTime::parseIso(v.get<std::string>());
    if (!d) bad(fmt::format("\"{}\" is not a date", v.get<std::string>()));
    return Variant(*d);
  }
  if (t == "P") {
    if (!v.is_object()) bad("a data packet must be a JSON object");
    // A packet is the bulk of a reply: it is moved out of the parsed message, never copied.
    return Variant::packet(std::move(v));
  }
  if (t == "A") {
    if (!v.is_array()) bad("an array argument must carry a JSON array");
    std::vector<Variant> items;
    items.reserve(v.size());
    for (auto& item : v) items.push_back(decodeVariant(std::move(item)));
    return Variant::array(std::move(items));
  }
  bad(fmt::format("unknown argument type \"{}\"", t));
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
  if (!args.is_array()) bad("\"args\" must be an array");
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
  if (!ok.is_boolean()) bad("\"ok\" must be true or false");
  if (!ok.get<bool>()) {
    const json& e = member(j, "error");
    Reply r = Reply::refused(textMember(e, "key"), e.contains("text") ? textMember(e, "text") : "");
    if (e.contains("kind") && e["kind"] == "transport") r.failure = Failure::Transport;
    return r;
  }
  Reply r;
  r.result = decodeVariant(std::move(member(j, "result")));
  json& refs = member(j, "args");
  if (!refs.is_array()) bad("\"args\" must be an array");
  for (auto& pair : refs) {
    if (!pair.is_array() || pair.size() != 2 || !pair[0].is_number_unsigned())
      bad("each returned argument must be [position, value]");
    r.refArgs.emplace_back(pair[0].get<size_t>(), decodeVariant(std::move(pair[1])));
  }
  return r;
}

namespace {

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

// Reads the variant at `pos` of a reply, setting `end` past it. A packet or an array in the
// form writeVariant gives is read piece by piece; anything else goes to decodeVariant.
Variant readVariant(std::string_view text, size_t pos, size_t& end) {
  static constexpr std::string_view kPacket = R"({"t":"P","v":)";
  static constexpr std::string_view kArray = R"({"t":"A","v":[)";
  auto closing = [&](size_t at, char c) {
    if (at >= text.size() || text[at] != c) bad("the reply is malformed");
    return at + 1;
  };
  if (text.substr(pos, kPacket.size()) == kPacket) {
    const size_t from = pos + kPacket.size();
    size_t to = 0;
    if (auto p = host::DataPacket::readJson(text, from, to)) {
      end = closing(to, '}');
      return Variant::packet(std::move(*p));
    }
  } else if (text.substr(pos, kArray.size()) == kArray) {
    std::vector<Variant> items;
    size_t at = pos + kArray.size();
    if (at < text.size() && text[at] == ']') {
      end = closing(at + 1, '}');
      return Variant::array({});
    }
    for (;;) {
      items.push_back(readVariant(text, at, at));
      if (at < text.size() && text[at] == ',') {
        ++at;
        continue;
      }
      end = closing(closing(at, ']'), '}');
      return Variant::array(std::move(items));
    }
  }
  end = host::jsonValueEnd(text, pos);
  if (end == std::string_view::npos) bad("the reply is malformed");
  return decodeVariant(json::parse(text.substr(pos, end - pos)));
}

}  // namespace

Reply readReply(std::string_view text) {
  static constexpr std::string_view kOk = R"({"ok":true,"result":)";
  static constexpr std::string_view kArgs = R"(,"args":)";
  // Only a successful reply carries packets; any other form is small and read as a tree, and
  // so is one this reader stumbles on, so that the error is the tree parser's.
  if (text.substr(0, kOk.size()) == kOk && text.back() == '}') {
    try {
      size_t end = 0;
      Variant result = readVariant(text, kOk.size(), end);
      if (text.substr(end, kArgs.size()) == kArgs) {
        const size_t from = end + kArgs.size();
        json args = json::parse(text.substr(from, text.size() - 1 - from));
        Reply r =
            decodeReply(json{{"ok", true}, {"result", {{"t", "N"}}}, {"args", std::move(args)}});
        r.result = std::move(result);
        return r;
      }
    } catch (const std::exception&) {
    }
  }
  return decodeReply(json::parse(text));
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
