// The desktop end to end, offscreen: the login against a seeded service, the register opened
// through the package loaded by name, the filter confirmed, every boleto marked by the
// title click, and the register closed.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "apps/boleto-desk/LoginDialog.h"
#include "apps/boleto-desk/MainWindow.h"
#include "apps/boleto-desk/Package.h"
#include "apps/boleto-desk/QtScreenHost.h"
#include "apps/boleto-desk/Session.h"
#include "host/DateTime.h"
#include "host/Host.h"
#include "host/Screen.h"
#include "host/smtp/testing/SmtpTestServer.h"
#include "service/Seed.h"
#include "service/Service.h"
#include "ui/DatasetTableModel.h"

namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "desk_tests";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Lives until the process ends: the package keeps the desktop's dialogs until it unloads.
  static auto* instance = new QApplication(argc, argv);
  return *instance;
}

/// Clicks the button of the next message box whose text is `text`; fails the test when
/// another box comes first.
void answerNextBox(const QString& text, const QString& button) {
  QTimer::singleShot(20, [text, button] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      answerNextBox(text, button);
      return;
    }
    EXPECT_EQ(box->text().toStdString(), text.toStdString());
    for (auto* b : box->buttons()) {
      if (b->text() == button) {
        b->click();
        return;
      }
    }
    ADD_FAILURE() << "no button " << button.toStdString();
    box->reject();
  });
}

/// Answers every message box while it lives, as the operator would: the button its rule
/// names for a text that contains the rule's words, the box's escape button otherwise; any
/// other modal screen is closed unused. Keeps the texts (and screen titles) shown.
class Operator {
 public:
  Operator() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
    timer_.start(20);
  }
  void on(const QString& words, const QString& button) { rules_.emplace_back(words, button); }
  /// The screen the test itself works in: left open, whenever the timer finds it on top (a
  /// slow machine shows it before the test's own handler has run).
  void leaveOpen(const QString& form) { leaveOpen_ << form; }
  const QStringList& shown() const { return shown_; }

 private:
  void answer() {
    QWidget* modal = QApplication::activeModalWidget();
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) {
      // A screen that marking opens by itself (a customer's credit notes to apply): the
      // operator closes it without applying anything.
      if (auto* screen = qobject_cast<QDialog*>(modal); screen != nullptr && screen->isVisible()) {
        for (const auto& form : leaveOpen_) {
          if (screen->objectName() == form || screen->findChild<QWidget*>(form) != nullptr) return;
        }
        shown_ << screen->windowTitle();
        screen->reject();
      }
      return;
    }
    if (!box->isVisible()) return;
    shown_ << box->text();
    QAbstractButton* pick = box->escapeButton();
    for (const auto& [words, button] : rules_) {
      if (!box->text().contains(words)) continue;
      for (auto* b : box->buttons()) {
        if (b->text() == button) pick = b;
      }
    }
    if (pick == nullptr && !box->buttons().isEmpty()) pick = box->buttons().first();
    if (pick != nullptr) pick->click();
  }

  QTimer timer_;
  std::vector<std::pair<QString, QString>> rules_;
  QStringList leaveOpen_;
  QStringList shown_;
};

