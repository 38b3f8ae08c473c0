#include "ui/GridView.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableView>
#include <QTimer>
#include <QtGlobal>
#include <algorithm>
#include <optional>

#include "host/ClientDataset.h"
#include "host/Dialogs.h"
#include "host/ScopedFlag.h"
#include "host/Screen.h"
#include "ui/DatasetTableModel.h"

namespace ui {

namespace {

using host::GridKey;

/// The grid's name for a key; nothing for a modifier pressed alone, which the host's grids
/// never report by itself.
std::optional<GridKey> gridKeyOf(int key) {
  switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return GridKey::Tab;
    case Qt::Key_Left:
      return GridKey::Left;
    case Qt::Key_Right:
      return GridKey::Right;
    case Qt::Key_Up:
      return GridKey::Up;
    case Qt::Key_Down:
      return GridKey::Down;
    case Qt::Key_Delete:
      return GridKey::Delete;
    case Qt::Key_Insert:
      return GridKey::Insert;
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
      return std::nullopt;
    default:
      return GridKey::Other;
  }
}

/// The character a key types, as the screens' key-press rules take it: one Latin-1
/// character, no control characters (Ctrl+C types nothing); '\0' when it types none.
char typedChar(const QKeyEvent& event) {
  const QString text = event.text();
  if (text.size() != 1) return '\0';
  const char16_t c = text.at(0).unicode();
  if (c < 0x20 || c == 0x7f || c > 0xff) return '\0';
  return static_cast<char>(c);
}

}  // namespace

GridBinding::GridBinding(QTableView& view, host::GridControl& grid,
                         std::function<void()> afterInput)
    : QObject(&view), view_(view), grid_(grid), afterInput_(std::move(afterInput)) {
  view_.setSelectionMode(QAbstractItemView::SingleSelection);
  view_.setSelectionBehavior(grid_.rowSelect() ? QAbstractItemView::SelectRows
                                               : QAbstractItemView::SelectItems);
  // Every change goes through the screen's rules, never through an editor of the view.
  view_.setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_.setWordWrap(false);
  view_.setSortingEnabled(false);
  // One height for every row: the view then measures nothing per row, whatever the count.
  view_.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_.verticalHeader()->setDefaultSectionSize(QFontMetrics(view_.font()).height() + 6);
  view_.verticalHeader()->setVisible(false);
  QHeaderView* titles = view_.horizontalHeader();
  titles->setSectionsClickable(true);
  titles->setSectionResizeMode(QHeaderView::Interactive);
  titles->setStretchLastSection(false);
  connect(titles, &QHeaderView::sectionClicked, this, [this](int section) {
    if (model_ == nullptr) return;
    const std::string field = model_->fieldAt(section);
    if (!field.empty()) input([this, field] { grid_.titleClick(field); });
  });
  connect(&view_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) input([this] { grid_.dblClick(); });
  });
  view_.installEventFilter(this);
  observer_ = grid_.observe([this](const host::Control&) {
    view_.setSelectionBehavior(grid_.rowSelect() ? QAbstractItemView::SelectRows
                                                 : QAbstractItemView::SelectItems);
    if (grid_.dataset() != shown_) refresh();
  });
  refresh();
}

GridBinding::~GridBinding() {
  grid_.unobserve(observer_);
}

void GridBinding::followDataset() {
  host::ClientDataset* ds = grid_.dataset();
  if (ds == shown_ && (model_ != nullptr || ds == nullptr)) return;
  DatasetTableModel* old = model_;
  QItemSelectionModel* oldSelection = old != nullptr ? view_.selectionModel() : nullptr;
  model_ = ds != nullptr ? new DatasetTableModel(*ds, grid_, this) : nullptr;
  shown_ = ds;
  view_.setModel(model_);
  // The view leaves the selection model it made for our former model to us.
  delete oldSelection;
  delete old;
  if (model_ == nullptr) return;
  connect(view_.selectionModel(), &QItemSelectionModel::currentChanged, this,
          &GridBinding::currentChanged);
  // A reset (the grid's columns changed) loses the widths and the current row.
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    applyWidths();
    showCursor();
  });
  applyWidths();
}

void GridBinding::refresh() {
  followDataset();
  if (model_ == nullptr) return;
  model_->refresh();
  showCursor();
}

