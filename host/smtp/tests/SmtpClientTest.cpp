// The SMTP client against a real server (smtp-test-server.py): what arrives, over every kind
// of connection, and how each step's failure reads.

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "host/Archive.h"
#include "host/smtp/SmtpClient.h"
#include "host/smtp/testing/SmtpTestServer.h"

using namespace host::smtp;
using host::smtp::testing::SmtpTestServer;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

SmtpTestServer& server() {
  return SmtpTestServer::shared();
}

ServerSettings settingsFor(const std::string& listener, Security security, bool login = true) {
  ServerSettings s;
  s.host = server().host();
  s.port = server().port(listener);
  s.security = security;
  s.caFile = server().caFile();
  if (login) {
    s.user = server().user();
    s.password = server().password();
  }
  return s;
}

/// A sender of the test's own, by which its messages are found again.
std::string newSender() {
  return "boletos-" + host::smtp::testing::uniqueTag() + "@empresa.example";
}

std::string allBytes() {
  std::string bytes;
  for (int round = 0; round < 40; ++round)
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>((b * 7 + round) & 0xff);
  return bytes;
}

void writeFile(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

MailMessage simpleMessage(const std::string& sender) {
  MailMessage m;
  m.from = {"Contas a receber", sender};
  m.to = {{"", "cliente@exemplo.example"}};
  m.subject = "Envio de Boleto";
  m.text = "Senhores,\nsegue o boleto.";
  return m;
}

/// Sends, expecting a failure: the SmtpError raised.
SmtpError sendFailing(const ServerSettings& s, const Envelope& e, const MailMessage& m) {
  try {
    send(s, e, m);
  } catch (const SmtpError& error) {
    return error;
  }
  ADD_FAILURE() << "the send did not fail";
  return SmtpError(Step::Logout, "none");
}

}  // namespace

TEST(SmtpDelivery, MessageArrivesWithItsHeadersEnvelopeTextAndAttachmentsIntact) {
  host::PrivateTempDir dir;
  const std::string pdf = "%PDF-1.4\n" + allBytes();
  const std::string other = allBytes().substr(100, 3000);
  writeFile(dir.path() / "12345678000195_10032026_4711_00010000000042.pdf", pdf);
  writeFile(dir.path() / "segunda via.pdf", other);

  const std::string sender = newSender();
  MailMessage m;
  m.from = {"Matriz São Paulo", sender};
  m.to = {{"", "cliente@exemplo.example"}, {"", "copia1@exemplo.example, copia2@exemplo.example"}};
  // Long enough to need several encoded words, with accents where the words meet.
  m.subject = "Envio de Boleto — cobrança de março, Conceição & Irmãos Ltda., vencimento 10/03";
  m.text =
      "Senhores, \r\nConforme solicitado, segue boleto bancário em anexo.\r\n"
      ".uma linha que começa com ponto\r\nFrom a line that mail readers quote\n\nContas a receber";
  m.attachFile(dir.path() / "12345678000195_10032026_4711_00010000000042.pdf");
  m.attachFile(dir.path() / "segunda via.pdf");
  const Envelope envelope{
      sender, {"cliente@exemplo.example", "copia1@exemplo.example", "copia2@exemplo.example"}};

  send(settingsFor("plain", Security::None, false), envelope, m);

  const auto got = server().messagesFrom(sender);
  ASSERT_EQ(got.size(), 1u);
  const auto& r = got[0];
  EXPECT_EQ(r.recipients, envelope.recipients);
  EXPECT_EQ(r.rootContentType, "multipart/mixed");
  EXPECT_THAT(r.defects, ::testing::IsEmpty());
  EXPECT_EQ(r.header("From"), "Matriz São Paulo <" + sender + ">");
  EXPECT_EQ(r.header("To"),
            "cliente@exemplo.example, copia1@exemplo.example, copia2@exemplo.example");
  EXPECT_EQ(r.header("Subject"), m.subject);
  EXPECT_EQ(r.headerCount("Subject"), 1u);
  EXPECT_FALSE(r.header("Date").empty());
  EXPECT_THAT(r.header("Message-ID"), HasSubstr("@empresa.example>"));
  EXPECT_FALSE(r.tls);

  // Lines as written, every line break sent as CRLF.
  EXPECT_EQ(r.text(),
            "Senhores, \r\nConforme solicitado, segue boleto bancário em anexo.\r\n"
            ".uma linha que começa com ponto\r\nFrom a line that mail readers quote\r\n\r\n"
            "Contas a receber");
  const auto files = r.attachments();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0]->fileName, "12345678000195_10032026_4711_00010000000042.pdf");
  EXPECT_EQ(files[0]->contentType, "application/pdf");
  EXPECT_EQ(files[0]->bytes, pdf);
  EXPECT_EQ(files[1]->fileName, "segunda via.pdf");
  EXPECT_EQ(files[1]->bytes, other);
}

