// The register's e-mail road at scale: N marked boletos of one account, each rendered as its
// PDF and sent in an e-mail of its own to the tests' SMTP server on 127.0.0.1 (no TLS), as
// "Enviar Boleto" with the screen confirmed runs it. Timed whole (from the command to its
// return) and the sending run alone (from confirm to the screen's close), in-process and
// over loopback HTTP, each on a freshly seeded SQLite database. Target: 1,000 e-mails under
// 10 s in-process.
//
//   mail_bench [count] [inprocess|http|both]

#include <fmt/format.h>
#include <stdlib.h>

#include <cstdlib>

#include "bench/BenchRegister.h"
#include "host/smtp/testing/SmtpTestServer.h"
#include "mail/EnvBolMail.h"

namespace {

using host::smtp::testing::SmtpTestServer;

void runOnce(int count, bool http) {
  auto& smtp = SmtpTestServer::shared();
  const std::string sender = "bench-" + host::smtp::testing::uniqueTag() + "@empresa.example";
  const std::string server = smtp.host() + ":" + std::to_string(smtp.port("plain"));
  bench::BenchRegister run(count, http, [&](soci::session& sql) {
    sql << "UPDATE ENDEFILI SET DSEMAILFILI = :m, DSSMTPEMAILF = :s", soci::use(sender),
        soci::use(server);
    // A demo customer without an address would stop the run ("Email_N_Cad") at its boleto.
    sql << "UPDATE CLIENTE SET DSEMAILCLIE = 'cliente' || CDCLIENTE || '@exemplo.example' "
           "WHERE DSEMAILCLIE IS NULL OR DSEMAILCLIE = ''";
  });
  rec::InstalaEnvBolMail();
  const int marked = run.markPending(count);

  std::chrono::steady_clock::time_point confirmed;
  double sending = 0;
  run.screens->onModal("TfrmEnvBolMail", [&](host::ScreenModel& m) {
    confirmed = std::chrono::steady_clock::now();
    m.control("sbtConfirma").click();
    sending = bench::seconds(confirmed);
  });
  size_t sent = 0;
  rec::setMailProgress([&](size_t done, size_t, const std::string&, bool) { sent = done; });
  const auto t0 = std::chrono::steady_clock::now();
  run.reg->run([&] { run.reg->mnuEnviarBoletoClick(); });
  const double took = bench::seconds(t0);
  rec::setMailProgress(nullptr);

  size_t received = 0;
  smtp.messagesWhere([&](const host::smtp::testing::ReceivedMessage& m) {
    received += m.mailFrom == sender;
    return false;
  });
  fmt::print(
      "{:<10} {} boletos marked, {} sent, {} received: {:.2f} s whole ({:.1f} ms per e-mail), "
      "sending run {:.2f} s; peak memory {} MB{}\n",
      http ? "http" : "in-process", marked, sent, received, took,
      took * 1000.0 / std::max(1, marked), sending, bench::peakMemoryMb(),
      run.dialogs->errors ? "; error: " + run.dialogs->last : std::string());
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  const std::string mode = argc > 2 ? argv[2] : "both";
  // The seed seals the branches' mail password with a key of this run only.
  const auto keyDir = std::filesystem::temp_directory_path() /
                      fmt::format("boleto-mail-bench-key-{}", std::random_device{}());
  ::setenv("BOLETO_SECRET_KEY_FILE", (keyDir / "secret.key").c_str(), 1);
  if (mode == "inprocess" || mode == "both") runOnce(count, false);
  if (mode == "http" || mode == "both") runOnce(count, true);
  std::filesystem::remove_all(keyDir);
  return 0;
}
