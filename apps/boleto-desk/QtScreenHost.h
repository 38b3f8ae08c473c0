#pragma once
// The package's screens as windows: a modal screen in a dialog of its own (the call
// returns when the screen is done), a modeless one as a child window of the workspace.

#include <QPointer>
#include <functional>
#include <map>

#include "module/ScreenHost.h"

class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace desk {

class QtScreenHost final : public rec::ScreenHost {
 public:
  /// Modeless screens become child windows of `workspace`; modal dialogs are centred on
  /// `parent`. Both must outlive the screens shown.
  QtScreenHost(QMdiArea& workspace, QWidget& parent);

  int showModal(host::ScreenModel& screen) override;
  /// Shows the screen's window, or brings it forward when the screen is already shown (a
  /// screen created once is shown again by each call of its creator).
  void showModeless(host::ScreenModel& screen, bool maximized) override;
  void setCursor(rec::Cursor cursor) override;

  /// The child window of a modeless screen while it is shown, else null.
  QMdiSubWindow* windowOf(const host::ScreenModel& screen) const;
  /// Told each time a modal screen's dialog is shown (tests and the screenshot tour).
  void setOnModalShown(std::function<void(host::ScreenModel&, QWidget&)> f) {
    onModalShown_ = std::move(f);
  }

 private:
  QMdiArea& workspace_;
  QWidget& parent_;
  std::map<const host::ScreenModel*, QPointer<QMdiSubWindow>> children_;
  std::function<void(host::ScreenModel&, QWidget&)> onModalShown_;
  bool hourglass_ = false;
};

}  // namespace desk
