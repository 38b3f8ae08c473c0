#include "host/smtp/testing/SmtpTestServer.h"

#include <arpa/inet.h>
#include <fmt/format.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace host::smtp::testing {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string text(const json& j, const char* key) {
  const auto it = j.find(key);
  return it == j.end() || it->is_null() ? std::string() : it->get<std::string>();
}

int run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + args[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool serverAlive(const fs::path& stateDir) {
  std::ifstream in(stateDir / "server.json");
  if (!in) return false;
  const json state = json::parse(in, nullptr, false);
  if (state.is_discarded() || !state.contains("pid")) return false;
  return ::kill(state["pid"].get<int>(), 0) == 0;
}

/// The envelope of a received message, as the server wrote it while the client waited.
ReceivedMessage readEnvelope(const fs::path& file) {
  const json j = json::parse(readFile(file));
  ReceivedMessage m;
  m.seq = j.at("seq").get<int>();
  m.listener = text(j, "listener");
  m.tls = j.value("tls", false);
  m.authUser = text(j, "auth_user");
  m.mailFrom = text(j, "mail_from");
  m.recipients = j.at("rcpt_tos").get<std::vector<std::string>>();
  m.raw = text(j, "raw");  // its path, until the content is read
  return m;
}

/// Adds what the parser made of the message (parsing it first when nobody has yet).
void readContent(ReceivedMessage& m) {
  const fs::path eml = m.raw;
  const fs::path parsed = fs::path(eml).replace_extension(".parsed.json");
  const json j = json::parse(readFile(parsed));
  m.rootContentType = text(j, "root_content_type");
  for (const auto& h : j.at("headers")) m.headers.emplace_back(h[0], h[1]);
  for (const auto& d : j.at("defects")) m.defects.push_back(d.get<std::string>());
  for (const auto& p : j.at("parts")) {
    ReceivedPart part;
    part.contentType = text(p, "content_type");
    part.charset = text(p, "charset");
    part.disposition = text(p, "disposition");
    part.fileName = text(p, "filename");
    part.transferEncoding = text(p, "transfer_encoding");
    part.text = text(p, "text");
    if (const auto saved = text(p, "saved"); !saved.empty()) part.bytes = readFile(saved);
    m.parts.push_back(std::move(part));
  }
  m.raw = readFile(eml);
}

bool sameName(std::string a, std::string b) {
  auto lower = [](std::string& s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  };
  lower(a);
  lower(b);
  return a == b;
}

}  // namespace

std::string ReceivedMessage::header(const std::string& name) const {
  for (const auto& [k, v] : headers)
    if (sameName(k, name)) return v;
  return {};
}

size_t ReceivedMessage::headerCount(const std::string& name) const {
  return static_cast<size_t>(std::count_if(headers.begin(), headers.end(),
                                           [&](const auto& h) { return sameName(h.first, name); }));
}

std::vector<const ReceivedPart*> ReceivedMessage::attachments() const {
  std::vector<const ReceivedPart*> out;
  for (const auto& p : parts)
    if (p.disposition == "attachment") out.push_back(&p);
  return out;
}

std::string ReceivedMessage::text() const {
  for (const auto& p : parts)
    if (p.contentType == "text/plain" && p.disposition != "attachment") return p.text;
  return {};
}

SmtpTestServer::SmtpTestServer(const std::string& stateDir, bool owned)
    : stateDir_(stateDir), owned_(owned) {
  const json state = json::parse(readFile(fs::path(stateDir) / "server.json"));
  host_ = state.at("host");
  caFile_ = state.at("ca_file");
  user_ = state.at("user");
  password_ = state.at("password");
  mailDir_ = state.at("mail_dir");
  for (const auto& [name, port] : state.at("ports").items()) ports_.emplace_back(name, port);
}

SmtpTestServer::~SmtpTestServer() {
  if (!owned_) return;
  run({BOLETO_SYSTEM_PYTHON, BOLETO_SMTP_TEST_SERVER_SCRIPT, "--state-dir", stateDir_, "--stop"});
  std::error_code ec;
  fs::remove_all(stateDir_, ec);
}

SmtpTestServer& SmtpTestServer::shared() {
  static SmtpTestServer* server = [] {
    if (const char* dir = std::getenv("BOLETO_SMTP_TEST_STATE"); dir && *dir) {
      if (!serverAlive(dir))
        throw std::runtime_error(fmt::format(
            "the test SMTP server of {} is not running (its fixture test failed?)", dir));
      return new SmtpTestServer(dir, false);
    }
    std::string tmpl = (fs::temp_directory_path() / "boleto-smtp-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a folder for the SMTP server");
    if (run({BOLETO_SYSTEM_PYTHON, BOLETO_SMTP_TEST_SERVER_SCRIPT, "--state-dir", tmpl, "--daemon",
             "--lifetime", "900"}) != 0)
      throw std::runtime_error("the test SMTP server did not start; see " + tmpl + "/server.log");
    static SmtpTestServer owned(tmpl, true);
    return &owned;
  }();
  return *server;
}

int SmtpTestServer::port(const std::string& listener) const {
  for (const auto& [name, port] : ports_)
    if (name == listener) return port;
  throw std::invalid_argument("the test SMTP server has no listener " + listener);
}

std::vector<ReceivedMessage> SmtpTestServer::messages() const {
  return messagesWhere([](const ReceivedMessage&) { return true; });
}

std::vector<ReceivedMessage> SmtpTestServer::messagesFrom(const std::string& sender) const {
  return messagesWhere([&](const ReceivedMessage& m) { return m.mailFrom == sender; });
}

std::vector<ReceivedMessage> SmtpTestServer::messagesWhere(
    const std::function<bool(const ReceivedMessage&)>& envelopeMatches) const {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(mailDir_)) {
    const auto name = e.path().filename().string();
    if (name.size() == 11 && name.ends_with(".json")) files.push_back(e.path());  // NNNNNN.json
  }
  std::sort(files.begin(), files.end());
  std::vector<ReceivedMessage> out;
  std::vector<std::string> parse{BOLETO_SYSTEM_PYTHON, BOLETO_SMTP_TEST_SERVER_SCRIPT, "--parse"};
  for (const auto& f : files) {
    ReceivedMessage m = readEnvelope(f);
    if (!envelopeMatches(m)) continue;
    if (!fs::exists(fs::path(m.raw).replace_extension(".parsed.json"))) parse.push_back(m.raw);
    out.push_back(std::move(m));
  }
  if (parse.size() > 3 && run(parse) != 0)
    throw std::runtime_error("the test SMTP server's parser failed on a received message");
  for (auto& m : out) readContent(m);
  return out;
}

int SmtpTestServer::deadPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(s);
  return ntohs(addr.sin_port);
}

std::string uniqueTag() {
  static std::atomic<int> counter{0};
  // The clock as well: a later test process may be given the same process number.
  return fmt::format("{}-{}-{}", ::getpid(), counter++,
                     std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace host::smtp::testing
