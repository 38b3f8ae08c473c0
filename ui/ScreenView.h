#pragma once
// One screen on the desktop: the screen class's form, bound to the screen model (controls
// through the binder, grids through their bindings), with the model's pop-up menus popping
// up. The view holds no rule of the screen; it tells its window when the model is done.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace host {
class ScreenModel;
}  // namespace host

namespace ui {

class Binder;
class GridBinding;

class ScreenView final : public QWidget {
 public:
  /// Builds the form of `model`'s class and binds it; `modal` says whether a modal result
  /// ends the screen (a modal one) or only its close does. Throws std::runtime_error naming
  /// the class when it has no form. The model must outlive the view.
  ScreenView(host::ScreenModel& model, bool modal, QWidget* parent = nullptr);
  ~ScreenView() override;
  ScreenView(const ScreenView&) = delete;
  ScreenView& operator=(const ScreenView&) = delete;

  host::ScreenModel& model() const { return model_; }
  QWidget& form() const { return *form_; }

  /// Called once when the model is done: it closed, or (modal) it has a modal result.
  void setOnDone(std::function<void()> done) { onDone_ = std::move(done); }
  bool done() const;

  /// Shows the whole screen again: every control and every grid's rows. Runs after each of
  /// the operator's inputs, since an operation may reload a dataset without a word.
  void refresh();

 private:
  void afterInput();
  void bindMenus();

  host::ScreenModel& model_;
  bool modal_;
  QWidget* form_ = nullptr;  // a child of the view
  std::unique_ptr<Binder> binder_;
  std::vector<QPointer<GridBinding>> grids_;
  std::vector<std::pair<int, std::string>> menuObservers_;
  std::function<void()> onDone_;
  bool reported_ = false;
};

}  // namespace ui
