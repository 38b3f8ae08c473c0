// The system mail client port, where no desktop is: the command it builds, a stand-in
// program in xdg-email's place, and the machine without one.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/Archive.h"
#include "host/smtp/SystemMail.h"

using namespace host::smtp;
using ::testing::ElementsAre;
namespace fs = std::filesystem;

namespace {

/// A stand-in for xdg-email: writes its arguments, one a line, and exits with `code`.
fs::path fakeXdgEmail(const fs::path& dir, int code) {
  const auto program = dir / "xdg-email";
  std::ofstream(program) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \""
                         << (dir / "args.txt").string() << "\"\nexit " << code << "\n";
  fs::permissions(program, fs::perms::owner_all);
  return program;
}

std::vector<std::string> recordedArgs(const fs::path& dir) {
  std::ifstream in(dir / "args.txt");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// PATH set for the scope of the object.
class ScopedPath {
 public:
  explicit ScopedPath(const std::string& path) : old_(std::getenv("PATH")) {
    ::setenv("PATH", path.c_str(), 1);
  }
  ~ScopedPath() { ::setenv("PATH", old_.c_str(), 1); }

 private:
  std::string old_;
};

}  // namespace

TEST(XdgEmail, CommandCarriesSubjectBodyAttachmentAndOneArgumentPerRecipient) {
  const XdgEmailClient client("/usr/bin/xdg-email");
  const auto cmd = client.command(
      "Envio de Boleto", " \r\nSenhores,\r\nsegue o boleto.",
      "Conceição Ltda<financeiro@conceicao.example>;Silva, João <joao@silva.example>; "
      "avulso@x.example;",
      "/tmp/boleto.pdf");
  EXPECT_THAT(cmd, ElementsAre("/usr/bin/xdg-email", "--utf8", "--subject", "Envio de Boleto",
                               "--body", " \r\nSenhores,\r\nsegue o boleto.", "--attach",
                               "/tmp/boleto.pdf", "Conceição Ltda <financeiro@conceicao.example>",
                               "\"Silva, João\" <joao@silva.example>", "avulso@x.example"));
}

TEST(XdgEmail, RecipientsOrTextsThatCouldTurnIntoOptionsOrLinesAreRefused) {
  const XdgEmailClient client("/usr/bin/xdg-email");
  for (const char* bad : {"", ";", "Fulano<>", "--attach=/etc/passwd", "Fulano<a@b.example>\n",
                          "Fulano<a b@c.example>"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(client.command("s", "b", bad, ""), std::invalid_argument);
  }
  EXPECT_THROW(client.command("s\r\nBcc: x", "b", "a@b.example", ""), std::invalid_argument);
  // A name that starts like an option is quoted, so it never reads as one.
  EXPECT_EQ(client.command("s", "b", "-x<a@b.example>", "").back(), "\"-x\" <a@b.example>");
}

TEST(XdgEmail, SendMailRunsTheProgramAndTranslatesItsExitCode) {
  host::PrivateTempDir dir;
  std::ofstream(dir.path() / "boleto.pdf") << "%PDF";
  const std::string attachment = (dir.path() / "boleto.pdf").string();
  const std::pair<int, int> codes[] = {{0, kSendMailOk},
                                       {3, kSendMailNoClient},
                                       {2, kSendMailAttachmentMissing},
                                       {5, kSendMailAttachmentUnreadable},
                                       {4, kSendMailFailure}};
  for (const auto& [exitCode, result] : codes) {
    SCOPED_TRACE(exitCode);
    XdgEmailClient client(fakeXdgEmail(dir.path(), exitCode).string());
    EXPECT_EQ(client.SendMail("Assunto", "Texto", "Cliente<c@x.example>", attachment), result);
  }
  EXPECT_THAT(recordedArgs(dir.path()),
              ElementsAre("--utf8", "--subject", "Assunto", "--body", "Texto", "--attach",
                          attachment, "Cliente <c@x.example>"));
}

TEST(XdgEmail, MissingAttachmentOrBadRecipientIsAnsweredWithoutRunningTheClient) {
  host::PrivateTempDir dir;
  XdgEmailClient client(fakeXdgEmail(dir.path(), 0).string());
  EXPECT_EQ(client.SendMail("s", "b", "c@x.example", (dir.path() / "none.pdf").string()),
            kSendMailAttachmentMissing);
  EXPECT_EQ(client.SendMail("s", "b", "Cliente<>", ""), kSendMailBadRecipient);
  EXPECT_FALSE(fs::exists(dir.path() / "args.txt"));
}

TEST(XdgEmail, WithoutXdgEmailOnThePathThePortSaysItIsUnavailable) {
  host::PrivateTempDir empty;
  ScopedPath path(empty.path().string());
  XdgEmailClient client;
  EXPECT_FALSE(client.available());
  EXPECT_EQ(client.SendMail("s", "b", "c@x.example", ""), kSendMailNoClient);

  host::PrivateTempDir withClient;
  fakeXdgEmail(withClient.path(), 0);
  ScopedPath found(empty.path().string() + ":" + withClient.path().string());
  EXPECT_TRUE(XdgEmailClient().available());
  EXPECT_EQ(XdgEmailClient().program(), (withClient.path() / "xdg-email").string());
}
