#include "host/smtp/SystemMail.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "host/Consiste.h"
#include "host/Host.h"

extern char** environ;

namespace host::smtp {

namespace {

bool hasControl(std::string_view text, bool lineBreaksAllowed) {
  return std::any_of(text.begin(), text.end(), [&](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if (lineBreaksAllowed && (c == '\r' || c == '\n' || c == '\t')) return false;
    return c < 0x20 || c == 0x7f;
  });
}

class BadRecipient : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

/// A name as xdg-email's RFC 822 address takes it: as it is when made of letters, digits and
/// blanks, in double quotes otherwise (a comma would split the address in two).
std::string phrase(const std::string& name) {
  const bool plain = std::all_of(name.begin(), name.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c >= 0x80 || std::isalnum(c) || c == ' ';
  });
  if (plain) return name;
  std::string out = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::vector<std::string> recipientArguments(const std::string& recipients) {
  std::vector<std::string> out;
  std::stringstream in(recipients);
  for (std::string entry; std::getline(in, entry, ';');) {
    if (EmptyString(entry)) continue;
    if (hasControl(entry, false))
      throw BadRecipient("SendMail: a recipient holds a control character");
    std::string name, address;
    const auto open = entry.rfind('<');
    if (open == std::string::npos) {
      address = AllTrim(entry);
    } else {
      const auto close = entry.find('>', open);
      name = AllTrim(entry.substr(0, open));
      address =
          AllTrim(entry.substr(open + 1, close == std::string::npos ? close : close - open - 1));
    }
    if (address.empty() || address.front() == '-' ||
        address.find_first_of(" <>,;\"") != std::string::npos)
      throw BadRecipient("SendMail: \"" + entry + "\" has no usable e-mail address");
    out.push_back(name.empty() ? address : phrase(name) + " <" + address + ">");
  }
  if (out.empty()) throw BadRecipient("SendMail: no recipient");
  return out;
}

}  // namespace

std::string findOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path || name.empty() || name.find('/') != std::string::npos) return {};
  std::stringstream dirs(path);
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (dir.empty()) continue;
    const auto candidate = std::filesystem::path(dir) / name;
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate.string();
  }
  return {};
}

XdgEmailClient::XdgEmailClient(std::string program)
    : program_(program.empty() ? findOnPath("xdg-email") : std::move(program)) {}

std::vector<std::string> XdgEmailClient::command(const std::string& subject,
                                                 const std::string& body,
                                                 const std::string& recipients,
                                                 const std::string& attachment) const {
  if (hasControl(subject, false))
    throw std::invalid_argument("SendMail: the subject holds a line break or a control character");
  if (hasControl(body, true))
    throw std::invalid_argument("SendMail: the body holds a control character");
  std::vector<std::string> cmd{program_, "--utf8"};
  if (!subject.empty()) cmd.insert(cmd.end(), {"--subject", subject});
  if (!body.empty()) cmd.insert(cmd.end(), {"--body", body});
  if (!attachment.empty()) {
    if (hasControl(attachment, false))
      throw std::invalid_argument("SendMail: the attachment's path holds a control character");
    cmd.insert(cmd.end(), {"--attach", std::filesystem::absolute(attachment).string()});
  }
  for (auto& r : recipientArguments(recipients)) cmd.push_back(std::move(r));
  return cmd;
}

int XdgEmailClient::SendMail(const std::string& subject, const std::string& body,
                             const std::string& recipients, const std::string& attachment) {
  if (!available()) return kSendMailNoClient;
  std::vector<std::string> cmd;
  try {
    cmd = command(subject, body, recipients, attachment);
  } catch (const BadRecipient&) {
    return kSendMailBadRecipient;
  } catch (const std::invalid_argument&) {
    return kSendMailFailure;
  }
  if (!attachment.empty()) {
    std::error_code ec;
    if (!std::filesystem::exists(attachment, ec)) return kSendMailAttachmentMissing;
    if (::access(attachment.c_str(), R_OK) != 0) return kSendMailAttachmentUnreadable;
  }

  std::vector<char*> argv;
  for (auto& a : cmd) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, program_.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
    return kSendMailFailure;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return kSendMailFailure;
  }
  if (!WIFEXITED(status)) return kSendMailFailure;
  // xdg-utils' exit codes: 2 a file missing, 3 no tool for the job, 5 a file not readable.
  switch (WEXITSTATUS(status)) {
    case 0:
      return kSendMailOk;
    case 2:
      return kSendMailAttachmentMissing;
    case 3:
      return kSendMailNoClient;
    case 5:
      return kSendMailAttachmentUnreadable;
    default:
      return kSendMailFailure;
  }
}

std::shared_ptr<SystemMailClient> systemMailClient() {
  if (auto installed = host::installedHost().systemMail) return installed;
  return std::make_shared<XdgEmailClient>();
}

}  // namespace host::smtp
