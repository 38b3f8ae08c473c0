#pragma once
// The screens' dialogs as Qt windows: message boxes, the wait cursor, file and folder
// choosers and pick lists with a search line.

#include <QString>
#include <functional>

#include "host/Dialogs.h"

class QWidget;

namespace ui {

/// "Description|*.ext|Other|*.a;*.b" (the screens' form) as a Qt name filter list
/// ("Description (*.ext);;Other (*.a *.b)"). A trailing description without a pattern is
/// kept as it stands.
QString qtNameFilter(const std::string& filter);

class QtDialogs final : public host::Dialogs {
 public:
  /// `parent` (may be null) centres and owns the windows while they are open.
  explicit QtDialogs(QWidget* parent = nullptr);
  ~QtDialogs() override;
  QtDialogs(const QtDialogs&) = delete;
  QtDialogs& operator=(const QtDialogs&) = delete;

  bool question(const std::string& text, const std::string& caption) override;
  void information(const std::string& text, const std::string& caption) override;
  void error(const std::string& text, const std::string& caption) override;
  int msgAlertEx(const std::string& text, const std::string& caption,
                 const std::vector<std::string>& buttons) override;
  /// Nested: the busy cursor stays until every "on" had its "off".
  void showWait(bool on) override;
  /// Told when the wait starts and when it ends (not at each nested call): the desktop
  /// shows its progress indicator meanwhile.
  void setWaitIndicator(std::function<void(bool busy)> indicator) {
    indicator_ = std::move(indicator);
  }
  std::optional<std::string> selectFolder(const std::string& caption,
                                          const std::string& initial) override;
  std::optional<std::string> saveFile(const std::string& caption, const std::string& filter,
                                      const std::string& defaultExt,
                                      const std::string& initialName) override;
  std::optional<int> pickList(const std::string& caption,
                              const std::vector<std::string>& items) override;
  std::optional<std::vector<int>> pickMany(const std::string& caption,
                                           const std::vector<std::string>& items,
                                           const std::vector<int>& marked) override;

 private:
  QWidget* parent_;
  int waits_ = 0;
  std::function<void(bool)> indicator_;
};

}  // namespace ui
