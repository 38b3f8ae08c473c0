#pragma once
// Connects a widget tree to a screen model by name: each widget (or action) whose object
// name is a control's name mirrors that control, and the operator's input on it goes to the
// control as the operator's input. The model keeps every rule; the view only shows it.

#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QLineEdit;
class QObject;
class QWidget;

namespace host {
class Control;
class ScreenModel;
}  // namespace host

namespace ui {

/// The Qt input mask of a host edit mask ("!99/99/9999;1;_": picture, whether the literals
/// are stored, blank character), or "" when `hostMask` is not one. Picture characters: '0'
/// required and '9' optional digit, '#' optional digit or sign, 'L'/'l' letter, 'A'/'a'
/// letter or digit, 'C'/'c' any character (upper case required, lower case optional), '>'
/// upper case, '<' lower case, "<>" neither, '\' the next character as it stands; any other
/// character is a literal. The leading '!' (how blanks are trimmed) has no Qt counterpart
/// and is dropped.
QString qtInputMask(std::string_view hostMask);

class Binder {
 public:
  /// Binds every object under `root` (and `root` itself) named after a control of `model`.
  /// Both must outlive the binder; a widget deleted earlier is simply no longer updated.
  Binder(host::ScreenModel& model, QWidget& root);
  ~Binder();
  Binder(const Binder&) = delete;
  Binder& operator=(const Binder&) = delete;

  /// The names of the controls that found a widget, in the order they were bound.
  std::vector<std::string> boundNames() const;
  /// Shows every bound control's state again (after the screen changed state it does not
  /// announce, or a view was rebuilt).
  void refresh();
  /// Runs after every input the binder passed to the model, accepted or refused, once the
  /// control is shown again: the desktop re-reads what the binder does not show (a grid).
  void setAfterInput(std::function<void()> afterInput) { afterInput_ = std::move(afterInput); }

 private:
  struct Binding {
    host::Control* control;
    QPointer<QObject> object;
    int observer;
  };
  class FocusWatch;

  void bind(host::Control& control, QObject& object);
  void connectInput(host::Control& control, QObject& object);
  void show(const host::Control& control, QObject& object);
  /// Runs the operator's input on the model as the screen runs an operation, then shows the
  /// control again: the model may refuse input without announcing anything.
  void input(host::Control& control, QObject& object, const std::function<void()>& what);
  void focusIn(host::Control& control, QObject& object);
  /// A memo's text goes to the model when the operator leaves it.
  void focusOut(host::Control& control, QObject& object);
  /// A line edit's text goes to the model when the operator finished it and it changed.
  void commitLine(host::Control& control, QLineEdit& line);
  /// The text of the bound field that has the focus goes to the model, as if left.
  void commitFocused();

  host::ScreenModel& model_;
  std::vector<Binding> bindings_;
  std::unique_ptr<QObject> context_;  // owns the signal connections
  std::unique_ptr<FocusWatch> focusWatch_;
  bool showing_ = false;  // set while the model's state is written to the view
  bool leaving_ = false;  // set while a field left by the operator hands its text over
  std::function<void()> afterInput_;
};

}  // namespace ui
