// Whole-run timer: 1,000 complete boletos exported to 1,000 files through the report
// component (template read, parameters, barcode image, data fetch, layout, export engine), on
// as many threads as the machine has cores, in each format asked for (PDF by default; "all"
// for the twelve). Prints, per format, the time and CPU per boleto, the peak memory and the
// mean and largest file.
//
//   report_bench [count] [threads] [output-dir] [formats: pdf | all | txt,csv,...]

#include <fmt/format.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Host.h"
#include "report/Barcode.h"
#include "report/Export.h"
#include "report/Report.h"
#include "report/tests/Fixtures.h"

namespace fs = std::filesystem;

namespace {

double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

std::vector<const report::ExportFormat*> formatsOf(const std::string& list) {
  std::vector<const report::ExportFormat*> out;
  if (list == "all") {
    for (int tag = 0; tag < 12; ++tag) out.push_back(report::exportFormat(tag));
    return out;
  }
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(',', start), list.size());
    const auto* f = report::exportFormatByName(list.substr(start, end - start));
    if (!f) {
      fmt::print(stderr, "report_bench: unknown format {}\n", list.substr(start, end - start));
      std::exit(2);
    }
    out.push_back(f);
    start = end + 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int threads = argc > 2
                          ? std::atoi(argv[2])
                          : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const std::string outDir =
      argc > 3 ? argv[3] : (fs::temp_directory_path() / "report_bench").string();
  const auto formats = formatsOf(argc > 4 ? argv[4] : "pdf");
  host::HostScope host(
      {.context = std::make_shared<host::ConfiguredContext>(host::ContextSettings{}),
       .clock = std::make_shared<host::SystemClock>()});
  const std::string tpl = reporttest::templatePath("MODBOLCOMP.QR2");

  // Boletos of one account, each with its own number, value, due date and barcode.
  report::DataTable boletos = reporttest::sampleBoleto();
  const report::DataTable one = boletos;
  boletos.rows.clear();
  const int fKey = one.fieldIndex("NRLANBOLREC"), fBar = one.fieldIndex("CDBARRAREC"),
            fLine = one.fieldIndex("DSLINHABARREC"), fVal = one.fieldIndex("VRFINALBREC"),
            fDue = one.fieldIndex("DTVENBOLREC");
  std::vector<std::string> barcodes;
  for (int i = 0; i < count; ++i) {
    auto row = one.rows[0];
    const auto due = reporttest::kDue.addDays(i % 60);
    const long long cents = 1000 + 37LL * i;
    const auto codes = reporttest::sampleCodes(due, cents);
    row[static_cast<size_t>(fKey)] = fmt::format("{:010}", i + 1);
    row[static_cast<size_t>(fBar)] = codes.barcode;
    row[static_cast<size_t>(fLine)] = codes.typedLineFmt;
    row[static_cast<size_t>(fVal)] = static_cast<double>(cents) / 100.0;
    row[static_cast<size_t>(fDue)] = due;
    barcodes.push_back(codes.barcode);
    boletos.rows.push_back(std::move(row));
  }

  int exitCode = 0;
  for (const report::ExportFormat* format : formats) {
    fs::remove_all(outDir);
    fs::create_directories(outDir);
    std::atomic<int> next{0};
    std::atomic<int> failures{0};
    const double cpu0 = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back([&] {
        report::MemoryDataSource data;
        data.add("BOLETO", boletos);
        report::ReportPrinter printer(data);
        int current = 0;
        printer.setParameterEvent([&](const std::string& name) -> host::Value {
          if (name == "P_CDFILIAL") return "0001";
          if (name == "P_NRLANBOLREC") return fmt::format("{:010}", current + 1);
          if (name == "DIRBARCODE")
            return report::saveBarcodeImage(host::DirWinTemp(),
                                            barcodes[static_cast<size_t>(current)],
                                            host::DateTime::fromYmdHms(2026, 12, 8, 9, 30, 0));
          return {};
        });
        for (int i; (i = next++) < count;) {
          current = i;
          try {
            auto engine = report::makeExportEngine(
                format->tag, fmt::format("{}/boleto-{:04}.{}", outDir, i, format->name));
            printer.ExportReport(tpl, host::DateTime::fromYmdHms(2026, 1, 2, 3, 4, 5), *engine);
          } catch (const std::exception& e) {
            if (failures++ == 0) fmt::print(stderr, "boleto {}: {}\n", i, e.what());
          }
        }
      });
    }
    for (auto& t : pool) t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpu0;

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    uintmax_t largest = 0, total = 0;
    int files = 0;
    for (const auto& e : fs::directory_iterator(outDir)) {
      largest = std::max(largest, e.file_size());
      total += e.file_size();
      ++files;
    }
    fmt::print(
        "report_bench: {:>5}: {} files on {} threads in {:.3f} s ({:.2f} ms each, CPU {:.2f} ms "
        "each); peak memory {:.1f} MB; largest {:.1f} KB, mean {:.1f} KB; {} failures\n",
        format->name, files, threads, seconds, seconds * 1000 / std::max(1, count),
        cpu * 1000 / std::max(1, count), static_cast<double>(ru.ru_maxrss) / 1024.0,
        static_cast<double>(largest) / 1024.0,
        static_cast<double>(total) / 1024.0 / std::max(1, files), failures.load());
    std::fflush(stdout);
    if (failures.load() != 0 || files != count) exitCode = 1;
  }
  fs::remove_all(outDir);
  return exitCode;
}
