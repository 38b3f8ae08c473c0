#include "remote/Variant.h"

#include <mutex>
#include <optional>
#include <stdexcept>

namespace remote {

// One of the two forms; the tree of a packed packet is made once, when someone asks for it.
struct Variant::Packet {
  std::optional<host::DataPacket> packed;
  mutable std::once_flag treeMade;
  mutable nlohmann::json tree;

  const nlohmann::json& json() const {
    if (packed) std::call_once(treeMade, [this] { tree = packed->toJson(); });
    return tree;
  }
};

Variant Variant::packet(nlohmann::json packet) {
  Variant v;
  auto p = std::make_shared<Packet>();
  p->tree = std::move(packet);
  v.packet_ = std::move(p);
  return v;
}

Variant Variant::packet(host::DataPacket packet) {
  Variant v;
  auto p = std::make_shared<Packet>();
  p->packed.emplace(std::move(packet));
  v.packet_ = std::move(p);
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
  if (!packet_)
    throw std::invalid_argument(std::string("era esperado um pacote de dados, não ") +
                                kindName(kind()));
  return packet_->json();
}

const host::DataPacket* Variant::packedPacket() const {
  return packet_ && packet_->packed ? &*packet_->packed : nullptr;
}

const std::vector<Variant>& Variant::items() const {
  if (!array_)
    throw std::invalid_argument(std::string("era esperada uma lista, não ") + kindName(kind()));
  return *array_;
}

bool Variant::operator==(const Variant& o) const {
  if (kind() != o.kind()) return false;
  if (packet_) {
    if (packet_->packed && o.packet_->packed) return *packet_->packed == *o.packet_->packed;
    return packet_->json() == o.packet_->json();
  }
  if (array_) return *array_ == *o.array_;
  return value_ == o.value_;
}

const char* kindName(Variant::Kind k) {
  switch (k) {
    case Variant::Kind::Null:
      return "nulo";
    case Variant::Kind::Text:
      return "texto";
    case Variant::Kind::Integer:
      return "inteiro";
    case Variant::Kind::Float:
      return "número";
    case Variant::Kind::Boolean:
      return "booleano";
    case Variant::Kind::Date:
      return "data";
    case Variant::Kind::Packet:
      return "pacote de dados";
    case Variant::Kind::Array:
      return "lista";
  }
  return "?";
}

void loadPacket(host::ClientDataset& ds, const Variant& packet) {
  if (const auto* p = packet.packedPacket()) {
    ds.loadPacked(*p);
  } else {
    ds.loadPacket(packet.packetJson());
  }
}

void appendPacketRows(host::ClientDataset& ds, const Variant& packet) {
  if (const auto* p = packet.packedPacket()) {
    ds.appendPackedRows(*p);
  } else {
    ds.appendPacketRows(packet.packetJson());
  }
}

}  // namespace remote
