// The SMTP client at scale: N messages, each with a PDF-sized attachment, sent one
// connection each to the test SMTP server on 127.0.0.1, as the e-mail run sends boletos.
// Timed whole, for a plain connection and for STARTTLS with AUTH.
//
//   smtp_bench [count] [attachment bytes]   (defaults: 1000 messages, 60000 bytes)

#include <fmt/format.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "host/smtp/SmtpClient.h"
#include "host/smtp/testing/SmtpTestServer.h"

using namespace host::smtp;
using host::smtp::testing::SmtpTestServer;

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  const size_t size = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 60000;
  auto& server = SmtpTestServer::shared();

  std::string pdf = "%PDF-1.4\n";
  for (size_t i = 0; pdf.size() < size; ++i) pdf += static_cast<char>(i * 131 % 251);

  for (const auto& [listener, security] :
       {std::pair{"plain", Security::None}, std::pair{"starttls", Security::StartTls}}) {
    ServerSettings s;
    s.host = server.host();
    s.port = server.port(listener);
    s.security = security;
    s.caFile = server.caFile();
    s.user = server.user();
    s.password = server.password();
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
      MailMessage m;
      m.from = {"Contas a receber", "boletos@empresa.example"};
      m.to = {{"", fmt::format("cliente{}@exemplo.example", i)}};
      m.subject = "Envio de Boleto";
      m.text = "Senhores,\nsegue boleto bancário em anexo.";
      m.attachBytes(pdf, fmt::format("CLIENTE_10032026_{}_0001{:010d}.pdf", i, i));
      send(s, {"boletos@empresa.example", {m.to[0].address}}, m);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    fmt::print("{:9}: {} messages of {} bytes in {:.2f} s ({:.1f} ms each)\n", listener, count,
               pdf.size(), seconds, seconds * 1000 / count);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  fmt::print("peak memory of the client: {} MB\n", usage.ru_maxrss / 1024);
  return 0;
}
