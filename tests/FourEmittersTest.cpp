// Four `boleto emit` runs at once, spread over two boleto-server instances on one PostgreSQL
// database, on two accounts of one bank agreement whose number ranges overlap; one instance
// is killed in the middle. The runs that lose it are run again on the survivor. Then every
// pending boleto is emitted once, no nosso número of the agreement is given twice or skipped,
// and every PDF carries, in its bars and its text, the codes stored for its boleto.

#include <gtest/gtest.h>
#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "host/DateTime.h"
#include "host/bank/Febraban.h"
#include "service/tests/TestStorage.h"
#include "tests/Processes.h"

namespace fs = std::filesystem;

namespace {

struct Server {
  Process process;
  std::string url;
};

Server startServer(const std::string& db, const fs::path& log) {
  Server s;
  s.process =
      spawn({BOLETO_SERVER, "serve", "--db", db, "--listen", "127.0.0.1:0", "--log", log.string()});
  const std::string banner = readLine(s.process.out);
  const auto colon = banner.rfind(':');
  if (colon == std::string::npos) throw std::runtime_error("no banner: " + banner);
  s.url = "http://127.0.0.1:" + std::to_string(std::stoi(banner.substr(colon + 1)));
  return s;
}

std::string run(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

host::DateTime today() {
  return host::SystemClock().now().dateOnly();
}

std::string dayText(int fromToday) {
  return today().addDays(fromToday).format("dd/mm/yyyy");
}

/// One emitter: an account, a due-date range and its own order of the two servers.
struct Emitter {
  std::string account, from, to, servers;
  fs::path dir;
  Process process;
  std::atomic<int> emitted{0};
  std::string output;
  int status = -1;

  void start() {
    process = spawn(
        {BOLETO_CLI, "--server", servers, "--user", "demo", "emit", "--company", "04", "--account",
         account, "--due-from", from, "--due-to", to, "--dir", (dir / "out").string()},
        dir.c_str(), true);
  }
  // Reads the run's progress ("[k/n] boleto ... emitido") until the program ends.
  void follow() {
    for (std::string line;;) {
      char c;
      const ssize_t n = read(process.out, &c, 1);
      if (n != 1) break;
      if (c != '\n') {
        line += c;
        continue;
      }
      if (line.starts_with("[") && line.ends_with("emitido")) ++emitted;
      output += line + "\n";
      line.clear();
    }
    close(process.out);
    status = waitFor(process.pid);
  }
};

/// What the database keeps of a boleto.
struct Stored {
  std::string account, status, number, barcode, line, due;
  double value = 0;
};

std::map<std::string, Stored> boletosOf(soci::session& sql, const std::string& accounts) {
  std::map<std::string, Stored> out;
  soci::rowset<soci::row> rows =
      (sql.prepare << "SELECT CDFILIAL || NRLANBOLREC, CDREDUCONT, IDSTATBREC, "
                      "COALESCE(CDNOSNUMREC, ''), COALESCE(CDBARRAREC, ''), "
                      "COALESCE(DSLINHABARREC, ''), CAST(DTVENBOLREC AS TEXT), "
                      "CAST(VRFINALBREC AS DOUBLE PRECISION) FROM BOLRECEBER WHERE CDEMPRESA = "
                      "'04' AND CDREDUCONT IN (" +
                          accounts + ")");
  for (const auto& r : rows) {
    Stored s{r.get<std::string>(1), r.get<std::string>(2), r.get<std::string>(3),
             r.get<std::string>(4), r.get<std::string>(5), r.get<std::string>(6).substr(0, 10),
             r.get<double>(7)};
    out[r.get<std::string>(0)] = s;
  }
  return out;
}

}  // namespace

TEST(FourEmitters, TwoServersOneKilledEveryNumberOnceAndEveryPdfMatchesItsStoredCodes) {
  if (!service::testing::TestStorage::usingPostgresql())
    GTEST_SKIP() << "two instances share a PostgreSQL database; this suite runs on SQLite";
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("boleto-four-" + std::to_string(rd()));
  fs::create_directories(dir);
  service::testing::TestStorage storage(dir);

  setenv("BOLETO_PASSWORD", "senha-dos-quatro", 1);
  constexpr int kExtra = 120;
  Process seeding = spawn({BOLETO_SERVER, "seed", "--demo", "--boletos", std::to_string(kExtra),
                           "--db", storage.where()});
  readAll(seeding.out);
  ASSERT_EQ(waitFor(seeding.pid), 0);

  // Account 011 is a second register of account 001's agreement (same bank, agency, account
  // and payee code) whose range overlaps 001's; half of 001's pending boletos move to it.
  // The test database's URL is postgresql:///NAME; SOCI takes libpq's key=value form.
  soci::session sql(soci::postgresql,
                    "dbname=" + storage.where().substr(storage.where().rfind('/') + 1));
  sql << "CREATE TEMP TABLE COPIA AS SELECT * FROM CONTCORR WHERE CDEMPRESA = '04' AND "
         "CDREDUCONT = '001'";
  sql << "UPDATE COPIA SET CDREDUCONT = '011', DSCONTCORR = 'Cobrança 237 B', "
         "NRININOSNUMC = '1', NRFIMNOSNUMC = '999999'";
  sql << "INSERT INTO CONTCORR SELECT * FROM COPIA";
  sql << "UPDATE BOLRECEBER SET CDREDUCONT = '011' WHERE CDEMPRESA = '04' AND CDREDUCONT = '001' "
         "AND IDSTATBREC = 'A' AND CAST(NRLANBOLREC AS BIGINT) % 2 = 1";
  const auto before = boletosOf(sql, "'001', '011'");
  std::set<std::string> pending, numberedBefore;
  for (const auto& [key, b] : before) {
    if (b.status == "A") pending.insert(key);
    if (!b.number.empty()) numberedBefore.insert(key);
  }
  ASSERT_GE(pending.size(), static_cast<size_t>(kExtra));

  Server a = startServer(storage.where(), dir / "a.log");
  Server b = startServer(storage.where(), dir / "b.log");
  const std::string ab = a.url + "," + b.url, ba = b.url + "," + a.url;

  // Two emitters per account, one per due-date half; half list A first, half B first.
  Emitter emitters[4];
  for (int i = 0; i < 4; ++i) {
    Emitter& e = emitters[i];
    e.account = i < 2 ? "001" : "011";
    e.from = i % 2 == 0 ? "01/01/1900" : dayText(31);
    e.to = i % 2 == 0 ? dayText(30) : "31/12/2999";
    e.servers = i % 2 == 0 ? ab : ba;
    e.dir = dir / ("e" + std::to_string(i));
    fs::create_directories(e.dir);
  }
  std::vector<std::thread> followers;
  for (auto& e : emitters) {
    e.start();
    followers.emplace_back([&e] { e.follow(); });
  }
  auto total = [&] {
    int n = 0;
    for (const auto& e : emitters) n += e.emitted;
    return n;
  };
  const int third = static_cast<int>(pending.size()) / 3;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  while (total() < third && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const int atKill = total();
  kill(a.process.pid, SIGKILL);
  waitFor(a.process.pid);
  for (auto& t : followers) t.join();
  ASSERT_LT(atKill, static_cast<int>(pending.size())) << "the kill came after the runs ended";

  // A run whose call died with its server stops with an error; run again, it completes on
  // the survivor, whichever server it lists first.
  int rerun = 0;
  for (auto& e : emitters) {
    if (e.status == 0) continue;
    // Only the server's death may stop a run.
    EXPECT_NE(e.output.find("não pode ser alcançado"), std::string::npos) << e.output;
    ++rerun;
    e.emitted = 0;
    e.output += "--- again\n";
    e.start();
    e.follow();
    EXPECT_EQ(e.status, 0) << e.account << " " << e.from << ": " << e.output;
  }
  kill(b.process.pid, SIGTERM);
  EXPECT_EQ(waitFor(b.process.pid), 0);
  close(a.process.out);
  close(b.process.out);

  // Every pending boleto emitted, with valid codes for its value and due date.
  const auto after = boletosOf(sql, "'001', '011'");
  const host::DateTime processing = today();
  for (const auto& key : pending) {
    const Stored& s = after.at(key);
    EXPECT_EQ(s.status, "E") << key;
    const auto bars = bank::VerificaCodigo(s.barcode, processing);
    const auto line = bank::VerificaCodigo(s.line, processing);
    ASSERT_TRUE(bars.valid) << key << " barcode " << s.barcode << ": " << bars.reason;
    ASSERT_TRUE(line.valid) << key << " typed line " << s.line << ": " << line.reason;
    EXPECT_EQ(line.barcode, s.barcode) << key;
    EXPECT_EQ(bars.cents, std::llround(s.value * 100)) << key;
    ASSERT_TRUE(bars.dueDate) << key;
    EXPECT_EQ(bars.dueDate->format("yyyy-mm-dd"), s.due) << key;
  }
  // Numbers stored before the run are kept (a number without a barcode gets the barcode of
  // that number).
  for (const auto& key : numberedBefore) {
    EXPECT_EQ(after.at(key).number, before.at(key).number) << key;
    if (!before.at(key).barcode.empty()) {
      EXPECT_EQ(after.at(key).barcode, before.at(key).barcode) << key;
    }
  }
  // Over the agreement (both accounts) no number twice, and the run's sequences fill the
  // counter's values without a gap: a value is passed over only when a boleto held it.
  std::map<std::string, std::string> holder;
  std::set<int64_t> sequences, held;
  for (const auto& [key, s] : after) {
    if (s.number.empty()) continue;
    EXPECT_TRUE(holder.emplace(s.number, key).second)
        << "nosso número " << s.number << " on " << holder[s.number] << " and " << key;
    const int64_t seq = std::stoll(bank::NossoNumeroCdBarra(s.barcode, "", ""));
    (numberedBefore.count(key) ? held : sequences).insert(seq);
  }
  size_t numberedNow = 0;
  for (const auto& [key, s] : after) numberedNow += !s.number.empty() && !numberedBefore.count(key);
  EXPECT_EQ(sequences.size(), numberedNow) << "a sequence was given twice";
  const int64_t top = sequences.empty() ? 0 : *sequences.rbegin();
  for (int64_t v = 1; v <= top; ++v)
    EXPECT_TRUE(sequences.count(v) || held.count(v)) << "sequence " << v << " skipped";

  // One PDF per pending boleto, whose bars and text carry what is stored for it.
  std::map<std::string, fs::path> pdfs;
  for (const auto& e : emitters)
    for (const auto& f : fs::recursive_directory_iterator(e.dir / "out"))
      if (f.path().extension() == ".pdf") {
        const std::string stem = f.path().stem().string();
        const std::string key = stem.substr(stem.size() - 14);
        EXPECT_TRUE(pdfs.emplace(key, f.path()).second) << key << " printed twice";
      }
  std::set<std::string> printed;
  for (const auto& [key, _] : pdfs) printed.insert(key);
  EXPECT_EQ(printed, pending);
  std::vector<std::pair<std::string, fs::path>> work(pdfs.begin(), pdfs.end());
  std::atomic<size_t> next{0};
  std::mutex failuresMutex;
  std::vector<std::string> failures;
  auto decode = [&](int worker) {
    for (size_t i; (i = next++) < work.size();) {
      const auto& [key, pdf] = work[i];
      const Stored& s = after.at(key);
      const std::string text = run("pdftotext -layout '" + pdf.string() + "' - 2>/dev/null");
      const fs::path png = dir / ("page-" + std::to_string(worker));
      // The bars of the complete model lie in the lower third of the page.
      run("pdftoppm -r 300 -f 1 -l 1 -x 0 -y 2000 -W 2480 -H 900 -png -singlefile '" +
          pdf.string() + "' '" + png.string() + "' 2>/dev/null");
      std::string bars = run("zbarimg --raw -q '" + png.string() + ".png' 2>/dev/null");
      while (!bars.empty() && bars.back() == '\n') bars.pop_back();
      std::string why;
      if (bars != s.barcode) why += " bars [" + bars + "] stored [" + s.barcode + "]";
      if (text.find(s.line) == std::string::npos) why += " typed line " + s.line + " not in text";
      if (text.find(s.number) == std::string::npos) why += " nosso número " + s.number + " not";
      if (!why.empty()) {
        std::lock_guard lock(failuresMutex);
        failures.push_back(key + ":" + why);
      }
    }
  };
  std::thread second(decode, 1);
  decode(0);
  second.join();
  EXPECT_TRUE(failures.empty()) << failures.size() << " PDFs differ, first: " << failures.front();

  std::ifstream logA(dir / "a.log"), logB(dir / "b.log");
  const std::string textA{std::istreambuf_iterator<char>(logA), {}},
      textB{std::istreambuf_iterator<char>(logB), {}};
  EXPECT_NE(textA.find("NumeraBoleto"), std::string::npos) << "server A numbered nothing";
  EXPECT_NE(textB.find("NumeraBoleto"), std::string::npos) << "server B numbered nothing";
  RecordProperty("rerun", rerun);
  unsetenv("BOLETO_PASSWORD");
  fs::remove_all(dir);
}
