#pragma once
// Connects a widget tree to a screen model by name: each widget (or action) whose object
// name is a control's name mirrors that control, and the operator's input on it goes to the
// control as the operator's input. The model keeps every rule; the view only shows it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>

class QObject;
class QWidget;

namespace host {
class Control;
class ScreenModel;
}  // namespace host

namespace ui {

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

  host::ScreenModel& model_;
  std::vector<Binding> bindings_;
  std::unique_ptr<QObject> context_;  // owns the signal connections
  std::unique_ptr<FocusWatch> focusWatch_;
  bool showing_ = false;  // set while the model's state is written to the view
};

}  // namespace ui
