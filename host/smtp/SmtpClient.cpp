#include "host/smtp/SmtpClient.h"

#include <curl/curl.h>
#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>

#include "host/Consiste.h"
#include "host/smtp/MailHeaders.h"

namespace host::smtp {

const char* stepPrefix(Step step) {
  switch (step) {
    case Step::Login:
      return "Login Exception->";
    case Step::MailFrom:
      return "MailFrom Exception->";
    case Step::MailTo:
      return "MailTo Exception->";
    case Step::MailData:
      return "MailData Exception->";
    case Step::Logout:
      return "Logout Exception->";
  }
  return "";
}

SmtpError::SmtpError(Step step, const std::string& reason, bool messageAccepted)
    : std::runtime_error(stepPrefix(step) + reason),
      step_(step),
      reason_(reason),
      accepted_(messageAccepted) {}

// ---- the message --------------------------------------------------------------------------

const std::string& MailMessage::attachBytes(std::string bytes, const std::string& fileName) {
  checkHeaderText("attachment's file name", fileName);
  if (EmptyString(fileName))
    throw std::invalid_argument("refused: an attachment without a file name");
  std::vector<std::string> taken;
  for (const auto& a : attachments_) taken.push_back(a.fileName);
  Attachment a;
  a.fileName = distinctFileName(fileName, taken);
  a.contentType = contentTypeFor(a.fileName);
  a.bytes = std::move(bytes);
  attachments_.push_back(std::move(a));
  return attachments_.back().fileName;
}

const std::string& MailMessage::attachFile(const std::filesystem::path& file,
                                           std::string fileName) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  if (in) bytes << in.rdbuf();
  if (!in || in.bad()) {
    const int err = errno;
    throw SmtpError(Step::MailData, fmt::format("cannot read the attachment {}: {}", file.string(),
                                                err ? std::strerror(err) : "read error"));
  }
  if (fileName.empty()) fileName = file.filename().string();
  return attachBytes(bytes.str(), fileName);
}

// ---- the dialogue ---------------------------------------------------------------------------

namespace {

void initCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Reply {
  int code = 0;
  std::string text;  ///< the line after the code
};

/// Follows the dialogue through libcurl's debug callback: which step the client is in, the
/// server's last reply since the last command, and whether the server took the message.
/// Only command names are looked at on the way out: credentials never stay here.
class Trace {
 public:
  void commandSent(std::string_view line) {
    if (inAuth_) return;  // a SASL answer: credentials
    const auto end = line.find_first_of(" \r\n");
    const std::string verb = UpperCase(line.substr(0, end));
    if (verb == "EHLO" || verb == "HELO" || verb == "STARTTLS") {
      step_ = Step::Login;
    } else if (verb == "AUTH") {
      step_ = Step::Login;
      inAuth_ = true;
    } else if (verb == "MAIL") {
      step_ = Step::MailFrom;
    } else if (verb == "RCPT") {
      step_ = Step::MailTo;
    } else if (verb == "DATA") {
      step_ = Step::MailData;
    } else if (verb == "QUIT") {
      // libcurl also says QUIT while closing after a failure: the failure is the step and
      // the reply before it.
      if (!quitSent_) {
        quitSent_ = true;
        beforeQuit_ = step_;
        replyBeforeQuit_ = last_;
      }
      step_ = Step::Logout;
    }
    last_.reset();
  }

  void dataSent() { dataSent_ = true; }

  void replyReceived(std::string_view chunk) {
    partial_.append(chunk);
    size_t nl;
    while ((nl = partial_.find('\n')) != std::string::npos) {
      std::string line = partial_.substr(0, nl);
      partial_.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      replyLine(line);
    }
  }

  /// The step a failed transfer failed in, and the server's reply in that step.
  Step failedStep() const { return quitSent_ ? beforeQuit_ : step_; }
  const std::optional<Reply>& failedReply() const { return quitSent_ ? replyBeforeQuit_ : last_; }
  bool accepted() const { return accepted_; }
  const std::optional<Reply>& quitReply() const { return quitReply_; }

 private:
  void replyLine(const std::string& line) {
    if (line.size() < 3 || !IsDigits(line.substr(0, 3))) return;
    // "250-..." lines go on; the reply is its line with a blank (or nothing) after the code.
    if (line.size() > 3 && line[3] == '-') return;
    Reply r;
    r.code = std::stoi(line.substr(0, 3));
    r.text = line.size() > 4 ? AllTrim(line.substr(4)) : "";
    if (inAuth_ && r.code != 334) inAuth_ = false;
    if (step_ == Step::MailData && dataSent_ && r.code / 100 == 2) accepted_ = true;
    if (step_ == Step::Logout) quitReply_ = r;
    last_ = std::move(r);
  }

