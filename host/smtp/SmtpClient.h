#pragma once
// Sending one e-mail over SMTP with libcurl: the message composed as MIME (a multipart
// "mixed" root, a UTF-8 text part and binary parts), the dialogue traced step by step, so
// that a failure names the step that failed and what the server answered.

#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace host::smtp {

/// How the connection is protected. Ssl: encrypted from the first byte (smtps). StartTls:
/// upgraded with STARTTLS after the greeting when the server offers it, plain otherwise.
enum class Security { None, Ssl, StartTls };

/// The server and the account to send through.
struct ServerSettings {
  std::string host;
  int port = 25;
  Security security = Security::None;
  /// AUTH user; empty: no authentication. A server that offers no AUTH is not asked.
  std::string user;
  std::string password;
  /// How long a step may wait: the connection, each reply, a stalled upload.
  std::chrono::milliseconds timeout{30000};
  /// CA certificates (PEM) to check the server with; empty: the system's.
  std::string caFile;
};

/// The steps of the dialogue, each with the prefix of its failure text.
enum class Step { Login, MailFrom, MailTo, MailData, Logout };
/// "Login Exception->", "MailFrom Exception->", "MailTo Exception->", "MailData Exception->",
/// "Logout Exception->".
const char* stepPrefix(Step step);

/// A failed step: what() is the step's prefix followed by the server's reply text without
/// its code ("5.7.8 Authentication credentials invalid"), or, when the server said nothing to
/// blame, the transport's reason (connection refused, a TLS failure, a time-out).
class SmtpError : public std::runtime_error {
 public:
  SmtpError(Step step, const std::string& reason, bool messageAccepted = false);
  Step step() const { return step_; }
  /// The text after the prefix.
  const std::string& reason() const { return reason_; }
  /// The server had taken the message (its reply to the data was positive) before the step
  /// failed: only a Logout failure can say so.
  bool messageAccepted() const { return accepted_; }

 private:
  Step step_;
  std::string reason_;
  bool accepted_;
};

/// A name and address for From and To. `address` may hold several addresses separated by
/// commas when `name` is empty (an entry of copies).
struct Mailbox {
  std::string name;
  std::string address;
};

/// A file carried by a message, read when it was attached.
struct Attachment {
  std::string fileName;  ///< the name the part carries, distinct in its message
  std::string contentType;
  std::string bytes;
};

/// The message as the reader sees it.
class MailMessage {
 public:
  Mailbox from;
  /// One To entry each, written in this order.
  std::vector<Mailbox> to;
  /// UTF-8; encoded as RFC 2047 says when it is not plain ASCII.
  std::string subject;
  /// The text part: UTF-8 lines, separated by "\n" or "\r\n".
  std::string text;
  /// The Date header; empty: when the message is sent.
  std::optional<std::time_t> date;

  /// Reads `file` now, so that the file may go (or be rewritten) before the message is sent.
  /// The part is named `fileName` (default: the file's own name); a name already carried by
  /// the message (letter case aside) becomes distinct ("x.pdf", "x_2.pdf"), so no attachment
  /// hides another. Returns the name given. A file that cannot be read is an SmtpError of the
  /// MailData step naming the file.
  const std::string& attachFile(const std::filesystem::path& file, std::string fileName = {});
  /// The same with bytes already in memory.
  const std::string& attachBytes(std::string bytes, const std::string& fileName);

  const std::vector<Attachment>& attachments() const { return attachments_; }

 private:
  std::vector<Attachment> attachments_;
};

/// Who the server delivers to, apart from the headers.
struct Envelope {
  std::string sender;
  std::vector<std::string> recipients;
};

/// Sends `message` to the envelope's recipients through `server`: connect, greeting, EHLO
/// (STARTTLS, AUTH), MAIL FROM, one RCPT TO per recipient in order, DATA, QUIT, on a
/// connection of its own. A failed step raises SmtpError. Before connecting, a header text
/// (name, address, subject) holding a line break or a control character, an envelope
/// address that is not one, or a message without recipient is refused with
/// std::invalid_argument, and nothing is sent.
void send(const ServerSettings& server, const Envelope& envelope, const MailMessage& message);

}  // namespace host::smtp
