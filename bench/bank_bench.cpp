// Whole-run timers of the bank numbering, single thread:
//  1. nosso número + typed line + barcode for 1,000,000 boletos spread over every bank;
//  2. the `boleto check` verification of 1,000,000 typed lines and barcodes.
// Targets: each under 2 s in a Release build on the team machine.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "host/KeyList.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Febraban.h"
#include "host/bank/Template.h"
#include "numbering/Numerador.h"

namespace {

class NoService final : public numbering::NumberingService {
 public:
  std::string GetNossoNumero(const std::string&) override { return "1"; }
  std::vector<numbering::NossoNumeroEmUso> GetValNosNumero(std::string&,
                                                           const std::string&) override {
    return {};
  }
  void SetCodBarra(rpc::SetCodBarra) override { ++stored; }
  numbering::CodigosArmazenados NumeraBoleto(const std::string&, const std::string&,
                                             const std::string&, const std::string&,
                                             const std::string& line, const std::string& barcode,
                                             const std::string& nosso,
                                             const std::string& model) override {
    ++stored;
    return {nosso, barcode, line, model, true};
  }
  numbering::CodigosArmazenados CodigosDoBoleto(const std::string&, const std::string&) override {
    return {};
  }
  std::string GetVdDepIdent(const std::string&, const std::string&) override { return {}; }
  numbering::InfoDepIdent GetInfoDepIdent(const std::string&, std::string&, std::string&) override {
    return {};
  }
  std::string GetSeqDepIdent(std::string&) override { return "1"; }
  long stored = 0;
};

// Wall time and this process's CPU time: on a machine shared with compilers the first
// includes waiting for a core.
struct Timer {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  std::clock_t cpu = std::clock();
  double wallSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  }
  double cpuSeconds() const { return static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC; }
};

}  // namespace

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::stol(argv[1]) : 1000000;
  std::vector<numbering::BankAccountRow> rows;
  for (const auto& code : bank::registeredBanks()) {
    numbering::BankAccountRow r;
    r.CDREDUCONT = "B" + code;
    r.CDBANCO = r.CDBANCCNAB = code;
    r.CDAGENCIA = "1234";
    r.CDCONTCORR = "123456";
    r.CDCEDENTEBAN = "123456";
    r.DSNOSNUMCORR = bank::findBank(code)->defaultTemplate();
    rows.push_back(r);
  }
  host::TKeyList klCarteira;
  klCarteira.Add("00010000000001",
                 std::vector<host::Value>{host::Value("1"), host::Value("123456"),
                                          host::Value(host::DateTime::fromYmd(2026, 12, 20)),
                                          host::Value(1234.56), host::Value(), host::Value(),
                                          host::Value("01"), host::Value("001")});
  NoService service;
  std::vector<numbering::Numerador> numeradores;
  for (const auto& r : rows) numeradores.emplace_back(r, klCarteira, service);

  // 1. What the target names: the nosso número, the typed line and the barcode.
  Timer start;
  size_t checksum = 0;
  const host::DateTime due = host::DateTime::fromYmd(2026, 12, 20);
  for (long i = 0; i < count; ++i) {
    size_t b = static_cast<size_t>(i) % rows.size();
    const auto& r = rows[b];
    std::string seq = std::to_string(i + 1);
    std::string nosso = numeradores[b].Retorna_NossoNumero("0001", "0000000001", "", seq, "1");
    std::string n = bank::Read_MneMonicos(r.DSNOSNUMCORR, r.CDBANCCNAB, r.CDAGENCIA, "1", seq,
                                          r.CDCONTCORR, r.CDCEDENTEBAN);
    std::string line = bank::LinhaDigitavel(r.CDBANCCNAB, r.CDAGENCIA, "1", n, r.CDCONTCORR, due,
                                            1234.56, "", r.CDCEDENTEBAN, "01", "001", "", "");
    checksum += nosso.size() + bank::CodigoBarras(line, 0).size();
  }
  double numbering = start.cpuSeconds();
  std::printf(
      "nosso numero + typed line + barcode: %ld boletos over %zu banks: %.3f s CPU, "
      "%.3f s wall (checksum %zu)\n",
      count, rows.size(), numbering, start.wallSeconds(), checksum);

  // 2. The emission's whole step per boleto: template expansions, typed line, barcode, the
  // number read back, the uniqueness question, the formatted line and the store.
  Timer full;
  for (long i = 0; i < count; ++i) {
    auto& n = numeradores[static_cast<size_t>(i) % numeradores.size()];
    auto codes = n.Gera_CodigodeBarra("0001", "0000000001", std::to_string(i + 1), true,
                                      numbering::Modelo::Completo1);
    checksum += codes ? codes->codigoBarras.size() : 0;
  }
  std::printf(
      "Gera_CodigodeBarra with a stub service: %ld boletos: %.3f s CPU, %.3f s wall "
      "(%ld stored)\n",
      count, full.cpuSeconds(), full.wallSeconds(), service.stored);

  // Lines as `boleto check` reads them: formatted typed lines and bare barcodes, one in ten
  // with a wrong digit.
  std::vector<std::string> distinct;
  for (size_t b = 0; b < rows.size(); ++b)
    for (int s = 1; s <= 50; ++s) {
      std::string line =
          bank::LinhaDigitavel(rows[b].CDBANCCNAB, "1234", "1", std::to_string(s * 31), "123456",
                               due, s * 10.5, "", "123456", "01", "001", "", "");
      if (line.empty()) continue;
      if (s % 10 == 5) line[20] = static_cast<char>('0' + (line[20] - '0' + 1) % 10);
      distinct.push_back(s % 2 ? bank::FormataLinha(line) : bank::CodigoBarras(line, 0));
    }
  std::vector<std::string> input;
  input.reserve(static_cast<size_t>(count));
  for (long i = 0; i < count; ++i)
    input.push_back(distinct[static_cast<size_t>(i) % distinct.size()]);

  host::DateTime today = host::DateTime::fromYmd(2026, 12, 8);
  Timer checkStart;
  long valid = 0;
  for (const auto& text : input) valid += bank::VerificaCodigo(text, today).valid ? 1 : 0;
  double checking = checkStart.cpuSeconds();
  std::printf("check: %ld lines: %.3f s CPU, %.3f s wall (%ld valid)\n", count, checking,
              checkStart.wallSeconds(), valid);
  return numbering < 2.0 && checking < 2.0 ? 0 : 1;
}
