#pragma once
// The desktop's main window: the menu that opens the module's screens, the workspace of
// child windows, and a status bar with who works where and the progress of long runs.

#include <QMainWindow>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>

#include "host/Host.h"

class QLabel;
class QMdiArea;
class QProgressBar;

namespace ui {
class QtDialogs;
}  // namespace ui

namespace desk {

class Package;
class QtScreenHost;
class Session;

class MainWindow final : public QMainWindow {
 public:
  /// Hands the package this window's dialogs and screen host and the session's context
  /// and transport. Session and package must outlive the window.
  MainWindow(Session& session, Package& package);
  ~MainWindow() override;

  QMdiArea& workspace() const { return *workspace_; }
  QtScreenHost& screens() const { return *screens_; }
  QProgressBar& progress() const { return *progress_; }
  /// The last emission progress shown: boletos done and the run's size.
  std::pair<std::size_t, std::size_t> lastEmissionProgress() const { return lastProgress_; }
  /// The last e-mail progress shown: boletos sent and the run's size.
  std::pair<std::size_t, std::size_t> lastMailProgress() const { return lastMailProgress_; }

  /// "Cadastro de boletos": the package's IniProc.
  void openRegister();
  /// "Diretório de boletos": the package's boleto directory.
  void openDirectory();
  void openLossWriteOff();

 protected:
  /// Every child window is asked to close first; one that refuses keeps the desktop open.
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenu();
  void buildStatusBar();
  void showBusy(bool busy);
  static void emissionProgress(std::size_t done, std::size_t total, const char* key, void* self);
  static void mailProgress(std::size_t done, std::size_t total, const char* key, bool sent,
                           void* self);
  /// The bar at `done` of `total` with `message` beside it, drawn at once (a run blocks the
  /// screen thread until it ends).
  void showProgress(std::size_t done, std::size_t total, const QString& message);

  Session& session_;
  Package& package_;
  QMdiArea* workspace_;
  QProgressBar* progress_ = nullptr;
  std::shared_ptr<ui::QtDialogs> dialogs_;
  std::shared_ptr<QtScreenHost> screens_;
  std::optional<host::HostScope> desktopHost_;
  std::pair<std::size_t, std::size_t> lastProgress_{0, 0};
  std::pair<std::size_t, std::size_t> lastMailProgress_{0, 0};
};

}  // namespace desk