class Desk : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    app();
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("boleto-desk-" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    // The day the desktop runs on, as its main installs the machine's clock.
    auto clock =
        std::make_shared<host::FixedClock>(host::DateTime::fromYmdHms(2026, 3, 2, 10, 0, 0));
    clock_ = clock;
    // The key the seed seals the branches' mail password with, and the package opens it with.
    setenv("BOLETO_SECRET_KEY_FILE", (dir_ / "key" / "secret.key").c_str(), 1);
    // The e-mail form keeps each branch's message in the temporary directory: this run's own.
    std::filesystem::create_directories(dir_ / "tmp");
    setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
    host_ = new host::HostScope({.clock = clock});
    {
      auto svc = service::openService((dir_ / "boleto.db").string(), clock);
      service::SeedOptions o;
      o.password = "senha-demo";
      o.today = clock->today();
      service::seed(*svc->db, o);
    }
    package_ = new desk::Package({BOLETO_PACKAGE_BUILD_DIR});
  }
  static void TearDownTestSuite() {
    delete package_;
    delete host_;
    std::filesystem::remove_all(dir_);
  }

  static desk::ServiceOptions options() {
    desk::ServiceOptions o;
    o.db = (dir_ / "boleto.db").string();
    o.context.reportDir = (dir_ / "reports/").string();
    return o;
  }

  /// The demo operator logged in to company 04, branch 0001, and the main window.
  struct LoggedIn {
    desk::Session session{options()};
    bool in = session.login({"demo", "senha-demo", "04", "0001"}).empty();
    desk::MainWindow window{session, *package_};
  };

  /// Logged in, with the register listed and its list at hand.
  struct Listed : LoggedIn {
    QPointer<QMdiSubWindow> sub = in ? openListed(window) : nullptr;
    QTableView* list = sub ? sub->findChild<QTableView*>("dbgPadrao") : nullptr;
  };

  /// The register opened from the menu, its company panel left and the filter confirmed
  /// for every due date, as an operator types it. Null (with failures) when it went wrong.
  static QMdiSubWindow* openListed(desk::MainWindow& window) {
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window, 30000));
    int filters = 0;
    window.screens().setOnModalShown([&](host::ScreenModel& screen, QWidget& dialog) {
      ASSERT_EQ(screen.className(), "TfrmFiltroHabRec");
      ++filters;
      for (auto [name, date] :
           {std::pair{"edtDtVencIni", "01/01/2000"}, {"edtDtVencFin", "31/12/2099"}}) {
        auto* edit = dialog.findChild<QLineEdit*>(name);
        ASSERT_NE(edit, nullptr) << name;
        edit->selectAll();
        QTest::keyClicks(edit, date);
      }
      QTest::mouseClick(dialog.findChild<QPushButton*>("sbtConfirma"), Qt::LeftButton);
    });
    window.findChild<QAction*>("actCadastroBoletos")->trigger();
    QMdiSubWindow* sub = window.workspace().activeSubWindow();
    if (sub == nullptr) {
      ADD_FAILURE() << "the register did not open";
      return nullptr;
    }
    EXPECT_EQ(sub->windowTitle().toStdString(), "Boleto");
    auto* company = sub->findChild<QLineEdit*>("medEmpresa");
    EXPECT_EQ(company->text().toStdString(), "04");
    // Leaving the company panel (its field and search button) opens the filter.
    EXPECT_TRUE(company->hasFocus());
    for (int i = 0; i < 3 && filters == 0; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QApplication::processEvents();
    }
    window.screens().setOnModalShown({});
    EXPECT_EQ(filters, 1);
    return sub;
  }

  static ui::DatasetTableModel& rowsOf(QMdiSubWindow& sub) {
    auto* rows =
        dynamic_cast<ui::DatasetTableModel*>(sub.findChild<QTableView*>("dbgPadrao")->model());
    EXPECT_NE(rows, nullptr);
    return *rows;
  }

  static int columnOf(const ui::DatasetTableModel& rows, const std::string& field) {
    for (int c = 0; c < rows.columnCount(); ++c) {
      if (rows.fieldAt(c) == field) return c;
    }
    return -1;
  }

  /// The desktop's database, opened beside the desktop (to set up and read back).
  static std::shared_ptr<service::Service> database() {
    return service::openService((dir_ / "boleto.db").string(), clock_);
  }

  static inline std::filesystem::path dir_;
  static inline std::shared_ptr<host::FixedClock> clock_;
  static inline desk::Package* package_ = nullptr;
  static inline host::HostScope* host_ = nullptr;
};