TEST(SmtpDelivery, TwoAttachmentsOfOneNameBothArriveUnderDistinctNames) {
  // A debit note's e-mail carries the boleto and the espelho, both made under one file
  // name, the espelho written over the boleto's file once the boleto was attached.
  host::PrivateTempDir dir;
  const auto file = dir.path() / "CLIENTE_10032026_123_00010000000001.pdf";
  writeFile(file, "%PDF boleto");
  const std::string sender = newSender();
  MailMessage m = simpleMessage(sender);
  EXPECT_EQ(m.attachFile(file), "CLIENTE_10032026_123_00010000000001.pdf");
  writeFile(file, "%PDF espelho");
  EXPECT_EQ(m.attachFile(file), "CLIENTE_10032026_123_00010000000001_2.pdf");
  std::filesystem::remove(file);  // the files of a run go before its messages are sent
  EXPECT_EQ(m.attachBytes("x", "cliente_10032026_123_00010000000001.PDF"),
            "cliente_10032026_123_00010000000001_3.PDF");

  send(settingsFor("plain", Security::None), {sender, {"cliente@exemplo.example"}}, m);

  const auto got = server().messagesFrom(sender);
  ASSERT_EQ(got.size(), 1u);
  const auto files = got[0].attachments();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0]->bytes, "%PDF boleto");
  EXPECT_EQ(files[1]->bytes, "%PDF espelho");
  EXPECT_EQ(files[1]->fileName, "CLIENTE_10032026_123_00010000000001_2.pdf");
  EXPECT_EQ(files[2]->fileName, "cliente_10032026_123_00010000000001_3.PDF");
}

TEST(SmtpDelivery, NonAsciiAttachmentNameArrivesAsWritten) {
  const std::string sender = newSender();
  MailMessage m = simpleMessage(sender);
  m.attachBytes("conteúdo", "Espelho Nota Débito nº 7.pdf");
  send(settingsFor("plain", Security::None), {sender, {"cliente@exemplo.example"}}, m);
  const auto got = server().messagesFrom(sender);
  ASSERT_EQ(got.size(), 1u);
  ASSERT_EQ(got[0].attachments().size(), 1u);
  EXPECT_EQ(got[0].attachments()[0]->fileName, "Espelho Nota Débito nº 7.pdf");
  EXPECT_THAT(got[0].defects, ::testing::IsEmpty());
}

TEST(SmtpSecurity, EachModeReachesItsServerEncryptedAsAsked) {
  struct Case {
    const char* listener;
    Security security;
    bool tls;
    bool authenticated;
  };
  const Case cases[] = {
      {"starttls", Security::StartTls, true, true},
      {"ssl", Security::Ssl, true, true},
      {"plain_auth", Security::None, false, true},
      // STARTTLS is used when offered: a server that offers none is written to in plain.
      {"plain", Security::StartTls, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.listener);
    const std::string sender = newSender();
    // A server without AUTH is not asked to log in, whatever the settings hold.
    send(settingsFor(c.listener, c.security), {sender, {"cliente@exemplo.example"}},
         simpleMessage(sender));
    const auto got = server().messagesFrom(sender);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].listener, c.listener);
    EXPECT_EQ(got[0].tls, c.tls);
    EXPECT_EQ(got[0].authUser, c.authenticated ? server().user() : "");
  }
}

