#pragma once
// Remote methods declared once, for both sides. A method is a struct: where it lives and how
// the service runs it (`method`), then its arguments in order, each a member whose type
// says its kind, size and direction and whose name is how callers name it:
//
//   struct GetCont_Corr {
//     static constexpr Method method{kHabContRec, "GetCont_Corr", Access::Reads};
//     InOut<fld::CDREDUCONT> CDREDUCONT;
//   };
//
// The client calls `rpc::call(conn, GetCont_Corr{.CDREDUCONT = code})`: every argument must
// be named (none has a default) and an in-out argument binds the caller's variable, which
// the service's answer changes. The service registers its handler against the same struct
// (`service::Dispatcher::on`), checks count, kinds and sizes from it, and hands the handler
// the arguments already checked. The wire format is remote/'s: by method name, positional,
// typed.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/DateTime.h"
#include "records/Fields.h"
#include "remote/Connection.h"

namespace rpc {

/// What an argument holds on the wire.
enum class Kind {
  Text,          ///< text; null reads as ""
  Number,        ///< double; an integer or null (0) is taken too
  Integer,       ///< 64-bit integer; null reads as 0
  Boolean,       ///< true or false, never null
  Date,          ///< date with an optional time, or null
  Packet,        ///< a data packet
  PacketOrNull,  ///< a data packet, or null
  Any,           ///< anything: the handler checks it
};

/// An argument that is not a field's value: its name (as refusals name it), kind and, for a
/// text, its size in characters (0: no limit).
struct Param {
  const char* name;
  Kind kind;
  int size = 0;
};

constexpr Param paramOf(const Param& p) {
  return p;
}
/// A field's value: a text of the field's size, a number, a date ...
constexpr Param paramOf(const records::Field& f) {
  switch (f.type) {
    case host::FieldType::Float:
      return {f.name, Kind::Number, 0};
    case host::FieldType::Date:
      return {f.name, Kind::Date, 0};
    case host::FieldType::Integer:
      return {f.name, Kind::Integer, 0};
    case host::FieldType::Boolean:
      return {f.name, Kind::Boolean, 0};
    case host::FieldType::String:
    case host::FieldType::Memo:
      break;
  }
  return {f.name, Kind::Text, f.size};
}

enum class Access {
  Reads,   ///< runs on a reading session beside other calls
  Writes,  ///< waits for the writers' session
};
enum class Company {
  Checked,     ///< the caller's company is checked before the handler runs
  NotChecked,  ///< the method answers about access itself
};

/// Where a method lives and how the service runs it.
struct Method {
  const char* object;  ///< the server object ("Rec12000.rdmHabContRec")
  const char* name;    ///< the method, case-sensitive
  Access access;
  Company company = Company::Checked;
};

/// One argument of a declaration, as the service checks it.
struct ArgDecl {
  std::string name;
  Kind kind;
  int size;
  bool inOut;
};

/// A method's declaration as data: what the dispatcher checks calls against.
struct MethodDecl {
  std::string object;
  std::string name;
  std::vector<ArgDecl> args;
  bool readOnly = false;
  bool checksCompany = true;
};

const char* kindName(Kind k);

namespace detail {
template <Kind K>
struct ValueOf {
  using type = remote::Variant;
};
template <>
struct ValueOf<Kind::Text> {
  using type = std::string;
};
template <>
struct ValueOf<Kind::Number> {
  using type = double;
};
template <>
struct ValueOf<Kind::Integer> {
  using type = int64_t;
};
template <>
struct ValueOf<Kind::Boolean> {
  using type = bool;
};
template <>
struct ValueOf<Kind::Date> {
  using type = std::optional<host::DateTime>;
};

/// A text brought to `width` with leading zeros, as codes are before every look-up; an
/// empty text stays empty.
std::string padded(const std::string& text, int width);
/// The wire form of a value of each kind.
remote::Variant toWire(const std::string& v);
remote::Variant toWire(double v);
remote::Variant toWire(int64_t v);
remote::Variant toWire(bool v);
remote::Variant toWire(const std::optional<host::DateTime>& v);
remote::Variant toWire(const remote::Variant& v);
/// A checked wire value as the argument's value.
void fromWire(const remote::Variant& w, std::string& v);
void fromWire(const remote::Variant& w, double& v);
void fromWire(const remote::Variant& w, int64_t& v);
void fromWire(const remote::Variant& w, bool& v);
void fromWire(const remote::Variant& w, std::optional<host::DateTime>& v);
void fromWire(const remote::Variant& w, remote::Variant& v);
}  // namespace detail

/// An argument the caller gives and the service reads. `D` is a field of `records/Fields.h`
/// (the argument is that field's value, of its size) or a `Param`.
template <const auto& D>
class In {
 public:
  static constexpr Param param = paramOf(D);
  static constexpr bool inOut = false;
  using Value = typename detail::ValueOf<param.kind>::type;