  Step step_ = Step::Login;
  bool quitSent_ = false;
  Step beforeQuit_ = Step::Login;
  std::optional<Reply> replyBeforeQuit_;
  bool inAuth_ = false;
  bool dataSent_ = false;
  bool accepted_ = false;
  std::string partial_;
  std::optional<Reply> last_;
  std::optional<Reply> quitReply_;
};

int traceCallback(CURL*, curl_infotype type, char* data, size_t size, void* userp) {
  auto* trace = static_cast<Trace*>(userp);
  const std::string_view text(data, size);
  switch (type) {
    case CURLINFO_HEADER_OUT:
      trace->commandSent(text);
      break;
    case CURLINFO_HEADER_IN:
      trace->replyReceived(text);
      break;
    case CURLINFO_DATA_OUT:
      trace->dataSent();
      break;
    default:
      break;
  }
  return 0;
}

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
  void operator()(curl_mime* m) const { curl_mime_free(m); }
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
template <class T>
using CurlPtr = std::unique_ptr<T, CurlDeleter>;

void append(CurlPtr<curl_slist>& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (!grown) throw std::bad_alloc();
  list.release();
  list.reset(grown);
}

void check(CURLcode rc, const char* what) {
  if (rc != CURLE_OK)
    throw SmtpError(Step::Login, fmt::format("{}: {}", what, curl_easy_strerror(rc)));
}

void checkSettings(const ServerSettings& s) {
  checkHeaderText("SMTP server", s.host);
  if (EmptyString(s.host)) throw std::invalid_argument("refused: no SMTP server given");
  if (s.host.find_first_of(" /@?#") != std::string::npos)
    throw std::invalid_argument(fmt::format("refused: \"{}\" is not a server name", s.host));
  if (s.port < 1 || s.port > 65535)
    throw std::invalid_argument(fmt::format("refused: the SMTP port {} does not exist", s.port));
}

void checkMessage(const Envelope& envelope, const MailMessage& m) {
  checkHeaderText("sender's name", m.from.name);
  checkHeaderText("sender's address", m.from.address);
  if (EmptyString(m.from.address))
    throw std::invalid_argument("refused: the sender's address is blank");
  for (size_t i = 0; i < m.to.size(); ++i) {
    checkHeaderText(fmt::format("name of recipient {}", i + 1), m.to[i].name);
    checkHeaderText(fmt::format("address of recipient {}", i + 1), m.to[i].address);
    if (EmptyString(m.to[i].address))
      throw std::invalid_argument(
          fmt::format("refused: the address of recipient {} is blank", i + 1));
  }
  checkHeaderText("subject", m.subject);
  checkEnvelopeAddress("envelope sender", envelope.sender);
  if (envelope.recipients.empty()) throw std::invalid_argument("refused: no envelope recipient");
  for (const auto& r : envelope.recipients) checkEnvelopeAddress("envelope recipient", r);
}

std::string messageId(const std::string& from) {
  const auto at = from.rfind('@');
  std::string domain = at == std::string::npos ? "" : AllTrim(from.substr(at + 1));
  if (domain.empty() || !isPrintableAscii(domain) ||
      domain.find_first_of("<>()[]\\\", ") != std::string::npos)
    domain = "localhost";
  std::random_device rd;
  return fmt::format("<{:08x}{:08x}{:08x}{:08x}@{}>", rd(), rd(), rd(), rd(), domain);
}

std::string toHeader(const std::vector<Mailbox>& to) {
  std::string out = "To: ";
  size_t lineLength = out.size();
  for (size_t i = 0; i < to.size(); ++i) {
    const std::string box = formatMailbox(to[i].name, AllTrim(to[i].address));
    if (i > 0) {
      // Long lists go on continuation lines rather than past the line limit.
      if (lineLength + 2 + box.size() > 76) {
        out += ",\r\n ";
        lineLength = 1;
      } else {
        out += ", ";
        lineLength += 2;
      }
    }
    out += box;
    lineLength += box.size();
  }
  return out;
}

std::string textWithCrlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string hostForUrl(const std::string& host) {
  const std::string h = AllTrim(host);
  return h.find(':') != std::string::npos && h.front() != '[' ? "[" + h + "]" : h;
}

long wholeSeconds(std::chrono::milliseconds ms) {
  return std::max<long>(1, static_cast<long>((ms.count() + 999) / 1000));
}

/// The failure's text with the password blotted out, in case a server echoed it.
std::string withoutPassword(std::string text, const std::string& password) {
  if (password.size() < 4) return text;
  for (size_t at; (at = text.find(password)) != std::string::npos;)
    text.replace(at, password.size(), "***");
  return text;
}

}  // namespace

