#pragma once
// What crosses a remote call: a scalar value, a data packet or an array of variants.

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/ClientDatasetPacket.h"
#include "host/Value.h"

namespace remote {

/// A remote argument or result: a host value (null, text, integer, double, boolean, date),
/// a data packet (the JSON form of a client dataset) or an array of variants.
class Variant {
 public:
  enum class Kind { Null, Text, Integer, Float, Boolean, Date, Packet, Array };

  Variant() = default;
  Variant(host::Value v) : value_(std::move(v)) {}
  Variant(std::string s) : value_(std::move(s)) {}
  Variant(const char* s) : value_(s) {}
  Variant(int i) : value_(i) {}
  Variant(int64_t i) : value_(i) {}
  Variant(double d) : value_(d) {}
  Variant(bool b) : value_(b) {}
  Variant(host::DateTime d) : value_(d) {}

  static Variant packet(nlohmann::json packet);
  /// A packet in packed form: handed over in-process as it is, written to the wire without
  /// a JSON tree, loaded into a dataset without re-encoding its rows.
  static Variant packet(host::DataPacket packet);
  static Variant array(std::vector<Variant> items);

  Kind kind() const;
  bool isNull() const { return kind() == Kind::Null; }
  bool isPacket() const { return kind() == Kind::Packet; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isScalar() const { return !isPacket() && !isArray(); }

  /// The scalar; a packet or an array gives null.
  const host::Value& value() const { return value_; }
  std::string asString() const { return value_.asString(); }
  double asDouble() const { return value_.asDouble(); }
  int64_t asInteger() const { return value_.asInteger(); }
  bool asBoolean() const { return value_.asBoolean(); }
  /// The packet as a JSON tree (made on first use from a packed one); throws
  /// std::invalid_argument for any other kind.
  const nlohmann::json& packetJson() const;
  /// The packed form when the packet is held so, else null.
  const host::DataPacket* packedPacket() const;
  /// The items; throws std::invalid_argument for any other kind.
  const std::vector<Variant>& items() const;

  bool operator==(const Variant& o) const;

 private:
  host::Value value_;
  struct Packet;
  // Shared and immutable: copying a result or an argument does not copy a large packet.
  std::shared_ptr<const Packet> packet_;
  std::shared_ptr<const std::vector<Variant>> array_;
};

const char* kindName(Variant::Kind k);

/// A packet result into a dataset (ClientDataset::loadPacket / appendPacketRows), by the
/// quickest way the form it is held in allows. Throws std::invalid_argument for a variant
/// that is not a packet, or a malformed packet.
void loadPacket(host::ClientDataset& ds, const Variant& packet);
void appendPacketRows(host::ClientDataset& ds, const Variant& packet);

}  // namespace remote
