// Client dataset at the register's scale: 100,000 boleto-shaped rows of 40 fields.
//
//   bench_dataset --benchmark_filter=Append      (peak memory: run it under /usr/bin/time -v)
//
// Targets: each benchmark under 1 s per iteration; a 100,000-row dataset under 150 MB.

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "host/ClientDataset.h"

namespace {

using host::ClientDataset;
using host::DateTime;
using host::FieldDef;
using host::FieldType;
using host::Value;

constexpr int kRows = 100000;

FieldDef text(const char* name, int size) {
  return FieldDef{name, FieldType::String, size, {}, {}, {}, false, true, 0};
}
FieldDef typed(const char* name, FieldType t, const char* format = "") {
  return FieldDef{name, t, 0, {}, format, {}, false, true, 0};
}

std::vector<FieldDef> boletoFields() {
  return {text("CDEMPRESA", 2),
          text("CDFILIAL", 4),
          text("NRLANBOLREC", 10),
          text("CDCLIENTE", 8),
          text("NMRAZSOCCLIE", 60),
          text("NRINSJURCLIE", 14),
          text("DSEMAILCLIE", 100),
          text("DSEMAILCLIECOP", 100),
          typed("VRBOLREC", FieldType::Float, "#,##0.00"),
          typed("VRFINALBREC", FieldType::Float, "#,##0.00"),
          typed("VRDESCONTO", FieldType::Float, "#,##0.00"),
          typed("VRMULTA", FieldType::Float, "#,##0.00"),
          typed("VRJUROS", FieldType::Float, "#,##0.00"),
          typed("PEMULTA", FieldType::Float, "#,##0.000"),
          typed("PEMORA", FieldType::Float, "#,##0.000"),
          typed("DTEMISSAO", FieldType::Date, "dd/mm/yyyy"),
          typed("DTVENBOLREC", FieldType::Date, "dd/mm/yyyy"),
          typed("DTPAGAMENTO", FieldType::Date, "dd/mm/yyyy"),
          typed("DTPRORROGA", FieldType::Date, "dd/mm/yyyy"),
          text("IDSTATBREC", 1),
          text("IDSITUCNABR", 1),
          text("IDMARCADO", 1),
          text("IDPROTESTREC", 1),
          typed("NRDIASPROT", FieldType::Integer),
          text("NRPARCBOLREC", 2),
          text("NRORIGBOLREC", 10),
          text("CDBANCO", 3),
          text("CDAGENCIA", 5),
          text("CDCONTCORR", 12),
          text("CDREDUCONT", 3),
          text("CDCARTEIRA", 3),
          text("NRNOSSONUM", 20),
          text("NRCODBARRA", 44),
          text("NRLINHADIG", 54),
          text("DSINSTRUC1", 80),
          text("IDBOLEMITIDO", 1),
          text("CDFILORIG", 4),
          typed("QTIMPRESSAO", FieldType::Integer),
          typed("IDACEITE", FieldType::Boolean),
          typed("TXOBS", FieldType::Memo)};
}

std::string filial(int i) {
  return fmt::format("{:04}", i % 20 + 1);
}
std::string numero(int i) {
  return fmt::format("{:010}", i + 1);
}

/// Appends one row the way a screen fills it: field by field, through the field names.
void appendBoleto(ClientDataset& ds, int i) {
  const DateTime emissao = DateTime::fromYmd(2025, 1, 1).addDays(i % 365);
  ds.append();
  ds.fieldByName("CDEMPRESA").setString("01");
  ds.fieldByName("CDFILIAL").setString(filial(i));
  ds.fieldByName("NRLANBOLREC").setString(numero(i));
  ds.fieldByName("CDCLIENTE").setString(fmt::format("{:08}", i % 5000));
  ds.fieldByName("NMRAZSOCCLIE")
      .setString(fmt::format("Cliente Exemplo Comércio {} Ltda", i % 5000));
  ds.fieldByName("NRINSJURCLIE").setString(fmt::format("{:014}", 11222333000181LL + i % 5000));
  ds.fieldByName("DSEMAILCLIE").setString(fmt::format("financeiro{}@cliente.com.br", i % 5000));
  ds.fieldByName("DSEMAILCLIECOP").setString("");
  ds.fieldByName("VRBOLREC").setFloat(100.0 + i % 1000);
  ds.fieldByName("VRFINALBREC").setFloat(100.0 + i % 1000);
  ds.fieldByName("VRDESCONTO").setFloat(0.0);
  ds.fieldByName("VRMULTA").setFloat(2.0);
  ds.fieldByName("VRJUROS").setFloat(0.33);
  ds.fieldByName("PEMULTA").setFloat(2.0);
  ds.fieldByName("PEMORA").setFloat(0.033);
  ds.fieldByName("DTEMISSAO").setDate(emissao);
  ds.fieldByName("DTVENBOLREC").setDate(emissao.addDays(30));
  ds.fieldByName("IDSTATBREC").setString("A");
  ds.fieldByName("IDSITUCNABR").setString("N");
  ds.fieldByName("IDMARCADO").setString("A");
  ds.fieldByName("IDPROTESTREC").setString("N");
  ds.fieldByName("NRDIASPROT").setValue(Value(int64_t{5}));
  ds.fieldByName("NRPARCBOLREC").setString("01");
  ds.fieldByName("NRORIGBOLREC").setString(numero(i));
  ds.fieldByName("CDBANCO").setString("341");
  ds.fieldByName("CDAGENCIA").setString("01234");
  ds.fieldByName("CDCONTCORR").setString("000000123456");
  ds.fieldByName("CDREDUCONT").setString("001");
  ds.fieldByName("CDCARTEIRA").setString("109");
  ds.fieldByName("NRNOSSONUM").setString(fmt::format("{:08}", i));
  ds.fieldByName("NRCODBARRA").setString(fmt::format("3419{:040}", i));
  ds.fieldByName("NRLINHADIG")
      .setString(fmt::format("34191.09008 {:011} 12345.678901 1 {:014}", i, i));
  ds.fieldByName("DSINSTRUC1")
      .setString("Após o vencimento cobrar multa de 2% e juros de 0,033% ao dia");
  ds.fieldByName("IDBOLEMITIDO").setString("2");
  ds.fieldByName("CDFILORIG").setString(filial(i));
  ds.fieldByName("QTIMPRESSAO").setValue(Value(int64_t{1}));
  ds.fieldByName("IDACEITE").setValue(Value(false));
  ds.post();
}

void build(ClientDataset& ds, int rows) {
  ds.setFieldDefs(boletoFields());
  ds.createDataset();
  for (int i = 0; i < rows; ++i) appendBoleto(ds, i);
  ds.mergeChangeLog();
}

/// One loaded register shared by the benchmarks that only read or restore it.
ClientDataset& shared() {
  static ClientDataset* ds = [] {
    auto* d = new ClientDataset("cdsBoletos");
    build(*d, kRows);
    d->addIndex({"IdxCliVenc", "NMRAZSOCCLIE;DTVENBOLREC", false});
    return d;
  }();
  return *ds;
}

void BM_Append100kRows(benchmark::State& state) {
  for (auto _ : state) {
    ClientDataset ds("cdsBoletos");
    build(ds, kRows);
    benchmark::DoNotOptimize(ds.recordCount());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Append100kRows)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SortByTwoFieldIndex(benchmark::State& state) {
  ClientDataset& ds = shared();
  for (auto _ : state) {
    state.PauseTiming();
    ds.setIndexName("");
    state.ResumeTiming();
    ds.setIndexName("IdxCliVenc");
    benchmark::DoNotOptimize(ds.recNo());
  }
  ds.setIndexName("");
}
BENCHMARK(BM_SortByTwoFieldIndex)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_10kCaseInsensitiveLocates(benchmark::State& state) {
  ClientDataset& ds = shared();
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> pick(0, kRows - 1);
  std::vector<std::vector<Value>> keys;
  for (int i = 0; i < 10000; ++i) {
    const int r = pick(rng);
    keys.push_back({Value(filial(r)), Value(numero(r))});
  }
  for (auto _ : state) {
    state.PauseTiming();
    ds.setIndexFieldNames(
        "");  // a fresh start: the first locates scan, the next ones use sorted keys
    state.ResumeTiming();
    int found = 0;
    for (const auto& k : keys)
      found += ds.locate("CDFILIAL;NRLANBOLREC", k, {.caseInsensitive = true});
    if (found != 10000) state.SkipWithError("a locate missed");
  }
}
BENCHMARK(BM_10kCaseInsensitiveLocates)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DeltaOf1000Edits(benchmark::State& state) {
  ClientDataset& ds = shared();
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < 1000; ++i) {
      ds.setRecNo(static_cast<size_t>(i) * 97 + 1);
      ds.edit();
      ds.fieldByName("VRDESCONTO").setFloat(1.5);
      ds.fieldByName("DTPRORROGA").setDate(DateTime::fromYmd(2025, 6, 30));
      ds.post();
    }
    state.ResumeTiming();
    nlohmann::json delta = ds.delta();
    benchmark::DoNotOptimize(delta);
    state.PauseTiming();
    if (delta["changes"].size() != 1000) state.SkipWithError("the delta misses edits");
    ds.cancelUpdates();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DeltaOf1000Edits)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PacketRoundTrip100kRows(benchmark::State& state) {
  ClientDataset& ds = shared();
  for (auto _ : state) {
    ClientDataset copy("cdsCopia");
    copy.loadPacket(ds.toPacket());
    benchmark::DoNotOptimize(copy.recordCount());
  }
}
BENCHMARK(BM_PacketRoundTrip100kRows)->Unit(benchmark::kMillisecond)->Iterations(3);

// The two halves of the round trip, to see where its time goes.
void BM_ToPacket100kRows(benchmark::State& state) {
  ClientDataset& ds = shared();
  for (auto _ : state) {
    nlohmann::json packet = ds.toPacket();
    benchmark::DoNotOptimize(packet);
    state.PauseTiming();
    packet = nullptr;  // freeing 4 million JSON values is not the dataset's time
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ToPacket100kRows)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadPacket100kRows(benchmark::State& state) {
  const nlohmann::json packet = shared().toPacket();
  for (auto _ : state) {
    ClientDataset copy("cdsCopia");
    copy.loadPacket(packet);
    benchmark::DoNotOptimize(copy.recordCount());
  }
}
BENCHMARK(BM_LoadPacket100kRows)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same round trip through the JSON text that crosses the wire.
void BM_PacketRoundTripThroughText100kRows(benchmark::State& state) {
  ClientDataset& ds = shared();
  for (auto _ : state) {
    const std::string wire = ds.toPacket().dump();
    ClientDataset copy("cdsCopia");
    copy.loadPacket(nlohmann::json::parse(wire));
    benchmark::DoNotOptimize(copy.recordCount());
  }
}
BENCHMARK(BM_PacketRoundTripThroughText100kRows)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
