#include "ui/Binder.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QWidget>
#include <QtGlobal>

#include "host/Dialogs.h"
#include "host/Screen.h"

namespace ui {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

/// Restores a flag however the scope ends: showing may nest when a rule the view triggered
/// changes other controls.
class Flag {
 public:
  explicit Flag(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
  ~Flag() { flag_ = before_; }
  Flag(const Flag&) = delete;
  Flag& operator=(const Flag&) = delete;

 private:
  bool& flag_;
  bool before_;
};

/// The tab widget that shows `page` as one of its tabs, and the tab's position.
std::pair<QTabWidget*, int> tabOf(QWidget& page) {
  for (QWidget* p = page.parentWidget(); p != nullptr; p = p->parentWidget()) {
    if (auto* tabs = qobject_cast<QTabWidget*>(p)) {
      const int i = tabs->indexOf(&page);
      if (i >= 0) return {tabs, i};
    }
  }
  return {nullptr, -1};
}

void showButton(const host::Control& c, QAbstractButton& b) {
  if (!c.caption().empty()) b.setText(q(c.caption()));
  if (!b.isCheckable() || b.isChecked() == c.checked()) return;
  // An exclusive radio button cannot be cleared directly; the model decides which is on.
  const bool exclusive = b.autoExclusive();
  b.setAutoExclusive(false);
  b.setChecked(c.checked());
  b.setAutoExclusive(exclusive);
}

void showCombo(const host::Control& c, QComboBox& combo) {
  QStringList items;
  items.reserve(static_cast<qsizetype>(c.items().size()));
  for (const auto& i : c.items()) items << q(i);
  QStringList shown;
  for (int i = 0; i < combo.count(); ++i) shown << combo.itemText(i);
  if (shown != items) {
    combo.clear();
    combo.addItems(items);
  }
  if (combo.currentIndex() != c.itemIndex()) combo.setCurrentIndex(c.itemIndex());
}

void showPageControl(const host::PageControl& pc, QTabWidget& tabs) {
  const host::Control* active = pc.activePage();
  if (active == nullptr) return;
  for (int i = 0; i < tabs.count(); ++i) {
    if (tabs.widget(i)->objectName() == q(active->name())) {
      if (tabs.currentIndex() != i) tabs.setCurrentIndex(i);
      return;
    }
  }
}

}  // namespace

/// Reports focus entering a bound widget; the model's exit and enter rules decide.
class Binder::FocusWatch final : public QObject {
 public:
  explicit FocusWatch(Binder& binder) : binder_(binder) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusIn && !binder_.showing_) {
      for (const Binding& b : binder_.bindings_) {
        if (b.object == watched) {
          binder_.focusIn(*b.control, *watched);
          break;
        }
      }
    }
    return false;
  }

 private:
  Binder& binder_;
};

Binder::Binder(host::ScreenModel& model, QWidget& root)
    : model_(model),
      context_(std::make_unique<QObject>()),
      focusWatch_(std::make_unique<FocusWatch>(*this)) {
  QList<QObject*> objects = root.findChildren<QObject*>();
  objects.prepend(&root);
  for (QObject* o : objects) {
    if (o->objectName().isEmpty()) continue;
    if (host::Control* c = model.findControl(o->objectName().toStdString())) bind(*c, *o);
  }
}

Binder::~Binder() {
  for (const Binding& b : bindings_) b.control->unobserve(b.observer);
  for (const Binding& b : bindings_) {
    if (b.object) b.object->removeEventFilter(focusWatch_.get());
  }
}

std::vector<std::string> Binder::boundNames() const {
  std::vector<std::string> names;
  names.reserve(bindings_.size());
  for (const Binding& b : bindings_) names.push_back(b.control->name());
  return names;
}

void Binder::refresh() {
  for (const Binding& b : bindings_) {
    if (b.object) show(*b.control, *b.object);
  }
}

void Binder::bind(host::Control& control, QObject& object) {
  QPointer<QObject> target(&object);
  const int id = control.observe([this, target](const host::Control& c) {
    if (target) show(c, *target);
  });
  bindings_.push_back({&control, target, id});
  connectInput(control, object);
  if (object.isWidgetType()) object.installEventFilter(focusWatch_.get());
  show(control, object);
}