TEST(SmtpFailures, EachStepFailsWithItsPrefixAndTheServersEnhancedStatus) {
  struct Case {
    const char* name;
    const char* listener;
    std::string password;
    std::string senderLocal;
    std::vector<std::string> recipients;
    Step step;
    std::string text;
  };
  const std::string good = server().password();
  const std::vector<Case> cases = {
      {"login refused",
       "starttls",
       "senha-errada",
       "boletos",
       {"cliente@x.example"},
       Step::Login,
       "Login Exception->5.7.8 Authentication credentials invalid"},
      {"sender refused",
       "starttls",
       good,
       "refuse-sender",
       {"cliente@x.example"},
       Step::MailFrom,
       "MailFrom Exception->5.7.1 Sender address rejected: not owned by user"},
      {"second recipient refused",
       "ssl",
       good,
       "boletos",
       {"cliente@x.example", "refuse-me@x.example", "outro@x.example"},
       Step::MailTo,
       "MailTo Exception->5.1.1 Recipient address rejected: user unknown"},
      {"data refused",
       "plain",
       good,
       "boletos",
       {"reject-data@x.example"},
       Step::MailData,
       "MailData Exception->5.6.0 Message content rejected"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto settings = settingsFor(
        c.listener, c.listener == std::string("ssl") ? Security::Ssl : Security::StartTls);
    settings.password = c.password;
    const std::string sender =
        c.senderLocal + "-" + host::smtp::testing::uniqueTag() + "@e.example";
    const SmtpError e = sendFailing(settings, {sender, c.recipients}, simpleMessage(sender));
    EXPECT_EQ(e.step(), c.step);
    EXPECT_EQ(std::string(e.what()), c.text);
    EXPECT_FALSE(e.messageAccepted());
    EXPECT_THAT(e.what(), Not(HasSubstr(c.password)));
    EXPECT_TRUE(server().messagesFrom(sender).empty());
  }
}

TEST(SmtpFailures, ServerRequiringAuthRefusesTheSenderOfAClientWithoutLogin) {
  const std::string sender = newSender();
  const SmtpError e = sendFailing(settingsFor("plain_auth", Security::None, false),
                                  {sender, {"cliente@x.example"}}, simpleMessage(sender));
  EXPECT_EQ(e.step(), Step::MailFrom);
  EXPECT_THAT(e.what(), StartsWith("MailFrom Exception->5.7.0"));
}

TEST(SmtpFailures, ConnectionDroppedDuringDataIsAMailDataFailureAndNothingArrives) {
  const std::string sender = newSender();
  const SmtpError e = sendFailing(settingsFor("plain", Security::None),
                                  {sender, {"drop-data@x.example"}}, simpleMessage(sender));
  EXPECT_EQ(e.step(), Step::MailData);
  EXPECT_THAT(e.what(), StartsWith("MailData Exception->"));
  EXPECT_GT(e.reason().size(), 0u);
  EXPECT_FALSE(e.messageAccepted());
  EXPECT_TRUE(server().messagesFrom(sender).empty());
}

TEST(SmtpFailures, RefusedLogoutIsReportedAfterTheMessageWasTaken) {
  const std::string sender = newSender();
  const SmtpError e = sendFailing(settingsFor("plain", Security::None),
                                  {sender, {"refuse-quit@x.example"}}, simpleMessage(sender));
  EXPECT_EQ(e.step(), Step::Logout);
  EXPECT_EQ(std::string(e.what()), "Logout Exception->5.3.0 Logout refused for the test");
  EXPECT_TRUE(e.messageAccepted());
  EXPECT_EQ(server().messagesFrom(sender).size(), 1u);
}

TEST(SmtpFailures, TransportFailuresAreLoginFailuresWithTheTransportsReason) {
  const std::string sender = newSender();
  const Envelope envelope{sender, {"cliente@x.example"}};

  auto dead = settingsFor("plain", Security::None);
  dead.port = SmtpTestServer::deadPort();
  SmtpError e = sendFailing(dead, envelope, simpleMessage(sender));
  EXPECT_EQ(e.step(), Step::Login);
  EXPECT_THAT(e.what(), StartsWith("Login Exception->"));
  EXPECT_THAT(e.reason(), HasSubstr("onnect"));

  // Encrypted from the start to a server that speaks plain text.
  e = sendFailing(settingsFor("plain", Security::Ssl), envelope, simpleMessage(sender));
  EXPECT_EQ(e.step(), Step::Login);
  EXPECT_THAT(e.what(), StartsWith("Login Exception->"));

  // A certificate nobody vouches for: without the test's CA file the system's store refuses it.
  auto untrusted = settingsFor("ssl", Security::Ssl);
  untrusted.caFile.clear();
  e = sendFailing(untrusted, envelope, simpleMessage(sender));
  EXPECT_EQ(e.step(), Step::Login);
  EXPECT_THAT(e.reason(), HasSubstr("certificate"));
  EXPECT_THAT(e.what(), Not(HasSubstr(untrusted.password)));

  EXPECT_TRUE(server().messagesFrom(sender).empty());
}

TEST(SmtpFailures, ServerThatNeverGreetsTimesOutAsALoginFailure) {
  // Listening, never accepting: the connection completes and no greeting ever comes.
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(s, 4), 0);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);

  ServerSettings settings;
  settings.host = "127.0.0.1";
  settings.port = ntohs(addr.sin_port);
  settings.timeout = std::chrono::milliseconds(1000);
  const auto started = std::chrono::steady_clock::now();
  const SmtpError e = sendFailing(settings, {"a@b.example", {"c@d.example"}}, simpleMessage("a@b"));
  const auto took = std::chrono::steady_clock::now() - started;
  ::close(s);
  EXPECT_EQ(e.step(), Step::Login);
  EXPECT_THAT(e.reason(), ::testing::ContainsRegex("time ?out|timed out"));
  EXPECT_LT(took, std::chrono::seconds(20));  // the time-out given, not libcurl's default
}

