#include "apps/boleto-desk/QtScreenHost.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QVBoxLayout>

#include "host/Screen.h"
#include "ui/ScreenView.h"

namespace desk {

namespace {

/// A modal screen's dialog: the close box and Escape ask the model to close, which it may
/// refuse.
class ScreenDialog final : public QDialog {
 public:
  ScreenDialog(host::ScreenModel& model, QWidget& parent) : QDialog(&parent), model_(model) {
    setWindowTitle(QString::fromStdString(model.caption()));
    view_ = new ui::ScreenView(model, true, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    view_->setOnDone([this] { finish(); });
  }

  void reject() override {
    if (model_.isOpen() && !model_.close()) return;
    finish();
  }

 private:
  void finish() {
    const int result = model_.modalResult();
    QDialog::done(result == host::mrNone ? int{host::mrCancel} : result);
  }

  host::ScreenModel& model_;
  ui::ScreenView* view_;
};

/// A modeless screen's child window: closing it asks the model first.
class ScreenWindow final : public QMdiSubWindow {
 public:
  explicit ScreenWindow(host::ScreenModel& model) : model_(model) {
    setAttribute(Qt::WA_DeleteOnClose);
    auto* view = new ui::ScreenView(model, false, this);
    setWidget(view);
    setWindowTitle(QString::fromStdString(model.caption()));
    view->setOnDone([this] {
      // The model closed itself; the window follows once the input that closed it is over.
      QTimer::singleShot(0, this, [this] { close(); });
    });
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (model_.isOpen() && !model_.close()) {
      event->ignore();
      return;
    }
    // A closed screen may be freed as soon as its creator runs again; its view goes now,
    // not when the window's deferred deletion comes round.
    delete widget();
    QMdiSubWindow::closeEvent(event);
  }

 private:
  host::ScreenModel& model_;
};

}  // namespace

QtScreenHost::QtScreenHost(QMdiArea& workspace, QWidget& parent)
    : workspace_(workspace), parent_(parent) {}

int QtScreenHost::showModal(host::ScreenModel& screen) {
  screen.markShown();
  screen.setModalResult(host::mrNone);
  // The creator's hourglass must not hang over a dialog that waits for the operator.
  const bool hourglass = hourglass_;
  if (hourglass) setCursor(rec::Cursor::Default);
  int result = host::mrCancel;
  {
    ScreenDialog dialog(screen, parent_);
    if (onModalShown_) {
      QTimer::singleShot(0, &dialog, [this, &screen, &dialog] { onModalShown_(screen, dialog); });
    }
    result = dialog.exec();
  }
  if (screen.isOpen()) screen.close();
  if (hourglass) setCursor(rec::Cursor::Hourglass);
  return result;
}

void QtScreenHost::showModeless(host::ScreenModel& screen, bool maximized) {
  screen.markShown();
  QMdiSubWindow* window = windowOf(screen);
  if (window == nullptr) {
    window = new ScreenWindow(screen);
    workspace_.addSubWindow(window);
    children_[&screen] = window;
  }
  if (maximized) {
    window->showMaximized();
  } else {
    window->show();
  }
  workspace_.setActiveSubWindow(window);
}

void QtScreenHost::setCursor(rec::Cursor cursor) {
  const bool on = cursor == rec::Cursor::Hourglass;
  if (on == hourglass_) return;
  hourglass_ = on;
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

QMdiSubWindow* QtScreenHost::windowOf(const host::ScreenModel& screen) const {
  auto it = children_.find(&screen);
  return it == children_.end() ? nullptr : it->second.data();
}

}  // namespace desk
