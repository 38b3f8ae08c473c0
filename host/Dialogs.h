#pragma once
// The dialogs a screen may open. The desktop answers them with real windows, the command
// line with its flags, and tests with a script (see ScriptedDialogs).

#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace host {

/// The button results of `MsgAlertEx`: the first button gives 10, the second 11, and so on.
constexpr int kMsgAlertFirstButton = 10;

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  /// A yes/no question ("Sim"/"Não"); true for yes.
  virtual bool question(const std::string& text, const std::string& caption) = 0;
  virtual void information(const std::string& text, const std::string& caption) = 0;
  virtual void error(const std::string& text, const std::string& caption) = 0;
  /// A dialog with the given buttons; returns kMsgAlertFirstButton + the button's position.
  virtual int msgAlertEx(const std::string& text, const std::string& caption,
                         const std::vector<std::string>& buttons) = 0;
  /// The wait animation (the host's ActiveShowAvi / DeactiveShowAvi).
  virtual void showWait(bool on) = 0;
  /// A folder chosen by the operator; nothing when cancelled.
  virtual std::optional<std::string> selectFolder(const std::string& caption,
                                                  const std::string& initial) = 0;
  /// A file name to save to. `filter` is "Description|*.ext|..." as the screens give it;
  /// `defaultExt` is added to a name typed without extension. Nothing when cancelled.
  virtual std::optional<std::string> saveFile(const std::string& caption, const std::string& filter,
                                              const std::string& defaultExt,
                                              const std::string& initialName) = 0;
  /// One of `items` chosen by position; nothing when cancelled.
  virtual std::optional<int> pickList(const std::string& caption,
                                      const std::vector<std::string>& items) = 0;
  /// Several of `items` chosen by position (the multi-selection search); `marked` are the
  /// positions ticked when it opens. Nothing when cancelled.
  virtual std::optional<std::vector<int>> pickMany(const std::string& caption,
                                                   const std::vector<std::string>& items,
                                                   const std::vector<int>& marked) = 0;
};

/// A test double answering from a queue. Each expectation names the kind of dialog and a
/// fragment of its text; a dialog that was not expected, or whose text does not contain the
/// fragment, throws UnexpectedDialog so the test fails where it happened.
class ScriptedDialogs final : public Dialogs {
 public:
  enum class Kind { Question, Information, Error, MsgAlert, Folder, Save, Pick, PickMany };

  struct Shown {
    Kind kind;
    std::string text;
    std::string caption;
  };

  ScriptedDialogs& expectQuestion(std::string textFragment, bool answer);
  ScriptedDialogs& expectInformation(std::string textFragment);
  ScriptedDialogs& expectError(std::string textFragment);
  ScriptedDialogs& expectMsgAlert(std::string textFragment, int result);
  ScriptedDialogs& expectFolder(std::optional<std::string> answer);
  ScriptedDialogs& expectSave(std::optional<std::string> answer);
  ScriptedDialogs& expectPick(std::optional<int> answer);
  /// A multi-selection answered with the positions given (nothing: cancelled).
  ScriptedDialogs& expectPickMany(std::optional<std::vector<int>> answer);

  bool question(const std::string& text, const std::string& caption) override;
  void information(const std::string& text, const std::string& caption) override;
  void error(const std::string& text, const std::string& caption) override;
  int msgAlertEx(const std::string& text, const std::string& caption,
                 const std::vector<std::string>& buttons) override;
  void showWait(bool on) override;
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
  /// The items offered by the last pick dialog, as the operator saw them.
  const std::vector<std::string>& lastPickItems() const { return lastItems_; }

  /// Expectations not yet consumed.
  size_t pending() const { return script_.size(); }
  /// Every dialog shown, in order.
  const std::vector<Shown>& shown() const { return shown_; }
  bool waitShown() const { return waitOn_; }
  int waitToggles() const { return waitToggles_; }

 private:
  struct Step {
    Kind kind;
    std::string fragment;
    bool answer = false;
    int result = 0;
    std::optional<std::string> path;
    std::optional<int> pick;
    std::optional<std::vector<int>> picks;
  };
  Step take(Kind kind, const std::string& text, const std::string& caption);

  std::deque<Step> script_;
  std::vector<Shown> shown_;
  std::vector<std::string> lastItems_;
  bool waitOn_ = false;
  int waitToggles_ = 0;
};

/// Thrown by ScriptedDialogs on a dialog the script did not expect.
class UnexpectedDialog : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

const char* dialogKindName(ScriptedDialogs::Kind k);

/// The process's dialogs. Throws InvariantError when none were installed.
Dialogs& dialogs();

/// The host's wait animation, on and off.
inline void ActiveShowAvi() {
  dialogs().showWait(true);
}
inline void DeactiveShowAvi() {
  dialogs().showWait(false);
}

/// Keeps the wait animation on for a scope, and off again however the scope ends.
class WaitAnimation {
 public:
  WaitAnimation() { ActiveShowAvi(); }
  ~WaitAnimation() { DeactiveShowAvi(); }
  WaitAnimation(const WaitAnimation&) = delete;
  WaitAnimation& operator=(const WaitAnimation&) = delete;
};

}  // namespace host