TEST_F(Desk, LoginIsCheckedByTheServiceAndARefusalKeepsTheDialogOpen) {
  desk::Session session(options());
  struct Case {
    desk::Login login;
    QString refusal;
  };
  const Case refused[] = {
      {{"demo", "errada", "04", "0001"}, "Operador ou senha inválidos."},
      {{"demo", "senha-demo", "77", "0001"}, "Empresa não cadastrada"},
      {{"demo", "senha-demo", "04", "9999"}, "Filial não cadastrada"},
  };
  for (const auto& c : refused) {
    desk::LoginDialog dialog(session, c.login);
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>("sbtEntrar"), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible()) << c.refusal.toStdString();
    EXPECT_EQ(dialog.refusal().toStdString(), c.refusal.toStdString());
    EXPECT_TRUE(dialog.findChild<QLabel*>("lblRecusa")->isVisible());
  }

  desk::LoginDialog dialog(session, {"demo", "", "4", "1"});
  dialog.show();
  auto* password = dialog.findChild<QLineEdit*>("edtSenha");
  QTest::keyClicks(password, "senha-demo");
  QTest::mouseClick(dialog.findChild<QPushButton*>("sbtEntrar"), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted) << dialog.refusal().toStdString();
  EXPECT_EQ(session.user().company, "04");
  EXPECT_EQ(session.user().branch, "0001");
  EXPECT_EQ(session.context()->Operador(), "demo");
}

TEST_F(Desk, OperatorOpensTheRegisterFiltersMarksEveryBoletoAndCloses) {
  Listed desk;
  ASSERT_TRUE(desk.in);
  ASSERT_NE(desk.sub, nullptr);
  desk::MainWindow& window = desk.window;
  QPointer<QMdiSubWindow> sub = desk.sub;
  auto* list = desk.list;
  auto* rows = &rowsOf(*sub);
  ASSERT_GT(rows->rowCount(), 0) << "the filter found no boleto";

  auto* total = sub->findChild<QLineEdit*>("nedTotal");
  auto* count = sub->findChild<QLineEdit*>("nedCont");
  ASSERT_TRUE(total && count);
  const QString totalBefore = total->text();

  const int markColumn = columnOf(*rows, ui::DatasetTableModel::kMarkField);
  ASSERT_GE(markColumn, 0);
  answerNextBox("Deseja marcar todos os boletos?", "Sim");
  auto* header = list->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(markColumn) + 4, header->height() / 2));
  QApplication::processEvents();

  // Every boleto that may be marked is (the demo data has some that may not).
  int ticked = 0;
  for (int r = 0; r < rows->rowCount(); ++r) {
    ticked += rows->data(rows->index(r, markColumn), Qt::CheckStateRole).toInt() == Qt::Checked;
  }
  EXPECT_GT(ticked, 1);
  EXPECT_EQ(count->text().toStdString(), std::to_string(ticked));
  EXPECT_NE(total->text().toStdString(), totalBefore.toStdString());

  sub->close();
  QApplication::processEvents();
  EXPECT_TRUE(sub.isNull() || !sub->isVisible());
  // Opened again, the register is a new one, with nothing marked.
  window.findChild<QAction*>("actCadastroBoletos")->trigger();
  QMdiSubWindow* again = window.workspace().activeSubWindow();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->findChild<QLineEdit*>("nedCont")->text().toInt(), 0);
  again->close();
}