  In(Value v) : value_(std::move(v)) {}
  In(const char* text) requires(param.kind == Kind::Text) : value_(text) {}
  In(const host::DateTime& date) requires(param.kind == Kind::Date) : value_(date) {}
  In(std::nullopt_t) requires(param.kind == Kind::Date) : value_(std::nullopt) {}

  const Value& value() const { return value_; }
  /// The text padded with leading zeros to its field's width (empty stays empty).
  std::string code() const requires(param.kind == Kind::Text) {
    return detail::padded(value_, param.size);
  }

  /// The client's positional argument.
  remote::Arg arg() const { return remote::Arg(detail::toWire(value_)); }
  /// The service's argument from a checked wire value.
  static In fromWire(const remote::Variant& w) {
    Value v{};
    detail::fromWire(w, v);
    return In(std::move(v));
  }

 private:
  Value value_;
};

/// An in-out text: the caller binds its own variable, which the service may change (a code
/// comes back padded, a list gets its new name). On the service the handler reads `value()`
/// and answers with `set()`.
template <const auto& D>
class InOut {
 public:
  static constexpr Param param = paramOf(D);
  static constexpr bool inOut = true;
  static_assert(param.kind == Kind::Text, "only texts travel in and out");

  InOut(std::string& target) : target_(&target), value_(target) {}

  const std::string& value() const { return value_; }
  std::string code() const { return detail::padded(value_, param.size); }
  /// The service's new value, which the caller's variable receives.
  void set(std::string v) {
    value_ = std::move(v);
    changed_ = true;
    if (target_ != nullptr) *target_ = value_;
  }
  bool changed() const { return changed_; }

  remote::Arg arg() const { return remote::Arg::ref(*target_); }
  static InOut fromWire(const remote::Variant& w) {
    InOut a;
    detail::fromWire(w, a.value_);
    return a;
  }

 private:
  InOut() = default;
  std::string* target_ = nullptr;
  std::string value_;
  bool changed_ = false;
};

namespace detail {

template <size_t>
struct AnyArg {
  template <class T>
  operator T() const;  // only named in unevaluated operands
};

template <class M, size_t... I>
constexpr bool takes(std::index_sequence<I...>) {
  return requires {
    M{AnyArg<I>{}...};
  };
}

/// How many arguments a method struct declares (at most 40).
template <class M, size_t N = 40>
constexpr size_t arity() {
  if constexpr (takes<M>(std::make_index_sequence<N>{})) {
    return N;
  } else {
    static_assert(N > 0, "a method declares at most 40 arguments, each an In or an InOut");
    return arity<M, N - 1>();
  }
}

/// Calls `each(a0, a1, ...)` with the members of `m` in order.
template <class M, class F>
void members(M& m, F&& each) {
  constexpr size_t n = arity<std::remove_const_t<M>>();
  if constexpr (n == 0) {
    each();
  } else if constexpr (n == 1) {
    auto& [a0] = m;
    each(a0);
  } else if constexpr (n == 2) {
    auto& [a0, a1] = m;
    each(a0, a1);
  } else if constexpr (n == 3) {
    auto& [a0, a1, a2] = m;
    each(a0, a1, a2);
  } else if constexpr (n == 4) {
    auto& [a0, a1, a2, a3] = m;
    each(a0, a1, a2, a3);
  } else if constexpr (n == 5) {
    auto& [a0, a1, a2, a3, a4] = m;
    each(a0, a1, a2, a3, a4);
  } else if constexpr (n == 6) {
    auto& [a0, a1, a2, a3, a4, a5] = m;
    each(a0, a1, a2, a3, a4, a5);
  } else if constexpr (n == 7) {
    auto& [a0, a1, a2, a3, a4, a5, a6] = m;
    each(a0, a1, a2, a3, a4, a5, a6);
  } else if constexpr (n == 8) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7);
  } else if constexpr (n == 9) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8);
  } else if constexpr (n == 10) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9);
  } else if constexpr (n == 11) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10);
  } else if constexpr (n == 12) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11);
  } else if constexpr (n == 13) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12);
  } else if constexpr (n == 14) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13);
  } else if constexpr (n == 15) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14);
  } else if constexpr (n == 16) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15);
  } else if constexpr (n == 17) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16);
  } else if constexpr (n == 18) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17);
  } else if constexpr (n == 19) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18);
  } else if constexpr (n == 20) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18,
           a19] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19);
  } else if constexpr (n == 21) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20);
  } else if constexpr (n == 22) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21);
  } else if constexpr (n == 23) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22);
  } else if constexpr (n == 24) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23);
  } else if constexpr (n == 25) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24);
  } else if constexpr (n == 26) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25);
  } else if constexpr (n == 27) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26);
  } else if constexpr (n == 28) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27);
  } else if constexpr (n == 29) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28);
  } else if constexpr (n == 30) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29);
  } else if constexpr (n == 31) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30);
  } else if constexpr (n == 32) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31);
  } else if constexpr (n == 33) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32);
  } else if constexpr (n == 34) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33);
  } else if constexpr (n == 35) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34);
  } else if constexpr (n == 36) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35);
  } else if constexpr (n == 37) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36);
  } else if constexpr (n == 38) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36,
           a37] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36, a37);
  } else if constexpr (n == 39) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36, a37,
           a38] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36, a37,
         a38);
  } else if constexpr (n == 40) {
    auto& [a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
           a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36, a37,
           a38, a39] = m;
    each(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19,
         a20, a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36, a37,
         a38, a39);
  }
}