void send(const ServerSettings& server, const Envelope& envelope, const MailMessage& message) {
  checkSettings(server);
  checkMessage(envelope, message);
  initCurl();

  // The headers; libcurl adds MIME-Version and the multipart/mixed Content-Type.
  CurlPtr<curl_slist> headers;
  append(headers, "Date: " + formatDate(message.date.value_or(std::time(nullptr))));
  append(headers, "From: " + formatMailbox(message.from.name, AllTrim(message.from.address)));
  if (!message.to.empty()) append(headers, toHeader(message.to));
  append(headers, "Subject: " + encodeHeaderText(message.subject));
  append(headers, "Message-ID: " + messageId(message.from.address));
  CurlPtr<curl_slist> recipients;
  for (const auto& r : envelope.recipients) append(recipients, AllTrim(r));

  // Everything the transfer points to is declared before it, so that it goes first.
  Trace trace;
  char errors[CURL_ERROR_SIZE] = {};
  CurlPtr<curl_mime> mime;
  CurlPtr<CURL> curl(curl_easy_init());
  if (!curl) throw SmtpError(Step::Login, "libcurl could not start a transfer");
  CURL* c = curl.get();

  mime.reset(curl_mime_init(c));
  if (!mime) throw std::bad_alloc();
  curl_mimepart* text = curl_mime_addpart(mime.get());
  const std::string body = textWithCrlf(message.text);
  check(curl_mime_data(text, body.data(), body.size()), "message");
  check(curl_mime_type(text, "text/plain; charset=UTF-8"), "message");
  check(curl_mime_encoder(text, "quoted-printable"), "message");
  for (const auto& a : message.attachments()) {
    curl_mimepart* part = curl_mime_addpart(mime.get());
    check(curl_mime_data(part, a.bytes.data(), a.bytes.size()), "message");
    // The name in the type as well, for readers that look there (RFC 2047 words when not
    // ASCII, as those readers expect).
    const std::string type =
        a.contentType + "; name=\"" + attachmentNameParameter(a.fileName) + "\"";
    check(curl_mime_type(part, type.c_str()), "message");
    check(curl_mime_encoder(part, "base64"), "message");
    CurlPtr<curl_slist> partHeaders;
    append(partHeaders, "Content-Disposition: " + attachmentDisposition(a.fileName));
    check(curl_mime_headers(part, partHeaders.release(), 1), "message");
  }

  const bool ssl = server.security == Security::Ssl;
  const std::string url =
      fmt::format("{}://{}:{}", ssl ? "smtps" : "smtp", hostForUrl(server.host), server.port);
  const long seconds = wholeSeconds(server.timeout);
  const std::string sender = AllTrim(envelope.sender);

  check(curl_easy_setopt(c, CURLOPT_URL, url.c_str()), "URL");
  check(curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps"), "protocols");
  check(curl_easy_setopt(
            c, CURLOPT_USE_SSL,
            ssl ? CURLUSESSL_ALL
                : (server.security == Security::StartTls ? CURLUSESSL_TRY : CURLUSESSL_NONE)),
        "TLS");
  if (!server.caFile.empty())
    check(curl_easy_setopt(c, CURLOPT_CAINFO, server.caFile.c_str()), "CA file");
  if (!server.user.empty()) {
    check(curl_easy_setopt(c, CURLOPT_USERNAME, server.user.c_str()), "user");
    check(curl_easy_setopt(c, CURLOPT_PASSWORD, server.password.c_str()), "password");
  }
  check(curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(server.timeout.count())),
        "time-out");
  check(curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds), "time-out");
  check(curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L), "time-out");
  check(curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, seconds), "time-out");
  check(curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L), "signals");
  // A connection of its own, closed (QUIT) before perform returns, so the trace sees it.
  check(curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L), "reuse");
  check(curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errors), "errors");
  check(curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, traceCallback), "trace");
  check(curl_easy_setopt(c, CURLOPT_DEBUGDATA, &trace), "trace");
  check(curl_easy_setopt(c, CURLOPT_VERBOSE, 1L), "trace");
  check(curl_easy_setopt(c, CURLOPT_MAIL_FROM, sender.c_str()), "sender");
  check(curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get()), "recipients");
  check(curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get()), "headers");
  check(curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get()), "message");

  const CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) {
    const auto& reply = trace.failedReply();
    std::string reason;
    if (reply && reply->code >= 400)
      reason = reply->text.empty() ? std::to_string(reply->code) : reply->text;
    else
      reason = errors[0] ? AllTrim(errors) : curl_easy_strerror(rc);
    throw SmtpError(trace.failedStep(), withoutPassword(reason, server.password), trace.accepted());
  }
  // libcurl does not fail a transfer on its QUIT; the dialogue still has the step checked.
  if (const auto& quit = trace.quitReply(); quit && quit->code >= 400)
    throw SmtpError(Step::Logout,
                    withoutPassword(quit->text.empty() ? std::to_string(quit->code) : quit->text,
                                    server.password),
                    trace.accepted());
}

}  // namespace host::smtp
