#pragma once
// One remote call and its reply, their JSON form, and the two interfaces a transport and
// the service meet at.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "remote/Variant.h"

namespace remote {

/// One call: a method of a server object with positional arguments. `byRef[i]` marks the
/// in-out arguments: only those come back in the reply.
struct Request {
  std::string object;
  std::string method;
  /// The company the caller works on (the host's EmprProc); the service checks access.
  std::string company;
  std::vector<Variant> args;
  std::vector<bool> byRef;
};

/// Why a call failed.
enum class Failure {
  None,
  Refused,    ///< the service refused: `key` is its message key, `text` a readable reason
  Transport,  ///< the service could not be reached or answered nonsense
};

/// The reply: the result and the in-out arguments after the call, or a failure.
struct Reply {
  Failure failure = Failure::None;
  std::string key;
  std::string text;
  Variant result;
  /// (position, value) of each in-out argument after the call.
  std::vector<std::pair<size_t, Variant>> refArgs;

  bool ok() const { return failure == Failure::None; }
  static Reply refused(std::string key, std::string text) {
    Reply r;
    r.failure = Failure::Refused;
    r.key = std::move(key);
    r.text = std::move(text);
    return r;
  }
  static Reply transportFailed(std::string text) {
    Reply r;
    r.failure = Failure::Transport;
    r.key = "SEM_CONEXAO";
    r.text = std::move(text);
    return r;
  }
};

// --- JSON wire format (see remote/README.md). Decoding refuses malformed input with
// std::invalid_argument naming what is wrong.
// Decoding takes the parsed message by value: a temporary (json::parse(...)) gives up its data
// packets to the result instead of having them copied.
nlohmann::json encodeVariant(const Variant& v);
Variant decodeVariant(nlohmann::json j);
nlohmann::json encodeRequest(const Request& r);
Request decodeRequest(nlohmann::json j);
nlohmann::json encodeReply(const Reply& r);
Reply decodeReply(nlohmann::json j);
/// The text of encodeRequest / encodeReply, written without building the message as a JSON
/// tree first (which would copy every data packet it carries).
std::string writeRequest(const Request& r);
std::string writeReply(const Reply& r);
/// decodeReply of a reply's text. Data packets in the plain form writeReply gives come out
/// packed, read without a JSON tree; anything else is read as a tree, as decodeReply reads it.
Reply readReply(std::string_view text);
/// decodeRequest of a request's text, read argument by argument: packets in plain form come
/// out packed, and a malformed argument (bad JSON, text that is not UTF-8, an unknown type) is
/// refused naming it ("argumento 2: ..."). Input nested deeper than host::kMaxJsonNesting, or
/// whose tree would take far more memory than its text (a body of empty objects), is refused
/// before any tree is built. Throws std::invalid_argument.
Request readRequest(std::string_view text);
/// The tree of a small message (a login), with the same checks as readRequest.
nlohmann::json parseMessage(std::string_view text);

/// The receiving end: the service's dispatcher implements it. `operatorCode` is the operator
/// the caller was authenticated as.
class Handler {
 public:
  virtual ~Handler() = default;
  virtual Reply handle(const std::string& operatorCode, const Request& request) = 0;
};

/// The sending end of one connection. Never throws: failures come back as a Reply.
class Transport {
 public:
  virtual ~Transport() = default;
  virtual Reply send(const Request& request) = 0;
};

/// Opens transports; a Connection asks it at connect time with the address and port that the
/// context gives at that moment. Returns nothing and sets `error` when it cannot connect.
class TransportFactory {
 public:
  virtual ~TransportFactory() = default;
  virtual std::unique_ptr<Transport> open(const std::string& address, int port,
                                          std::string& error) = 0;
};

}  // namespace remote
