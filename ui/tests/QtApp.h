#pragma once
// One application object for every test of the views, drawn without a display.

#include <QApplication>
#include <QtGlobal>

namespace ui::test {

inline QApplication& app() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: at exit Qt's own globals may already be gone before a static would go.
  static auto* instance = new QApplication(argc, argv);
  return *instance;
}

}  // namespace ui::test