TEST(SmtpRefusals, LineBreaksFromTheDataNeverReachTheHeadersAndNothingIsSent) {
  const std::string sender = newSender();
  const auto settings = settingsFor("plain", Security::None);
  const Envelope envelope{sender, {"cliente@x.example"}};
  struct Case {
    const char* name;
    std::function<void(MailMessage&, Envelope&)> spoil;
  };
  const Case cases[] = {
      {"subject", [](MailMessage& m, Envelope&) { m.subject = "Boleto\r\nBcc: vitima@x.example"; }},
      {"subject LF", [](MailMessage& m, Envelope&) { m.subject = "Boleto\nX-Spam: yes"; }},
      {"sender name", [](MailMessage& m, Envelope&) { m.from.name = "Matriz\rBcc: v@x.example"; }},
      {"sender address", [](MailMessage& m, Envelope&) { m.from.address += "\nBcc: v@x"; }},
      {"recipient name", [](MailMessage& m, Envelope&) { m.to[0].name = "Cliente\n"; }},
      {"recipient address",
       [](MailMessage& m, Envelope&) { m.to[0].address = "c@x.example\r\nBcc: v@x"; }},
      {"control character", [](MailMessage& m, Envelope&) { m.subject = std::string("a\0b", 3); }},
      {"envelope sender", [](MailMessage&, Envelope& e) { e.sender += "\r\nRCPT TO:<v@x>"; }},
      {"envelope recipient",
       [](MailMessage&, Envelope& e) { e.recipients.push_back("v@x.example>\r\nDATA"); }},
      {"recipient in brackets",
       [](MailMessage&, Envelope& e) { e.recipients = {"<v@x.example>"}; }},
      {"no recipient", [](MailMessage&, Envelope& e) { e.recipients.clear(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MailMessage m = simpleMessage(sender);
    Envelope e = envelope;
    c.spoil(m, e);
    EXPECT_THROW(send(settings, e, m), std::invalid_argument);
  }
  MailMessage m = simpleMessage(sender);
  EXPECT_THROW(m.attachBytes("x", "boleto.pdf\r\nContent-Type: text/html"), std::invalid_argument);
  EXPECT_TRUE(server().messagesFrom(sender).empty());
}

TEST(SmtpRefusals, AttachmentThatCannotBeReadFailsTheDataStepNamingTheFile) {
  MailMessage m = simpleMessage("a@b.example");
  try {
    m.attachFile("/nonexistent/boleto.pdf");
    FAIL() << "attached a file that is not there";
  } catch (const SmtpError& e) {
    EXPECT_EQ(e.step(), Step::MailData);
    EXPECT_THAT(e.what(), StartsWith("MailData Exception->"));
    EXPECT_THAT(e.what(), HasSubstr("/nonexistent/boleto.pdf"));
  }
  EXPECT_TRUE(m.attachments().empty());
}
