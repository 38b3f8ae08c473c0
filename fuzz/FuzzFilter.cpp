// The dataset filter grammar on any expression: it filters or is refused with
// std::invalid_argument, never a crash; the rows it keeps are rows of the dataset.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "host/ClientDataset.h"

namespace {

host::ClientDataset& dataset() {
  static host::ClientDataset* ds = [] {
    auto* d = new host::ClientDataset("cdsBoletos");
    auto field = [](const char* name, host::FieldType type, int size = 0) {
      host::FieldDef f;
      f.name = name;
      f.type = type;
      f.size = size;
      return f;
    };
    d->setFieldDefs(
        {field("CDFILIAL", host::FieldType::String, 4),
         field("NMCLIENTE", host::FieldType::String, 40), field("VRBOLREC", host::FieldType::Float),
         field("QTPARC", host::FieldType::Integer), field("IDMARCADO", host::FieldType::Boolean),
         field("DTVENBOLREC", host::FieldType::Date)});
    d->createDataset();
    const char* names[] = {"Ana", "D'Ávila", "", "Carla"};
    for (int i = 0; i < 8; ++i) {
      d->append();
      d->field(0).setValue(host::Value(i % 2 ? "0001" : "0002"));
      if (i % 4 != 2) d->field(1).setValue(host::Value(names[i % 4]));
      d->field(2).setValue(host::Value(10.5 * i));
      d->field(3).setValue(host::Value(int64_t{i}));
      d->field(4).setValue(host::Value(i % 3 == 0));
      if (i % 3) d->field(5).setValue(host::Value(host::DateTime::fromYmd(2026, 3, 1 + i)));
      d->post();
    }
    d->mergeChangeLog();
    return d;
  }();
  return *ds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& ds = dataset();
  try {
    ds.setFiltered(false);
    ds.setFilter(std::string(reinterpret_cast<const char*>(data), size));
    ds.setFiltered(true);
    size_t seen = 0;
    for (ds.first(); !ds.eof(); ds.next()) ++seen;
    if (seen > 8) __builtin_trap();
  } catch (const std::invalid_argument&) {
  }
  return 0;
}
