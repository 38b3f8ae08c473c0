#include "ui/ScreenView.h"

#include <QCursor>
#include <QMenu>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <stdexcept>

#include "host/Screen.h"
#include "ui/Binder.h"
#include "ui/DatasetTableModel.h"
#include "ui/Forms.h"
#include "ui/GridView.h"

namespace ui {

ScreenView::ScreenView(host::ScreenModel& model, bool modal, QWidget* parent)
    : QWidget(parent), model_(model), modal_(modal) {
  std::unique_ptr<QWidget> form = createForm(model.className());
  if (!form) throw std::runtime_error("a tela " + model.className() + " não tem formulário");
  form_ = form.release();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(form_);
  setWindowTitle(QString::fromStdString(model.caption()));
  resize(form_->size());

  binder_ = std::make_unique<Binder>(model, *form_);
  binder_->setAfterInput([this] { afterInput(); });
  for (auto* table : form_->findChildren<QTableView*>()) {
    host::Control* c = model.findControl(table->objectName().toStdString());
    auto* grid = dynamic_cast<host::GridControl*>(c);
    if (grid == nullptr || grid->dataset() == nullptr) continue;
    grids_.emplace_back(new GridBinding(*table, *grid, [this] { afterInput(); }));
  }
  bindMenus();
}

ScreenView::~ScreenView() {
  for (const auto& [id, name] : menuObservers_) {
    if (host::Control* c = model_.findControl(name)) c->unobserve(id);
  }
}

void ScreenView::bindMenus() {
  // A pop-up menu is a panel of the model that becomes visible when its button is clicked;
  // picking an item (or dismissing the menu) hides it again.
  for (auto* menu : form_->findChildren<QMenu*>()) {
    host::Control* c = model_.findControl(menu->objectName().toStdString());
    if (c == nullptr || c->kind() != host::ControlKind::Panel) continue;
    QPointer<QMenu> target(menu);
    const int id = c->observe([target](const host::Control& panel) {
      if (!target) return;
      if (panel.visible() && !target->isVisible()) {
        target->popup(QCursor::pos());
      } else if (!panel.visible() && target->isVisible()) {
        target->hide();
      }
    });
    menuObservers_.emplace_back(id, c->name());
    // The chosen item runs after the menu hid, and needs its panel still visible to be
    // reachable: the panel is hidden once that is over.
    QObject::connect(menu, &QMenu::aboutToHide, this, [this, c] {
      QTimer::singleShot(0, this, [c] {
        if (c->visible()) c->setVisible(false);
      });
    });
  }
}

bool ScreenView::done() const {
  if (!model_.isOpen()) return true;
  return modal_ && model_.modalResult() != host::mrNone;
}

void ScreenView::refresh() {
  binder_->refresh();
  for (const auto& g : grids_) {
    if (g) g->refresh();
  }
}

void ScreenView::afterInput() {
  if (reported_) return;
  if (done()) {
    reported_ = true;
    if (onDone_) onDone_();
    return;
  }
  refresh();
}

}  // namespace ui
