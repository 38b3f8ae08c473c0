#pragma once
// The widget trees of the screens, drawn in Qt Designer (forms/<ClassName>.ui) and compiled
// with uic. Each widget carries the name of the control it shows, so a `ui::Binder` over the
// form and the screen model connects them; layout helpers are named "ui..." and never match.

#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace ui {

/// The form of a screen class, built from its Designer file; null for a class without one.
std::unique_ptr<QWidget> createForm(const std::string& className);

/// The screen classes that have a form.
std::vector<std::string> formClasses();

}  // namespace ui