void Binder::connectInput(host::Control& control, QObject& object) {
  host::Control* c = &control;
  QObject* o = &object;
  QObject* ctx = context_.get();
  if (auto* action = qobject_cast<QAction*>(o)) {
    QObject::connect(action, &QAction::triggered, ctx, [this, c, o] { input(*c, *o, [c] { c->click(); }); });
  } else if (auto* line = qobject_cast<QLineEdit*>(o)) {
    QObject::connect(line, &QLineEdit::editingFinished, ctx, [this, c, line] {
      const std::string typed = line->text().toStdString();
      if (typed != c->text()) input(*c, *line, [c, typed] { c->type(typed); });
    });
  } else if (auto* combo = qobject_cast<QComboBox*>(o)) {
    QObject::connect(combo, &QComboBox::activated, ctx, [this, c, combo](int index) {
      if (index != c->itemIndex()) input(*c, *combo, [c, index] { c->choose(index); });
    });
  } else if (auto* tabs = qobject_cast<QTabWidget*>(o)) {
    auto* pc = dynamic_cast<host::PageControl*>(c);
    if (pc == nullptr) return;
    QObject::connect(tabs, &QTabWidget::currentChanged, ctx, [this, pc, tabs](int index) {
      if (showing_ || index < 0) return;
      const std::string page = tabs->widget(index)->objectName().toStdString();
      if (pc->isShown(page)) return;
      input(*pc, *tabs, [pc, page] { pc->showPage(page); });
    });
  } else if (auto* button = qobject_cast<QAbstractButton*>(o)) {
    if (qobject_cast<QCheckBox*>(o) != nullptr || qobject_cast<QRadioButton*>(o) != nullptr) {
      QObject::connect(button, &QAbstractButton::clicked, ctx, [this, c, button](bool checked) {
        if (checked != c->checked()) input(*c, *button, [c] { c->toggle(); });
        else show(*c, *button);
      });
    } else {
      QObject::connect(button, &QAbstractButton::clicked, ctx,
                       [this, c, button] { input(*c, *button, [c] { c->click(); }); });
    }
  }
}

void Binder::input(host::Control& control, QObject& object, const std::function<void()>& what) {
  if (showing_) return;
  QPointer<QObject> target(&object);
  try {
    model_.run(what);
  } catch (const std::exception& e) {
    // Nothing may leave a slot through Qt's event loop: a fault is shown, not lost.
    qWarning("%s: %s", control.name().c_str(), e.what());
    try {
      host::dialogs().error(e.what(), model_.caption());
    } catch (const std::exception&) {
    }
  }
  if (target) show(control, *target);
}

void Binder::focusIn(host::Control& control, QObject& object) {
  if (control.focused()) return;
  input(control, object, [&control] { control.setFocus(); });
  if (control.focused()) return;
  // An exit rule refused: the focus goes back where the model keeps it.
  for (const Binding& b : bindings_) {
    if (b.control == model_.focusedControl() && b.object) show(*b.control, *b.object);
  }
}

void Binder::show(const host::Control& c, QObject& o) {
  Flag guard(showing_);
  if (auto* action = qobject_cast<QAction*>(&o)) {
    action->setEnabled(c.enabled());
    action->setVisible(c.visible());
    if (!c.caption().empty()) action->setText(q(c.caption()));
    if (action->isCheckable()) action->setChecked(c.checked());
    return;
  }
  auto* w = qobject_cast<QWidget*>(&o);
  if (w == nullptr) return;

  const auto [tabs, tab] = c.kind() == host::ControlKind::Page ? tabOf(*w) : std::pair<QTabWidget*, int>{};
  if (tabs != nullptr) {
    tabs->setTabEnabled(tab, c.enabled());
    tabs->setTabVisible(tab, c.visible());
    if (!c.caption().empty()) tabs->setTabText(tab, q(c.caption()));
  } else {
    w->setEnabled(c.enabled());
    // A window is shown by whoever opens the screen, never by a binding.
    if (!w->isWindow()) w->setHidden(!c.visible());
  }

  if (auto* line = qobject_cast<QLineEdit*>(w)) {
    line->setReadOnly(c.readOnly());
    if (line->text() != q(c.text())) line->setText(q(c.text()));
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(q(c.caption().empty() ? c.text() : c.caption()));
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    showButton(c, *button);
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    showCombo(c, *combo);
  } else if (auto* tabWidget = qobject_cast<QTabWidget*>(w)) {
    if (const auto* pc = dynamic_cast<const host::PageControl*>(&c)) showPageControl(*pc, *tabWidget);
  }

  if (c.focused() && !w->hasFocus()) w->setFocus();
}

}  // namespace ui
