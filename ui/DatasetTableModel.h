#pragma once
// A grid's rows for a Qt view: the rows of a dataset, the columns of a grid control (shown
// ones only, in the grid's order, with their titles and widths). A cell's text is formatted
// only when the view asks for it, so a long list costs only the rows on screen.

#include <QAbstractTableModel>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/Value.h"

namespace host {
class ClientDataset;
class GridControl;
}  // namespace host

namespace ui {

class DatasetTableModel final : public QAbstractTableModel {
 public:
  /// The mark column's field: "M" shows it ticked.
  static constexpr const char* kMarkField = "IDMARCADO";

  /// Both must outlive the model.
  DatasetTableModel(host::ClientDataset& dataset, host::GridControl& grid,
                    QObject* parent = nullptr);
  ~DatasetTableModel() override;
  DatasetTableModel(const DatasetTableModel&) = delete;
  DatasetTableModel& operator=(const DatasetTableModel&) = delete;

  /// How a field's values read on screen when the display format is not enough (a status
  /// code shown as its name). The grid's own rules (`GridControl::setDisplayRule`) apply
  /// unless one is given here for the same field. Set before the view draws.
  using DisplayRule = std::function<std::string(const host::Value&)>;
  void setDisplayRule(const std::string& field, DisplayRule rule);

  /// Reads rows and columns again, after the dataset or the grid's columns changed. When
  /// both the columns and the number of rows are as they were, the view only repaints the
  /// cells (they are read again as it draws them) and keeps its selection and place.
  void refresh();

  host::ClientDataset& dataset() const { return dataset_; }

  /// The grid's field shown in a view column, or "" out of range.
  std::string fieldAt(int column) const;
  /// The grid's width of a view column in pixels, or 0 out of range.
  int columnWidth(int column) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  struct Column {
    std::string field;
    QString title;
    int width;
    int fieldIndex;  // in the dataset, -1 when the dataset lacks it
    bool operator==(const Column&) const = default;
  };
  std::vector<Column> readColumns() const;
  int readRowCount() const;
  std::string cellText(size_t recNo, const Column& column) const;

  host::ClientDataset& dataset_;
  host::GridControl& grid_;
  std::vector<Column> columns_;
  std::map<std::string, DisplayRule> rules_;
  int rows_ = 0;  // what the view was last told; the dataset may have changed since
  int observer_ = 0;
};

}  // namespace ui
