#include "module/ScreenHost.h"

#include "host/Host.h"

namespace rec {

void HeadlessScreenHost::onModal(const std::string& className, Script script) {
  scripts_[className] = std::move(script);
}

int HeadlessScreenHost::showModal(host::ScreenModel& screen) {
  screen.markShown();
  screen.setModalResult(host::mrNone);
  if (auto it = scripts_.find(screen.className()); it != scripts_.end()) it->second(screen);
  // A modal screen that nobody answered was closed by the window's close box.
  int result = screen.modalResult() == host::mrNone ? int{host::mrCancel} : screen.modalResult();
  if (screen.isOpen()) screen.close();
  shown_.push_back({screen.className(), ShowMode::Modal, result});
  return result;
}

void HeadlessScreenHost::showModeless(host::ScreenModel& screen, bool maximized) {
  screen.markShown();
  shown_.push_back(
      {screen.className(), maximized ? ShowMode::Maximized : ShowMode::Modeless, host::mrNone});
}

void HeadlessScreenHost::setCursor(Cursor cursor) {
  cursor_ = cursor;
  cursors_.push_back(cursor);
}

ScreenHost& screenHost() {
  // The installed host keeps the one it names alive.
  if (const auto installed = host::installedHost().screens) return *installed;
  static HeadlessScreenHost headless;
  return headless;
}

}  // namespace rec
