#pragma once
// The operating system's mail client (the host's SendMail): a message handed to the user's
// own e-mail program, to be checked and sent from there. On this platform that is
// xdg-email; where it is missing the port says so, and the e-mail screen offers its
// "Utiliza servidor SMTP" switch as unavailable.

#include <memory>
#include <string>
#include <vector>

namespace host::smtp {

/// SendMail's results, numbered as the e-mail screen's message table numbers them.
enum SendMailResult : int {
  kSendMailOk = 0,
  kSendMailFailure = 2,             ///< "one or more unspecified errors"
  kSendMailNoClient = 3,            ///< no mail program set up for the user
  kSendMailAttachmentMissing = 11,  ///< the attached file is not there
  kSendMailAttachmentUnreadable = 12,
  kSendMailBadRecipient = 14,
};

/// The port.
class SystemMailClient {
 public:
  virtual ~SystemMailClient() = default;
  /// Is there a mail client to hand messages to?
  virtual bool available() const = 0;
  /// Opens the client's composer with `subject`, `body`, the recipients of `recipients`
  /// ("name<address>" entries separated by ";") and the file `attachment` (none when empty).
  /// Returns kSendMailOk or another SendMailResult; never throws for what the client did.
  virtual int SendMail(const std::string& subject, const std::string& body,
                       const std::string& recipients, const std::string& attachment) = 0;
};

/// The port on xdg-email (xdg-utils).
class XdgEmailClient final : public SystemMailClient {
 public:
  /// Uses `program`; empty: xdg-email found on PATH, unavailable when it is not there.
  explicit XdgEmailClient(std::string program = {});

  bool available() const override { return !program_.empty(); }
  int SendMail(const std::string& subject, const std::string& body, const std::string& recipients,
               const std::string& attachment) override;

  /// The command SendMail runs, one argument each, no shell between: the program,
  /// "--utf8", "--subject" and the subject, "--body" and the body, "--attach" and the
  /// attachment's absolute path, then one argument per recipient ("Name <address>", the
  /// name quoted when it holds a comma or another special). Throws std::invalid_argument
  /// for a recipient without address, or a text holding a control character other than a
  /// line break of the body (result kSendMailBadRecipient in SendMail).
  std::vector<std::string> command(const std::string& subject, const std::string& body,
                                   const std::string& recipients,
                                   const std::string& attachment) const;
  const std::string& program() const { return program_; }

 private:
  std::string program_;
};

/// The full path of `name` on PATH, empty when it is not there (or not executable).
std::string findOnPath(const std::string& name);

/// The process's system mail client: the installed host's (`Host::systemMail`), else
/// xdg-email.
std::shared_ptr<SystemMailClient> systemMailClient();

}  // namespace host::smtp