TEST_F(Desk, MarkedBoletosOfOneAccountAreEmittedAsPdfFilesFromThePrintMenu) {
  Listed desk;
  ASSERT_TRUE(desk.in);
  ASSERT_NE(desk.sub, nullptr);
  desk::MainWindow& window = desk.window;
  QPointer<QMdiSubWindow> sub = desk.sub;
  auto* list = desk.list;
  auto& rows = rowsOf(*sub);
  const int markColumn = columnOf(rows, ui::DatasetTableModel::kMarkField);

  // The operator ticks the pending boletos of account 001 with the space bar (and takes no
  // customer's advance off them), then emits them as PDF files.
  Operator answers;
  answers.on("Deseja emitir os boletos marcados em arquivos PDF?", "Sim");
  std::vector<std::string> keys;
  for (int r = 0; r < rows.rowCount(); ++r) {
    const size_t recNo = static_cast<size_t>(r) + 1;
    const auto& ds = rows.dataset();
    if (ds.valueAt(recNo, "CDREDUCONT").asString().find("001") == std::string::npos) continue;
    if (ds.valueAt(recNo, "IDSTATBREC").asString() == "E") continue;
    list->setCurrentIndex(rows.index(r, markColumn));
    QTest::keyClick(list, Qt::Key_Space);
    ASSERT_EQ(rows.data(rows.index(r, markColumn), Qt::CheckStateRole).toInt(), Qt::Checked) << r;
    keys.push_back(ds.valueAt(recNo, "NRLANBOLREC").asString());
  }
  ASSERT_GE(keys.size(), 2u) << "the demo data should have two pending boletos of account 001";

  // "Imprimir" pops the print menu up; "Emitir Boleto" asks whether to write PDF files.
  QTest::mouseClick(sub->findChild<QPushButton*>("sbtImprimir"), Qt::LeftButton);
  auto* emitItem = sub->findChild<QAction*>("mnuBoleto");
  ASSERT_NE(emitItem, nullptr);
  EXPECT_TRUE(emitItem->isEnabled());
  const QString folder = QString::fromStdString((dir_ / "reports" / "Boletos_Emitidos").string());
  emitItem->trigger();
  QApplication::processEvents();

  ASSERT_FALSE(answers.shown().isEmpty());
  const QString success = answers.shown().back();
  EXPECT_TRUE(answers.shown().contains("Deseja emitir os boletos marcados em arquivos PDF?"));
  EXPECT_TRUE(success.startsWith("Boletos emitidos com sucesso em:")) << success.toStdString();
  EXPECT_TRUE(success.contains(folder)) << success.toStdString();
  size_t pdfs = 0;
  for (const auto& day : std::filesystem::directory_iterator(folder.toStdString())) {
    for (const auto& f : std::filesystem::directory_iterator(day))
      pdfs += f.path().extension() == ".pdf";
  }
  EXPECT_EQ(pdfs, keys.size());
  EXPECT_EQ(window.lastEmissionProgress(), std::make_pair(keys.size(), keys.size()))
      << "the run showed its progress";
  EXPECT_FALSE(window.progress().isVisible()) << "the indicator goes once the run is over";
  // The list was read again: the boletos are emitted and no longer marked.
  for (int r = 0; r < rows.rowCount(); ++r) {
    EXPECT_NE(rows.data(rows.index(r, markColumn), Qt::CheckStateRole).toInt(), Qt::Checked) << r;
  }
  sub->close();
}

