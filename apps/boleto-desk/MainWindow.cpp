#include "apps/boleto-desk/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>

#include "apps/boleto-desk/Package.h"
#include "apps/boleto-desk/QtScreenHost.h"
#include "apps/boleto-desk/Session.h"
#include "host/Dialogs.h"
#include "host/Host.h"
#include "module/RemoteHostDatabase.h"
#include "ui/QtDialogs.h"

namespace desk {

namespace {

/// A boleto's key as the operator reads it: branch/number.
QString boletoOf(const char* key) {
  const std::string k = key != nullptr ? key : "";
  return QStringLiteral("%1/%2").arg(QString::fromStdString(k.substr(0, 4)),
                                     QString::fromStdString(k.size() > 4 ? k.substr(4) : ""));
}

}  // namespace

MainWindow::MainWindow(Session& session, Package& package)
    : session_(session), package_(package), workspace_(new QMdiArea(this)) {
  setObjectName(QStringLiteral("frmPrincipal"));
  setWindowTitle(QStringLiteral("Contas a Receber - Boletos"));
  workspace_->setObjectName(QStringLiteral("mdiAreaTrabalho"));
  workspace_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  workspace_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(workspace_);
  resize(1280, 800);

  dialogs_ = std::make_shared<ui::QtDialogs>(this);
  dialogs_->setWaitIndicator([this](bool busy) { showBusy(busy); });
  screens_ = std::make_shared<QtScreenHost>(*workspace_, *this);
  // The desktop's own copy of the host layer (the views run parts of it) and the package's.
  host::Host ports = host::installedHost();
  ports.context = session.context();
  ports.dialogs = dialogs_;
  desktopHost_.emplace(ports);
  ports.screens = screens_;
  ports.transport = session.transport();
  // The package's direct queries reach the service the way its calls do.
  ports.database = std::make_shared<rec::RemoteHostDatabase>(session.transport());
  package_.installHost(ports);
  package_.setEmissionProgress(&MainWindow::emissionProgress, this);
  package_.setMailProgress(&MainWindow::mailProgress, this);

  buildMenu();
  buildStatusBar();
}

MainWindow::~MainWindow() {
  package_.setEmissionProgress(nullptr, nullptr);
  package_.setMailProgress(nullptr, nullptr);
}

void MainWindow::buildMenu() {
  auto* file = menuBar()->addMenu(QStringLiteral("&Arquivo"));
  auto* quit = file->addAction(QStringLiteral("Sair"), this, &QWidget::close);
  quit->setObjectName(QStringLiteral("actSair"));
  quit->setShortcut(QKeySequence::Quit);

  auto* boletos = menuBar()->addMenu(QStringLiteral("&Boletos"));
  auto* reg =
      boletos->addAction(QStringLiteral("Cadastro de boletos"), this, &MainWindow::openRegister);
  reg->setObjectName(QStringLiteral("actCadastroBoletos"));
  reg->setShortcut(QKeySequence(QStringLiteral("Ctrl+B")));
  boletos->addAction(QStringLiteral("Diretório de boletos"), this, &MainWindow::openDirectory)
      ->setObjectName(QStringLiteral("actDiretorioBoletos"));
  // The write-off takes the boletos marked in the open register.
  boletos->addAction(QStringLiteral("Baixa por perda"), this, &MainWindow::openLossWriteOff)
      ->setObjectName(QStringLiteral("actBaixaPerda"));

  auto* windows = menuBar()->addMenu(QStringLiteral("&Janela"));
  windows->addAction(QStringLiteral("Cascata"), workspace_, &QMdiArea::cascadeSubWindows);
  windows->addAction(QStringLiteral("Lado a lado"), workspace_, &QMdiArea::tileSubWindows);
  windows->addAction(QStringLiteral("Fechar todas"), workspace_, &QMdiArea::closeAllSubWindows);
}

void MainWindow::buildStatusBar() {
  const Login& who = session_.user();
  const auto context = session_.context();
  const auto add = [this](const QString& text, const char* name) {
    auto* label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    statusBar()->addPermanentWidget(label);
  };
  add(QStringLiteral("Operador: %1").arg(QString::fromStdString(who.operatorCode)), "lblOperador");
  add(QStringLiteral("Empresa: %1").arg(QString::fromStdString(who.company)), "lblEmpresa");
  add(QStringLiteral("Filial: %1").arg(QString::fromStdString(who.branch)), "lblFilial");
  add(QStringLiteral("Data: %1")
          .arg(QString::fromStdString(context->DataProc().format("dd/mm/yyyy"))),
      "lblDataProc");
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("pgbProgresso"));
  progress_->setMaximumWidth(220);
  progress_->setTextVisible(true);
  progress_->hide();
  statusBar()->addWidget(progress_);
}

void MainWindow::showBusy(bool busy) {
  if (busy) {
    progress_->setRange(0, 0);  // no count known yet: the bar runs to and fro
    progress_->show();
  } else {
    progress_->hide();
    statusBar()->clearMessage();
  }
}

void MainWindow::emissionProgress(std::size_t done, std::size_t total, const char* key,
                                  void* self) {
  auto* w = static_cast<MainWindow*>(self);
  w->lastProgress_ = {done, total};
  w->showProgress(done, total, QStringLiteral("Emitindo boleto %1").arg(boletoOf(key)));
}

void MainWindow::mailProgress(std::size_t done, std::size_t total, const char* key, bool sent,
                              void* self) {
  auto* w = static_cast<MainWindow*>(self);
  w->lastMailProgress_ = {done, total};
  w->showProgress(done, total,
                  (sent ? QStringLiteral("Boleto %1 enviado por e-mail")
                        : QStringLiteral("Boleto %1 não enviado"))
                      .arg(boletoOf(key)));
}

void MainWindow::showProgress(std::size_t done, std::size_t total, const QString& message) {
  progress_->setRange(0, static_cast<int>(total));
  progress_->setValue(static_cast<int>(done));
  progress_->setFormat(QStringLiteral("%v de %m"));
  progress_->show();
  statusBar()->showMessage(message);
  // A long run blocks the screen thread: the bar is drawn now, not when the run ends.
  progress_->repaint();
}

void MainWindow::openRegister() {
  package_.IniProc();
}

void MainWindow::openDirectory() {
  const std::string dir = package_.CriaDirBoletos();
  if (!dir.empty()) {
    statusBar()->showMessage(
        QStringLiteral("Diretório de boletos: %1").arg(QString::fromStdString(dir)), 10000);
  }
}

void MainWindow::openLossWriteOff() {
  if (package_.CriaBaixa_Perda(session_.user().company) == 1) {
    statusBar()->showMessage(QStringLiteral("Baixa por perda confirmada."), 10000);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  workspace_->closeAllSubWindows();
  for (const auto* child : workspace_->subWindowList()) {
    if (child->isVisible()) {
      event->ignore();
      return;
    }
  }
  QMainWindow::closeEvent(event);
}

}  // namespace desk