template <size_t I>
struct Slot {
  const std::vector<remote::Variant>* wire;
  template <class W>
  operator W() const {
    return W::fromWire((*wire)[I]);
  }
};

template <class M, size_t... I>
M decode(const std::vector<remote::Variant>& wire, std::index_sequence<I...>) {
  return M{Slot<I>{&wire}...};
}

}  // namespace detail

/// The number of arguments of `M`.
template <class M>
constexpr size_t argCount() {
  return detail::arity<M>();
}

/// Calls `f(argument, position)` for each argument of `m`, in order.
template <class M, class F>
void forEachArg(M& m, F&& f) {
  detail::members(m, [&](auto&... a) {
    size_t i = 0;
    (f(a, i++), ...);
    (void)i;
  });
}

/// The service's arguments from checked wire values (as many as `M` declares).
template <class M>
M decode(const std::vector<remote::Variant>& wire) {
  return detail::decode<M>(wire, std::make_index_sequence<argCount<M>()>{});
}

/// The declaration of `M` as data.
template <class M>
MethodDecl describe() {
  MethodDecl d;
  d.object = M::method.object;
  d.name = M::method.name;
  d.readOnly = M::method.access == Access::Reads;
  d.checksCompany = M::method.company == Company::Checked;
  const std::vector<remote::Variant> nothing(argCount<M>());
  const M blank = decode<M>(nothing);
  forEachArg(blank, [&](const auto& a, size_t) {
    using A = std::remove_cvref_t<decltype(a)>;
    d.args.push_back({A::param.name, A::param.kind, A::param.size, A::inOut});
  });
  return d;
}

/// The positional arguments of a call of `m`.
template <class M>
std::vector<remote::Arg> encode(const M& m) {
  std::vector<remote::Arg> out;
  out.reserve(argCount<M>());
  forEachArg(m, [&](const auto& a, size_t) { out.push_back(a.arg()); });
  return out;
}

/// The in-out arguments the handler changed, as the reply carries them.
template <class M>
std::vector<std::pair<size_t, remote::Variant>> changedArgs(const M& m) {
  std::vector<std::pair<size_t, remote::Variant>> out;
  forEachArg(m, [&](const auto& a, size_t i) {
    if constexpr (std::remove_cvref_t<decltype(a)>::inOut) {
      if (a.changed()) out.emplace_back(i, remote::Variant(a.value()));
    }
  });
  return out;
}

/// A list of method structs: what `rpc::Declared` is made of.
template <class... M>
struct MethodList {
  template <class X>
  static constexpr bool contains = (std::is_same_v<X, M> || ...);
  static std::vector<MethodDecl> describeAll() { return {describe<M>()...}; }
};

namespace detail {
/// A method is called on a connection that names its server object.
void checkObject(const remote::Connection& conn, const Method& m);
}  // namespace detail

/// Calls `m` and hands the result to CheckResultServ: a refusal throws host::ServiceError,
/// a dead connection host::OperationError; the in-out arguments come back changed.
template <class M>
remote::Variant call(remote::Connection& conn, const M& m) {
  detail::checkObject(conn, M::method);
  return remote::CheckResultServ(conn.call(M::method.name, encode(m)));
}

/// The same call without the result check, for the rare caller that lets a refusal pass.
template <class M>
remote::Result tryCall(remote::Connection& conn, const M& m) {
  detail::checkObject(conn, M::method);
  return conn.call(M::method.name, encode(m));
}

}  // namespace rpc