TEST_F(Desk, MarkedBoletosAreSentByEmailFromTheRegisterWithTheRunOnTheStatusBar) {
  auto& smtp = host::smtp::testing::SmtpTestServer::shared();
  const std::string sender = "desk-" + host::smtp::testing::uniqueTag() + "@empresa.example";
  {
    auto svc = database();
    const std::string server = smtp.host() + ":" + std::to_string(smtp.port("plain"));
    svc->db->session() << "UPDATE ENDEFILI SET DSEMAILFILI = :m, DSSMTPEMAILF = :s",
        soci::use(sender), soci::use(server);
  }
  Listed desk;
  ASSERT_TRUE(desk.in);
  ASSERT_NE(desk.sub, nullptr);
  QPointer<QMdiSubWindow> sub = desk.sub;
  auto& rows = rowsOf(*sub);
  const int markColumn = columnOf(rows, ui::DatasetTableModel::kMarkField);
  // Marking asks whether to take a customer's advance off: not now.
  Operator answers;
  answers.leaveOpen("TfrmEnvBolMail");
  std::vector<std::string> keys;
  for (int r = 0; r < rows.rowCount(); ++r) {
    const size_t recNo = static_cast<size_t>(r) + 1;
    const auto& ds = rows.dataset();
    if (ds.valueAt(recNo, "CDREDUCONT").asString().find("001") == std::string::npos) continue;
    if (ds.valueAt(recNo, "IDSTATBREC").asString() == "E") continue;
    desk.list->setCurrentIndex(rows.index(r, markColumn));
    QTest::keyClick(desk.list, Qt::Key_Space);
    keys.push_back(ds.valueAt(recNo, "CDFILIAL").asString() +
                   ds.valueAt(recNo, "NRLANBOLREC").asString());
  }
  ASSERT_GE(keys.size(), 2u) << "the demo data should have two pending boletos of account 001";

  // The operator reads the recipients, retypes the subject, adds a line to the message and
  // confirms with Ctrl+Enter while still in the message.
  int shown = 0;
  std::vector<std::string> addresses;
  std::string registration;
  desk.window.screens().setOnModalShown([&](host::ScreenModel& screen, QWidget& dialog) {
    // Whatever fails below, the dialog goes: a test that stops must not hang on it.
    struct Reject {
      QWidget& dialog;
      ~Reject() {
        if (dialog.isVisible()) {
          ADD_FAILURE() << "the e-mail form was still open";
          dialog.close();
        }
      }
    } reject{dialog};
    ASSERT_EQ(screen.className(), "TfrmEnvBolMail");
    ++shown;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog, 30000));
    auto* grid = dialog.findChild<QTableView*>("dbgEnvBolMail");
    ASSERT_NE(grid, nullptr);
    auto* model = grid->model();
    for (int r = 0; r < model->rowCount(); ++r) {
      addresses.push_back(model->index(r, 2).data().toString().toStdString());
      if (r == 0) registration = model->index(r, 0).data().toString().toStdString();
    }
    auto* subject = dialog.findChild<QLineEdit*>("edtAssunto");
    auto* text = dialog.findChild<QPlainTextEdit*>("memConteudo");
    ASSERT_TRUE(subject && text);
    EXPECT_EQ(subject->text().toStdString(), "Envio de Boleto");
    EXPECT_TRUE(text->toPlainText().contains("Contas a receber"));
    subject->setFocus();
    subject->selectAll();
    QTest::keyClicks(subject, QStringLiteral("Boletos de abril"));
    text->setFocus();
    text->moveCursor(QTextCursor::End);
    QTest::keyClicks(text, QStringLiteral("Obrigado."));
    EXPECT_EQ(QApplication::focusWidget(), text) << "the click into the message stays there";
    QTest::keyClick(text, Qt::Key_Return, Qt::ControlModifier);
  });
  const qsizetype boxesBefore = answers.shown().size();
  auto* send = sub->findChild<QAction*>("mnuEnviaBoleto");
  ASSERT_NE(send, nullptr);
  EXPECT_TRUE(send->isEnabled());
  send->trigger();
  QApplication::processEvents();
  desk.window.screens().setOnModalShown({});

  EXPECT_EQ(shown, 1);
  EXPECT_EQ(answers.shown().size(), boxesBefore)
      << "the run showed: " << answers.shown().join("; ").toStdString();
  // One recipient a customer, each with the address its first boleto found.
  EXPECT_GE(addresses.size(), 1u);
  EXPECT_LE(addresses.size(), keys.size());
  for (const auto& a : addresses) EXPECT_NE(a.find('@'), std::string::npos) << a;
  EXPECT_NE(registration.find_first_of("./-"), std::string::npos)
      << "the registration is shown through its mask: " << registration;
  const auto got = smtp.messagesFrom(sender);
  ASSERT_EQ(got.size(), keys.size());
  for (const auto& m : got) {
    EXPECT_EQ(m.header("Subject"), "Boletos de abril");
    EXPECT_NE(m.text().find("Obrigado."), std::string::npos) << m.text();
    EXPECT_FALSE(m.attachments().empty());
  }
  EXPECT_EQ(desk.window.lastMailProgress(), std::make_pair(keys.size(), keys.size()))
      << "the run showed its progress";
  EXPECT_FALSE(desk.window.progress().isVisible()) << "the indicator goes once the run is over";
  auto svc = database();
  for (const auto& key : keys) {
    std::string status;
    const std::string keyBranch = key.substr(0, 4);
    const std::string keyNumber = key.substr(4);
    svc->db->session() << "SELECT IDSTATBREC FROM BOLRECEBER WHERE CDFILIAL = :f AND "
                          "NRLANBOLREC = :n",
        soci::use(keyBranch), soci::use(keyNumber), soci::into(status);
    EXPECT_EQ(status, "E") << key << " recorded as sent";
  }
  sub->close();
}

}  // namespace

