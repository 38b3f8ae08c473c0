#include "remote/Variant.h"

#include <stdexcept>

namespace remote {

Variant Variant::packet(nlohmann::json packet) {
  Variant v;
  v.packet_ = std::make_shared<const nlohmann::json>(std::move(packet));
  return v;
}

Variant Variant::array(std::vector<Variant> items) {
  Variant v;
  v.array_ = std::make_shared<const std::vector<Variant>>(std::move(items));
  return v;
}

Variant::Kind Variant::kind() const {
  if (packet_) return Kind::Packet;
  if (array_) return Kind::Array;
  return static_cast<Kind>(value_.kind());
}

const nlohmann::json& Variant::packetJson() const {
  if (!packet_) throw std::invalid_argument(std::string("a data packet was expected, not ") +
                                            kindName(kind()));
  return *packet_;
}

const std::vector<Variant>& Variant::items() const {
  if (!array_) throw std::invalid_argument(std::string("an array was expected, not ") +
                                           kindName(kind()));
  return *array_;
}

bool Variant::operator==(const Variant& o) const {
  if (kind() != o.kind()) return false;
  if (packet_) return *packet_ == *o.packet_;
  if (array_) return *array_ == *o.array_;
  return value_ == o.value_;
}

const char* kindName(Variant::Kind k) {
  switch (k) {
    case Variant::Kind::Null: return "null";
    case Variant::Kind::Text: return "text";
    case Variant::Kind::Integer: return "integer";
    case Variant::Kind::Float: return "double";
    case Variant::Kind::Boolean: return "boolean";
    case Variant::Kind::Date: return "date";
    case Variant::Kind::Packet: return "data packet";
    case Variant::Kind::Array: return "array";
  }
  return "?";
}

}  // namespace remote
