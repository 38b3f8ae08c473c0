#pragma once
// The tests' side of smtp-test-server.py: finds the server of the test run (or starts one
// for the process) and reads back what it received.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace host::smtp::testing {

/// A part of a received message, as Python's e-mail parser decoded it.
struct ReceivedPart {
  std::string contentType;
  std::string charset;
  std::string disposition;  ///< "attachment", "inline" or empty
  std::string fileName;
  std::string transferEncoding;
  std::string text;   ///< decoded text of a text part that is not an attachment
  std::string bytes;  ///< decoded bytes of an attachment
};

/// A message the server accepted.
struct ReceivedMessage {
  int seq = 0;
  std::string listener;  ///< "plain", "plain_auth", "starttls", "ssl"
  bool tls = false;
  std::string authUser;  ///< empty without AUTH
  std::string mailFrom;
  std::vector<std::string> recipients;
  std::string rootContentType;
  std::vector<std::pair<std::string, std::string>> headers;  ///< decoded, in order
  std::vector<ReceivedPart> parts;
  std::vector<std::string> defects;  ///< what the parser found wrong with the MIME
  std::string raw;                   ///< the data as received

  /// The first header of that name (any letter case), decoded; empty when absent.
  std::string header(const std::string& name) const;
  /// How many headers of that name.
  size_t headerCount(const std::string& name) const;
  std::vector<const ReceivedPart*> attachments() const;
  /// The text of the first text/plain part that is not an attachment.
  std::string text() const;
};

class SmtpTestServer {
 public:
  /// The server of this run: the one the ctest fixture started (its state folder in
  /// BOLETO_SMTP_TEST_STATE), or else one started now for this process, stopped at its exit.
  static SmtpTestServer& shared();

  const std::string& host() const { return host_; }
  /// Port of a listener: "plain", "plain_auth", "starttls" or "ssl".
  int port(const std::string& listener) const;
  const std::string& caFile() const { return caFile_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }

  /// Every message received so far, in order of arrival.
  std::vector<ReceivedMessage> messages() const;
  /// Those whose envelope sender is `sender` (tests use a sender of their own).
  std::vector<ReceivedMessage> messagesFrom(const std::string& sender) const;
  /// Those whose envelope (sender, recipients, listener, TLS, user) satisfies the test; only
  /// these are parsed.
  std::vector<ReceivedMessage> messagesWhere(
      const std::function<bool(const ReceivedMessage&)>& envelopeMatches) const;

  /// A free port on 127.0.0.1 that nobody listens on (for "connection refused").
  static int deadPort();

 private:
  explicit SmtpTestServer(const std::string& stateDir, bool owned);
  ~SmtpTestServer();

  std::string stateDir_;
  bool owned_;
  std::string host_;
  std::string caFile_;
  std::string user_;
  std::string password_;
  std::string mailDir_;
  std::vector<std::pair<std::string, int>> ports_;
};

/// A text unique to this process and call, for addresses no other test uses.
std::string uniqueTag();

}  // namespace host::smtp::testing