void GridBinding::applyWidths() {
  if (model_ == nullptr) return;
  QHeaderView* titles = view_.horizontalHeader();
  // The grids' widths were measured in a narrower font than the desktop's: they grow with
  // the font, and never leave a column narrower than its title.
  const QFontMetrics body(view_.font());
  const QFontMetrics head(titles->font());
  const double scale = std::max(1.0, body.averageCharWidth() / 6.0);
  for (int i = 0; i < model_->columnCount(); ++i) {
    const int width = model_->columnWidth(i);
    if (width <= 0) continue;
    const QString title = model_->headerData(i, Qt::Horizontal).toString();
    const int needed = title.isEmpty() ? 0 : head.horizontalAdvance(title) + 16;
    titles->resizeSection(i, std::max(static_cast<int>(width * scale), needed));
  }
}

void GridBinding::showCursor(bool again) {
  if (model_ == nullptr || syncing_) return;
  const host::ClientDataset& ds = model_->dataset();
  if (!ds.active() || ds.isEmpty() || model_->columnCount() == 0) return;
  const int row = static_cast<int>(ds.recNo()) - 1;
  if (row < 0 || row >= model_->rowCount()) return;
  const QModelIndex current = view_.currentIndex();
  if (current.isValid() && current.row() == row && !again) return;
  int column = current.isValid() ? current.column() : 0;
  if (!current.isValid() && grid_.selectedColumn() >= 0 &&
      grid_.selectedColumn() < static_cast<int>(grid_.columns().size())) {
    const std::string& field = grid_.columns()[static_cast<size_t>(grid_.selectedColumn())].field;
    for (int i = 0; i < model_->columnCount(); ++i) {
      if (model_->fieldAt(i) == field) column = i;
    }
  }
  const QModelIndex at = model_->index(row, column);
  host::ScopedFlag syncing(syncing_);
  view_.selectionModel()->setCurrentIndex(
      at, QItemSelectionModel::ClearAndSelect |
              (grid_.rowSelect() ? QItemSelectionModel::Rows : QItemSelectionModel::NoUpdate));
  view_.scrollTo(at);
}

void GridBinding::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  if (syncing_ || !current.isValid() || model_ == nullptr) return;
  const bool rowChanged = !previous.isValid() || previous.row() != current.row();
  const bool columnChanged = !previous.isValid() || previous.column() != current.column();
  const auto recNo = static_cast<size_t>(current.row()) + 1;
  const std::string field = model_->fieldAt(current.column());
  input(
      [this, rowChanged, columnChanged, recNo, &field] {
        if (rowChanged) grid_.rowMoved(recNo);
        if (columnChanged && !field.empty()) grid_.colEnter(field);
      },
      false);
  // The view is still in the middle of the click or key that moved it, and selects the row
  // it went to afterwards: a move the screen refused is undone once it has finished.
  QTimer::singleShot(0, this, [this] { showCursor(true); });
}

bool GridBinding::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &view_ && event->type() == QEvent::KeyPress) {
    return key(static_cast<const QKeyEvent&>(*event));
  }
  return QObject::eventFilter(watched, event);
}

bool GridBinding::key(const QKeyEvent& event) {
  const std::optional<GridKey> mapped = gridKeyOf(event.key());
  if (!mapped) return false;
  GridKey key = *mapped;
  const Qt::KeyboardModifiers mods = event.modifiers();
  const bool backtab = event.key() == Qt::Key_Backtab;
  const host::ShiftState shift{.ctrl = mods.testFlag(Qt::ControlModifier),
                               .shift = mods.testFlag(Qt::ShiftModifier) || backtab,
                               .alt = mods.testFlag(Qt::AltModifier)};
  const char typed = typedChar(event);
  bool swallowed = false;
  input([&] {
    grid_.keyDown(key, shift);
    if (key == GridKey::None) {
      swallowed = true;
      return;
    }
    if (typed != '\0') grid_.keyPress(typed);
  });
  // A typed character belongs to the screen: the view would only search its rows with it.
  return swallowed || typed != '\0';
}

void GridBinding::input(const std::function<void()>& what, bool showCursorNow) {
  try {
    grid_.owner().run(what);
  } catch (const std::exception& e) {
    // Nothing may leave Qt's event loop: a fault is shown, not lost.
    qWarning("%s: %s", grid_.name().c_str(), e.what());
    try {
      host::dialogs().error(e.what(), grid_.owner().caption());
    } catch (const std::exception&) {
    }
  }
  followDataset();
  if (model_ != nullptr) {
    model_->refresh();
    if (showCursorNow) showCursor();
  }
  if (afterInput_) afterInput_();
}

}  // namespace ui