TEST_F(Desk, TheLossWriteOffOpensFromTheMenuWithTheTotalOfTheMarkedBoletos) {
  Listed desk;
  ASSERT_TRUE(desk.in);
  ASSERT_NE(desk.sub, nullptr);
  auto& rows = rowsOf(*desk.sub);
  const int markColumn = columnOf(rows, ui::DatasetTableModel::kMarkField);
  std::string shownTotal;
  desk.window.screens().setOnModalShown([&](host::ScreenModel& screen, QWidget& dialog) {
    if (screen.className() == "TfrmPerdas") {
      if (auto* total = dialog.findChild<QLineEdit*>("nedVrBaixa")) {
        shownTotal = total->text().toStdString();
      }
    }
    // Closed unused: the write-off, and the credit-note screen marking may open.
    if (auto* d = qobject_cast<QDialog*>(&dialog)) QTimer::singleShot(0, d, &QDialog::reject);
  });
  Operator answers;
  int marked = 0;
  for (int r = 0; r < rows.rowCount() && marked < 2; ++r) {
    if (rows.dataset().valueAt(static_cast<size_t>(r) + 1, "IDSTATBREC").asString() != "A") {
      continue;
    }
    desk.list->setCurrentIndex(rows.index(r, markColumn));
    QTest::keyClick(desk.list, Qt::Key_Space);
    ++marked;
  }
  ASSERT_EQ(marked, 2);
  const std::string registerTotal =
      desk.sub->findChild<QLineEdit*>("nedTotal")->text().toStdString();
  desk.window.findChild<QAction*>("actBaixaPerda")->trigger();
  EXPECT_EQ(shownTotal, registerTotal);
  EXPECT_NE(shownTotal, "0,00");
}

