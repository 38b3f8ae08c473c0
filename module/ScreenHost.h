#pragma once
// How a screen reaches the operator: shown modal (returning its modal result), modeless or
// maximised; and the mouse cursor. The desktop implements it with windows; the headless
// implementation serves tests and the command line.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/Screen.h"

namespace rec {

enum class ShowMode { Modal, Modeless, Maximized };
enum class Cursor { Default, Hourglass };

class ScreenHost {
 public:
  virtual ~ScreenHost() = default;
  /// Shows the screen modal; returns its modal result when it closes.
  virtual int showModal(host::ScreenModel& screen) = 0;
  /// Shows the screen modeless (normal or maximised); returns at once.
  virtual void showModeless(host::ScreenModel& screen, bool maximized) = 0;
  virtual void setCursor(Cursor cursor) = 0;
};

/// Shows nothing: a modal show runs the script given for the screen's class (which drives it
/// as an operator would) and returns the modal result the screen was left with, or cancel.
class HeadlessScreenHost final : public ScreenHost {
 public:
  using Script = std::function<void(host::ScreenModel&)>;
  struct Shown {
    std::string className;
    ShowMode mode;
    int result;
  };

  void onModal(const std::string& className, Script script);

  int showModal(host::ScreenModel& screen) override;
  void showModeless(host::ScreenModel& screen, bool maximized) override;
  void setCursor(Cursor cursor) override;

  const std::vector<Shown>& shown() const { return shown_; }
  Cursor cursor() const { return cursor_; }
  const std::vector<Cursor>& cursorHistory() const { return cursors_; }

 private:
  std::map<std::string, Script> scripts_;
  std::vector<Shown> shown_;
  Cursor cursor_ = Cursor::Default;
  std::vector<Cursor> cursors_;
};

/// The installed host's screen host (host/Host.h); a headless one when none is installed.
ScreenHost& screenHost();

}  // namespace rec
