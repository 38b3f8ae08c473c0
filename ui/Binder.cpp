#include "ui/Binder.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QWidget>
#include <QtGlobal>
#include <string_view>
#include <vector>

#include "host/Dialogs.h"
#include "host/ScopedFlag.h"
#include "host/Screen.h"

namespace ui {

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

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

/// A radio control with items shown in a plain widget: one radio button per item, made
/// here since the items are the model's.
bool isRadioGroup(const host::Control& c, const QObject& o) {
  return c.kind() == host::ControlKind::Radio && o.isWidgetType() &&
         qobject_cast<const QAbstractButton*>(&o) == nullptr;
}

QButtonGroup& radioButtons(QWidget& group) {
  if (auto* existing =
          group.findChild<QButtonGroup*>(QStringLiteral("uiItens"), Qt::FindDirectChildrenOnly)) {
    return *existing;
  }
  auto* buttons = new QButtonGroup(&group);
  buttons->setObjectName(QStringLiteral("uiItens"));
  if (group.layout() == nullptr) {
    auto* row = new QHBoxLayout(&group);
    row->setContentsMargins(0, 0, 0, 0);
  }
  return *buttons;
}

void showRadioGroup(const host::Control& c, QWidget& group) {
  QButtonGroup& buttons = radioButtons(group);
  QStringList shown;
  for (auto* b : buttons.buttons()) shown << b->text();
  QStringList items;
  for (const auto& i : c.items()) items << q(i);
  if (shown != items) {
    for (auto* b : buttons.buttons()) delete b;
    for (int i = 0; i < items.size(); ++i) {
      auto* b = new QRadioButton(items[i], &group);
      buttons.addButton(b, i);
      group.layout()->addWidget(b);
    }
  }
  // No item chosen shows no button on: the group is not exclusive while it clears them.
  buttons.setExclusive(false);
  for (auto* b : buttons.buttons()) b->setChecked(buttons.id(b) == c.itemIndex());
  buttons.setExclusive(true);
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

/// A host edit mask as a line edit applies it: the Qt mask, and which positions of the text
/// shown are literals.
struct EditMask {
  QString qt;  // "" when the caption is no mask
  std::vector<bool> literal;
  bool saveLiterals = true;
  QChar blank = QLatin1Char(' ');
};

EditMask editMask(std::string_view hostMask) {
  EditMask m;
  const size_t n = hostMask.size();
  // "picture;1;_": the flag and the blank are one character each.
  if (n < 5 || hostMask[n - 2] != ';' || hostMask[n - 4] != ';' ||
      (hostMask[n - 3] != '0' && hostMask[n - 3] != '1') ||
      static_cast<unsigned char>(hostMask[n - 1]) >= 0x80) {
    return m;
  }
  m.saveLiterals = hostMask[n - 3] == '1';
  m.blank = QLatin1Char(hostMask[n - 1]);
  const QString picture = QString::fromUtf8(hostMask.data(), static_cast<qsizetype>(n - 4));
  QString qt;
  const auto literal = [&](QChar c) {
    // Qt reads these as mask characters.
    if (QStringLiteral("AaNnXx90Dd#HhBb<>!\\[]{}").contains(c)) qt += QLatin1Char('\\');
    qt += c;
    m.literal.push_back(true);
  };
  const auto input = [&](char c) {
    qt += QLatin1Char(c);
    m.literal.push_back(false);
  };
  for (qsizetype i = 0; i < picture.size(); ++i) {
    const char16_t c = picture.at(i).unicode();
    const char16_t next = i + 1 < picture.size() ? picture.at(i + 1).unicode() : u'\0';
    switch (c) {
      case u'!':
        break;
      case u'>':
      case u'<':
        if (next == (c == u'>' ? u'<' : u'>')) {
          qt += QLatin1Char('!');
          ++i;
        } else {
          qt += QChar(c);
        }
        break;
      case u'\\':
        if (i + 1 < picture.size()) literal(picture.at(++i));
        break;
      case u'0':
        input('9');
        break;
      case u'9':
        input('0');
        break;
      case u'#':
        input('#');
        break;
      case u'L':
        input('A');
        break;
      case u'l':
        input('a');
        break;
      case u'A':
        input('N');
        break;
      case u'a':
        input('n');
        break;
      case u'C':
        input('X');
        break;
      case u'c':
        input('x');
        break;
      default:
        literal(picture.at(i));
    }
  }
  m.qt = qt + QLatin1Char(';') + m.blank;
  return m;
}

/// The text a line edit gives the model: as the operator typed it, or under a mask the
/// characters typed, with the literals when the mask stores them; "" when nothing was typed
/// (a blank date is no date, not "//").
std::string lineText(const QLineEdit& line, const EditMask& mask) {
  if (mask.qt.isEmpty() || line.inputMask().isEmpty()) return line.text().toStdString();
  const QString shown = line.displayText();
  QString out;
  bool typed = false;
  for (qsizetype i = 0; i < shown.size() && static_cast<size_t>(i) < mask.literal.size(); ++i) {
    if (mask.literal[static_cast<size_t>(i)]) {
      if (mask.saveLiterals) out += shown.at(i);
    } else if (shown.at(i) != mask.blank) {
      typed = true;
      out += shown.at(i);
    }
  }
  return typed ? out.toStdString() : std::string();
}

EditMask editMaskOf(const host::Control& c) {
  return c.kind() == host::ControlKind::Edit ? editMask(c.caption()) : EditMask{};
}

}  // namespace

QString qtInputMask(std::string_view hostMask) {
  return editMask(hostMask).qt;
}

/// Reports focus entering a bound widget; the model's exit and enter rules decide.
class Binder::FocusWatch final : public QObject {
 public:
  explicit FocusWatch(Binder& binder) : binder_(binder) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool in = event->type() == QEvent::FocusIn;
    if ((in || event->type() == QEvent::FocusOut) && !binder_.showing_) {
      for (const Binding& b : binder_.bindings_) {
        if (b.object == watched) {
          if (in)
            binder_.focusIn(*b.control, *watched);
          else
            binder_.focusOut(*b.control, *watched);
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
    QObject::connect(action, &QAction::triggered, ctx, [this, c, o] {
      // A shortcut fires while the operator is still in a field: what was typed there goes to
      // the model first, as leaving the field would have sent it.
      commitFocused();
      input(*c, *o, [c] { c->click(); });
    });
  } else if (auto* line = qobject_cast<QLineEdit*>(o)) {
    QObject::connect(line, &QLineEdit::editingFinished, ctx, [this, c, line] {
      // Finished by leaving: the focus is on its way elsewhere and must not be pulled back.
      host::ScopedFlag leaving(leaving_, !line->hasFocus());
      commitLine(*c, *line);
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
  } else if (isRadioGroup(control, object)) {
    auto* group = qobject_cast<QWidget*>(o);
    QObject::connect(&radioButtons(*group), &QButtonGroup::idClicked, ctx,
                     [this, c, group](int index) {
                       if (index != c->itemIndex())
                         input(*c, *group, [c, index] { c->choose(index); });
                       else
                         show(*c, *group);
                     });
  } else if (auto* button = qobject_cast<QAbstractButton*>(o)) {
    if (qobject_cast<QCheckBox*>(o) != nullptr || qobject_cast<QRadioButton*>(o) != nullptr) {
      QObject::connect(button, &QAbstractButton::clicked, ctx, [this, c, button](bool checked) {
        if (checked != c->checked())
          input(*c, *button, [c] { c->toggle(); });
        else
          show(*c, *button);
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
  if (afterInput_) afterInput_();
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

void Binder::commitLine(host::Control& control, QLineEdit& line) {
  const std::string typed = lineText(line, editMaskOf(control));
  if (typed != control.text()) input(control, line, [&control, typed] { control.type(typed); });
}

void Binder::commitFocused() {
  QWidget* focused = QApplication::focusWidget();
  for (const Binding& b : bindings_) {
    if (focused == nullptr || b.object != focused) continue;
    if (auto* line = qobject_cast<QLineEdit*>(focused)) {
      // A half-typed masked field is not finished: it stays on screen, as Qt keeps it.
      if (line->hasAcceptableInput()) commitLine(*b.control, *line);
    } else {
      focusOut(*b.control, *focused);
    }
    return;
  }
}

void Binder::focusOut(host::Control& control, QObject& object) {
  auto* memo = qobject_cast<QPlainTextEdit*>(&object);
  if (memo == nullptr) return;
  const std::string typed = memo->toPlainText().toStdString();
  host::ScopedFlag leaving(leaving_, !memo->hasFocus());
  // Input refused or not, the model's text is shown again afterwards.
  if (typed != control.text()) input(control, *memo, [&control, typed] { control.type(typed); });
}

void Binder::show(const host::Control& c, QObject& o) {
  // Showing may nest when a rule the view triggered changes other controls.
  host::ScopedFlag guard(showing_);
  if (auto* action = qobject_cast<QAction*>(&o)) {
    action->setEnabled(c.enabled());
    action->setVisible(c.visible());
    if (!c.caption().empty()) action->setText(q(c.caption()));
    if (action->isCheckable()) action->setChecked(c.checked());
    return;
  }
  auto* w = qobject_cast<QWidget*>(&o);
  if (w == nullptr) return;

  const auto [tabs, tab] =
      c.kind() == host::ControlKind::Page ? tabOf(*w) : std::pair<QTabWidget*, int>{};
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
    // A field shown only (a name beside its code) is not a stop for Tab; a click still
    // reaches it, to copy its text.
    line->setFocusPolicy(c.readOnly() ? Qt::ClickFocus : Qt::StrongFocus);
    const EditMask mask = editMaskOf(c);
    if (line->inputMask() != mask.qt) line->setInputMask(mask.qt);
    if (lineText(*line, mask) != c.text()) line->setText(q(c.text()));
  } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
    memo->setReadOnly(c.readOnly());
    if (memo->toPlainText() != q(c.text())) memo->setPlainText(q(c.text()));
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(q(c.caption().empty() ? c.text() : c.caption()));
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    showButton(c, *button);
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    showCombo(c, *combo);
  } else if (auto* tabWidget = qobject_cast<QTabWidget*>(w)) {
    if (const auto* pc = dynamic_cast<const host::PageControl*>(&c))
      showPageControl(*pc, *tabWidget);
  } else if (isRadioGroup(c, *w)) {
    showRadioGroup(c, *w);
  }

  if (c.focused() && !w->hasFocus() && !leaving_) w->setFocus();
}

}  // namespace ui
