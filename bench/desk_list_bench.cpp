// The desktop's boleto list over 100,000 rows, offscreen: how long the view takes to show
// the list, to read it again after an operation, to jump to the end, and to page through it
// as an operator holding Page Down does; and how many cells each step formats.

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/ClientDataset.h"
#include "host/DateTime.h"
#include "host/Screen.h"
#include "ui/DatasetTableModel.h"
#include "ui/GridView.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void paint(QTableView& view) {
  view.viewport()->repaint();
  QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;

  host::ScreenModel screen{"TfrmLista", "LST", "Lista"};
  host::GridControl& grid = screen.addGrid("dbgPadrao");
  host::ClientDataset list{"cdsBoletos"};
  list.setFieldDefs({
      {.name = "IDMARCADO", .size = 1},
      {.name = "DTVENBOLREC", .type = host::FieldType::Date, .displayFormat = "dd/mm/yyyy"},
      {.name = "NMRAZSOCCLIE", .size = 40, .displayLabel = "Cliente"},
      {.name = "NRPARCBOLREC", .size = 3, .displayLabel = "Parc."},
      {.name = "VRFINALBREC",
       .type = host::FieldType::Float,
       .displayLabel = "Valor",
       .displayFormat = "#,##0.00"},
      {.name = "IDSTATBREC", .size = 1, .displayLabel = "Status"},
  });
  list.createDataset();
  list.setLogChanges(false);
  const auto due = host::DateTime::fromYmd(2026, 1, 1);
  for (int i = 0; i < rows; ++i) {
    list.append();
    list.fieldByName("IDMARCADO").setString(i % 3 == 0 ? "M" : "");
    list.fieldByName("DTVENBOLREC").setValue(host::Value(due.addDays(i % 365)));
    list.fieldByName("NMRAZSOCCLIE").setString("CLIENTE " + std::to_string(i + 1));
    list.fieldByName("NRPARCBOLREC").setString(std::to_string(i % 12 + 1));
    list.fieldByName("VRFINALBREC").setValue(host::Value(100.0 + (i % 1000) * 1.37));
    list.fieldByName("IDSTATBREC").setString(i % 2 == 0 ? "A" : "E");
    list.post();
  }
  list.first();
  int formatted = 0;
  grid.setColumns({{.field = "IDMARCADO", .width = 16},
                   {.field = "DTVENBOLREC", .title = "Vencimento", .width = 70},
                   {.field = "NMRAZSOCCLIE", .width = 180},
                   {.field = "NRPARCBOLREC", .width = 30},
                   {.field = "VRFINALBREC", .width = 80},
                   {.field = "IDSTATBREC", .width = 60}});
  grid.setDisplayRule("IDSTATBREC", [&formatted](const host::Value& v) {
    ++formatted;
    return v.asString() == "E" ? std::string("Emitido") : std::string("Pendente");
  });
  grid.setDataset(&list);

  QTableView view;
  view.resize(1200, 700);
  auto t0 = Clock::now();
  ui::GridBinding binding(view, grid);
  view.show();
  paint(view);
  const double shown = msSince(t0);
  const int shownCells = formatted;

  formatted = 0;
  t0 = Clock::now();
  binding.refresh();
  paint(view);
  const double refreshed = msSince(t0);
  const int refreshedCells = formatted;

  formatted = 0;
  t0 = Clock::now();
  list.last();
  binding.refresh();
  paint(view);
  const double toEnd = msSince(t0);

  // Page Down from the top, 200 pages, each drawn.
  list.first();
  binding.refresh();
  paint(view);
  formatted = 0;
  t0 = Clock::now();
  const int pages = 200;
  double worst = 0;
  for (int p = 0; p < pages; ++p) {
    const auto p0 = Clock::now();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(&view, &down);
    paint(view);
    worst = std::max(worst, msSince(p0));
  }
  const double paged = msSince(t0);

  std::printf("rows %d\n", rows);
  std::printf("show the list        %8.2f ms  (%d status cells formatted)\n", shown, shownCells);
  std::printf("read it again        %8.2f ms  (%d formatted)\n", refreshed, refreshedCells);
  std::printf("jump to the end      %8.2f ms\n", toEnd);
  std::printf(
      "Page Down x%d       %8.2f ms  (%.2f ms a page, worst %.2f ms; %.1f status cells a page)\n",
      pages, paged, paged / pages, worst, static_cast<double>(formatted) / pages);
  std::printf("current row after paging: %d of %d\n", view.currentIndex().row() + 1, rows);
  return 0;
}
