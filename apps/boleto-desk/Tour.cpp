#include "apps/boleto-desk/Tour.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <stdexcept>

#include "apps/boleto-desk/MainWindow.h"
#include "apps/boleto-desk/QtScreenHost.h"
#include "host/ClientDataset.h"
#include "host/Screen.h"
#include "ui/DatasetTableModel.h"

namespace desk {

namespace {

void settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

bool waitFor(const std::function<bool()>& ready, int ms = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!ready()) {
    if (clock.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

template <class T>
T& child(QWidget& root, const char* name) {
  auto* w = root.findChild<T*>(QString::fromLatin1(name));
  if (w == nullptr) throw std::runtime_error(std::string("widget ") + name + " not found");
  return *w;
}

void type(QLineEdit& edit, const QString& text) {
  edit.setFocus();
  edit.setText(text);
  emit edit.editingFinished();
}

class Tour {
 public:
  Tour(MainWindow& window, std::filesystem::path dir) : window_(window), dir_(std::move(dir)) {}

  void run() {
    std::filesystem::create_directories(dir_);
    // Questions get their answer as an operator would give it: yes to marking and
    // unmarking every boleto, the escape answer to anything else.
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [] { answerBox(); });
    answerer.start(30);
    window_.screens().setOnModalShown(
        [this](host::ScreenModel& s, QWidget& dialog) { onModal(s, dialog); });

    window_.activateWindow();
    waitFor([this] { return window_.isActiveWindow(); }, 2000);
    window_.openRegister();
    settle();
    QMdiSubWindow* sub = window_.workspace().activeSubWindow();
    if (sub == nullptr) throw std::runtime_error("the register did not open");
    sub->showMaximized();
    QWidget& reg = *sub->widget();
    auto& list = child<QTableView>(reg, "dbgPadrao");
    // Leaving the company panel (its field and search button) opens the filter.
    for (int i = 0; i < 3 && saved_.count("filtro.png") == 0; ++i) {
      QWidget* from = QApplication::focusWidget();
      if (from == nullptr) break;
      QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
      QApplication::sendEvent(from, &tab);
      settle();
    }
    if (!waitFor([&] { return list.model() != nullptr && list.model()->rowCount() > 0; })) {
      throw std::runtime_error("the register listed no boleto");
    }
    clickTitle(list, "IDMARCADO");  // mark all, answered "Sim"
    list.setCurrentIndex(list.model()->index(0, 0));
    save(window_, "cadastro-lista.png");

    // An emitted boleto shows its whole collection data: nosso número, barcode, typed line.
    if (auto* rows = dynamic_cast<ui::DatasetTableModel*>(list.model())) {
      for (int r = 0; r < rows->rowCount(); ++r) {
        if (rows->dataset().valueAt(static_cast<size_t>(r) + 1, "IDSTATBREC").asString() == "E") {
          list.setCurrentIndex(rows->index(r, 1));
          settle();
          break;
        }
      }
    }
    auto& pages = child<QTabWidget>(reg, "pgcPadrao");
    pages.setCurrentWidget(&child<QWidget>(reg, "tshDadosRec"));
    settle();
    save(window_, "cadastro-recebimento.png");
    pages.setCurrentWidget(&child<QWidget>(reg, "tshFolhaDados"));
    settle();

    // One marked boleto: the emission screen opens without a question.
    clickTitle(list, "IDMARCADO");  // unmark all
    list.setFocus();
    list.setCurrentIndex(list.model()->index(0, 0));
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(&list, &space);
    settle();
    child<QPushButton>(reg, "sbtImprimir").click();
    settle();
    auto& emitItem = child<QAction>(reg, "mnuBoleto");
    emitItem.trigger();
    settle();
    if (!saved_.count("emissao.png")) throw std::runtime_error("the emission screen did not open");

    sub->close();
    settle();
  }

 private:
  static void answerBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    const QString text = box->text();
    QAbstractButton* pick = box->escapeButton();
    if (text.contains(QStringLiteral("marcar todos")) ||
        text.contains(QStringLiteral("desmarcar"))) {
      for (auto* b : box->buttons()) {
        if (b->text() == QStringLiteral("Sim")) pick = b;
      }
    }
    if (pick == nullptr && !box->buttons().isEmpty()) pick = box->buttons().first();
    if (pick != nullptr) pick->click();
  }

  void clickTitle(QTableView& list, const char* field) {
    auto* model = dynamic_cast<ui::DatasetTableModel*>(list.model());
    if (model == nullptr) throw std::runtime_error("the list has no rows model");
    for (int c = 0; c < model->columnCount(); ++c) {
      if (model->fieldAt(c) == field) {
        emit list.horizontalHeader()->sectionClicked(c);
        settle();
        return;
      }
    }
    throw std::runtime_error(std::string("the list has no column ") + field);
  }

  void onModal(host::ScreenModel& screen, QWidget& dialog) {
    settle();
    const std::string& cls = screen.className();
    if (cls == "TfrmFiltroHabRec") {
      type(child<QLineEdit>(dialog, "edtDtVencIni"), QStringLiteral("01/01/2000"));
      type(child<QLineEdit>(dialog, "edtDtVencFin"), QStringLiteral("31/12/2099"));
      save(dialog, "filtro.png");
      child<QPushButton>(dialog, "sbtConfirma").click();
    } else if (cls == "TfrmDirBoletos") {
      save(dialog, "diretorio.png");
      child<QPushButton>(dialog, "sbtConfirmar").click();
    } else if (cls == "TfrmImprimeBol") {
      save(dialog, "emissao.png");
      QTimer::singleShot(0, &dialog, [&dialog] { qobject_cast<QDialog*>(&dialog)->reject(); });
    } else {
      QTimer::singleShot(0, &dialog, [&dialog] { qobject_cast<QDialog*>(&dialog)->reject(); });
    }
  }

  void save(QWidget& what, const char* name) {
    settle();
    const auto path = dir_ / name;
    if (!what.grab().save(QString::fromStdString(path.string()))) {
      throw std::runtime_error("could not write " + path.string());
    }
    saved_.insert(name);
    std::printf("boleto-desk: %s\n", path.string().c_str());
  }

  MainWindow& window_;
  std::filesystem::path dir_;
  std::set<std::string> saved_;
};

}  // namespace

int runTour(MainWindow& window, const std::string& dir) {
  try {
    Tour(window, dir).run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "boleto-desk: screenshot tour: %s\n", e.what());
    window.close();
    return 1;
  }
  window.close();
  return 0;
}

}  // namespace desk
