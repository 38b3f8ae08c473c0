#pragma once
// A Qt table view over a grid control: the rows of the grid's dataset in the grid's columns,
// and the operator's clicks, keys and moves passed to the grid as its events. The screen
// decides what each of them does.

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class QEvent;
class QKeyEvent;
class QModelIndex;
class QTableView;

namespace host {
class ClientDataset;
class GridControl;
}  // namespace host

namespace ui {

class DatasetTableModel;

class GridBinding final : public QObject {
 public:
  /// Shows `grid` in `view` and passes the view's input to it. Parented to the view; the
  /// grid (and its screen and dataset) must outlive it. `afterInput` runs after each input
  /// the grid was given, accepted or refused, once the view is shown again (the desktop
  /// re-reads the rest of the screen there).
  GridBinding(QTableView& view, host::GridControl& grid, std::function<void()> afterInput = {});
  ~GridBinding() override;
  GridBinding(const GridBinding&) = delete;
  GridBinding& operator=(const GridBinding&) = delete;

  /// Reads the rows and columns again, and puts the view's current row where the dataset's
  /// cursor is. Costs the rows on screen only, however long the list.
  void refresh();

  /// The model the view shows (null while the grid has no dataset).
  DatasetTableModel* model() const { return model_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  /// Puts a model over the grid's dataset when there is none yet or the grid moved to
  /// another dataset.
  void followDataset();
  void applyWidths();
  /// Makes the dataset's current row the view's, selected and in sight; `again` also when
  /// the view already stands on it (its selection may have gone elsewhere).
  void showCursor(bool again = false);
  void currentChanged(const QModelIndex& current, const QModelIndex& previous);
  /// True when the view should not handle the key further.
  bool key(const QKeyEvent& event);
  /// Runs the operator's input on the screen as the screen runs an operation, then shows
  /// the grid again (its current row too unless `showCursorNow` is false) and tells the
  /// desktop.
  void input(const std::function<void()>& what, bool showCursorNow = true);

  QTableView& view_;
  host::GridControl& grid_;
  std::function<void()> afterInput_;
  QPointer<DatasetTableModel> model_;
  host::ClientDataset* shown_ = nullptr;  // the dataset model_ is over
  int observer_ = 0;
  bool syncing_ = false;  // set while the view is moved to follow the model
};

}  // namespace ui