TEST_F(Desk, MarkedBoletosAreGeneratedAsATextFileFromThePrintMenu) {
  Listed desk;
  ASSERT_TRUE(desk.in);
  ASSERT_NE(desk.sub, nullptr);
  QPointer<QMdiSubWindow> sub = desk.sub;
  auto* list = desk.list;
  auto& rows = rowsOf(*sub);
  const int markColumn = columnOf(rows, ui::DatasetTableModel::kMarkField);

  // Marking asks about a customer's advances and may open the credit notes to apply: not now.
  // The same operator answers the generation's closing message.
  Operator answers;
  answers.leaveOpen("TfrmEditaBoleto");
  answers.on("Exportação realizada com sucesso.", "OK");
  // The pending boletos of the first account that has any, ticked with the space bar.
  std::string account;
  size_t ticked = 0;
  for (int r = 0; r < rows.rowCount(); ++r) {
    const size_t recNo = static_cast<size_t>(r) + 1;
    const auto& ds = rows.dataset();
    const std::string mine = ds.valueAt(recNo, "CDREDUCONT").asString();
    if (mine.empty() || ds.valueAt(recNo, "IDSTATBREC").asString() == "E") continue;
    if (!ds.valueAt(recNo, "NRORIGBOLREC").asString().empty()) continue;
    if (account.empty()) account = mine;
    if (mine != account) continue;
    list->setCurrentIndex(rows.index(r, markColumn));
    QTest::keyClick(list, Qt::Key_Space);
    ticked += rows.data(rows.index(r, markColumn), Qt::CheckStateRole).toInt() == Qt::Checked;
  }
  ASSERT_GT(ticked, 0u) << "the demo data should have a pending boleto";

  const auto out = dir_ / ("gerados-" + std::to_string(ticked));
  std::filesystem::create_directories(out);
  bool shown = false;
  desk.window.screens().setOnModalShown([&](host::ScreenModel& screen, QWidget& dialog) {
    // Whatever fails below, the dialog goes: a test that stops must not hang on it.
    struct Reject {
      QWidget& dialog;
      ~Reject() {
        if (dialog.isVisible()) {
          ADD_FAILURE() << "the generation screen was still open";
          dialog.close();
        }
      }
    } reject{dialog};
    ASSERT_EQ(screen.className(), "TfrmEditaBoleto");
    shown = true;
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Gerar Boleto (txt)");
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog, 30000));
    auto* dirEdit = dialog.findChild<QLineEdit*>("edtDiretorio");
    ASSERT_NE(dirEdit, nullptr);
    dirEdit->setFocus();
    dirEdit->selectAll();
    QTest::keyClicks(dirEdit, QString::fromStdString(out.string()));
    QTest::keyClick(dirEdit, Qt::Key_Tab);
    QTest::mouseClick(dialog.findChild<QPushButton*>("sbtExportar"), Qt::LeftButton);
  });
  QTest::mouseClick(sub->findChild<QPushButton*>("sbtImprimir"), Qt::LeftButton);
  auto* item = sub->findChild<QAction*>("mnuGeraBoletoTxt");
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->isEnabled());
  item->trigger();
  QApplication::processEvents();
  desk.window.screens().setOnModalShown({});
  EXPECT_TRUE(shown);

  std::vector<std::filesystem::path> files;
  for (const auto& f : std::filesystem::directory_iterator(out)) files.push_back(f.path());
  ASSERT_EQ(files.size(), 1u) << "the run showed: " << answers.shown().join("; ").toStdString();
  EXPECT_EQ(files[0].extension(), ".txt");
  EXPECT_GT(std::filesystem::file_size(files[0]), 0u);
  // Generated: nothing stays marked and the list shows them emitted.
  for (int r = 0; r < rows.rowCount(); ++r)
    EXPECT_NE(rows.data(rows.index(r, markColumn), Qt::CheckStateRole).toInt(), Qt::Checked) << r;
  EXPECT_EQ(sub->findChild<QLineEdit*>("nedCont")->text().toInt(), 0);
  sub->close();
}

TEST_F(Desk, CollectionLettersAreWrittenFromTheEmailMenuOnTheProcessingDate) {
  // A processing date on which the demo's open boletos are overdue.
  desk::ServiceOptions o = options();
  o.context.processingDate = host::DateTime::fromYmd(2027, 6, 1);
  desk::Session session{o};
  ASSERT_TRUE(session.login({"demo", "senha-demo", "04", "0001"}).empty());
  desk::MainWindow window{session, *package_};
  QPointer<QMdiSubWindow> sub = openListed(window);
  ASSERT_NE(sub, nullptr);

  Operator answers;
  QTest::mouseClick(sub->findChild<QPushButton*>("sbtEmail"), Qt::LeftButton);
  auto* item = sub->findChild<QAction*>("mnuEnviaNota");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text().toStdString(), "Enviar Carta de Cobrança");
  ASSERT_TRUE(item->isEnabled());
  item->trigger();
  QTest::qWait(200);  // the operator's timer answers the closing message

  const auto letters = dir_ / "reports" / "Cartas_Cobranca" / "2027-06-01";
  ASSERT_TRUE(std::filesystem::is_directory(letters))
      << "the run showed: " << answers.shown().join("; ").toStdString();
  size_t n = 0;
  for (const auto& f : std::filesystem::directory_iterator(letters)) {
    ++n;
    EXPECT_EQ(f.path().extension(), ".txt");
  }
  EXPECT_GT(n, 0u);
  EXPECT_TRUE(answers.shown().join("\n").contains(
      QString::fromStdString(std::to_string(n) + " carta(s) de cobrança gravada(s)")))
      << answers.shown().join("; ").toStdString();
  sub->close();
}
