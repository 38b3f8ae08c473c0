#include "ui/DatasetTableModel.h"

#include "host/ClientDataset.h"
#include "host/Screen.h"

namespace ui {

DatasetTableModel::DatasetTableModel(host::ClientDataset& dataset, host::GridControl& grid,
                                     QObject* parent)
    : QAbstractTableModel(parent), dataset_(dataset), grid_(grid) {
  columns_ = readColumns();
  rows_ = readRowCount();
  // The grid announces its own column changes; the dataset's rows need refresh(). The grid
  // also announces a moved cursor column or a state change: those must not reset the view
  // (its selection and scroll position) when the columns are still the same.
  observer_ = grid_.observe([this](const host::Control&) {
    if (readColumns() != columns_) refresh();
  });
}

DatasetTableModel::~DatasetTableModel() {
  grid_.unobserve(observer_);
}

void DatasetTableModel::setDisplayRule(const std::string& field, DisplayRule rule) {
  rules_[field] = std::move(rule);
}

void DatasetTableModel::refresh() {
  auto columns = readColumns();
  const int rows = readRowCount();
  if (columns == columns_ && rows == rows_) {
    // A re-sort or edited values: nothing to re-count, and a reset would cost the view its
    // current row and scroll position.
    if (rows > 0 && !columns_.empty()) {
      emit dataChanged(index(0, 0), index(rows - 1, static_cast<int>(columns_.size()) - 1));
    }
    return;
  }
  beginResetModel();
  columns_ = std::move(columns);
  rows_ = rows;
  endResetModel();
}

int DatasetTableModel::readRowCount() const {
  return dataset_.active() ? static_cast<int>(dataset_.recordCount()) : 0;
}

std::vector<DatasetTableModel::Column> DatasetTableModel::readColumns() const {
  std::vector<Column> columns;
  for (const host::GridColumn& g : grid_.columns()) {
    if (!g.visible) continue;
    const int index = dataset_.fieldIndex(g.field);
    QString title = QString::fromStdString(g.title);
    // The mark column shows ticks, not a title naming its field.
    if (title.isEmpty() && index >= 0 && g.field != kMarkField) {
      const host::FieldDef& def = dataset_.fieldDefs()[static_cast<size_t>(index)];
      title = QString::fromStdString(def.displayLabel.empty() ? def.name : def.displayLabel);
    }
    columns.push_back({g.field, title, g.width, index});
  }
  return columns;
}

int DatasetTableModel::columnWidth(int column) const {
  if (column < 0 || column >= static_cast<int>(columns_.size())) return 0;
  return columns_[static_cast<size_t>(column)].width;
}

std::string DatasetTableModel::fieldAt(int column) const {
  if (column < 0 || column >= static_cast<int>(columns_.size())) return {};
  return columns_[static_cast<size_t>(column)].field;
}

int DatasetTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int DatasetTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

std::string DatasetTableModel::cellText(size_t recNo, const Column& column) const {
  const host::Value v = dataset_.valueAt(recNo, column.field);
  if (auto rule = rules_.find(column.field); rule != rules_.end()) return rule->second(v);
  if (const auto* rule = grid_.displayRule(column.field)) return (*rule)(v);
  return host::displayTextOf(dataset_.fieldDefs()[static_cast<size_t>(column.fieldIndex)], v);
}

QVariant DatasetTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() >= static_cast<int>(columns_.size())) return {};
  // The dataset may have lost rows since the view last asked.
  if (!dataset_.active() || index.row() >= static_cast<int>(dataset_.recordCount())) return {};
  const Column& column = columns_[static_cast<size_t>(index.column())];
  if (column.fieldIndex < 0) return {};
  const auto recNo = static_cast<size_t>(index.row()) + 1;
  const bool mark = column.field == kMarkField;
  switch (role) {
    case Qt::DisplayRole:
      return mark ? QVariant() : QVariant(QString::fromStdString(cellText(recNo, column)));
    case Qt::CheckStateRole:
      if (!mark) return {};
      return dataset_.valueAt(recNo, column.field).asString() == "M" ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole: {
      const auto type = dataset_.fieldDefs()[static_cast<size_t>(column.fieldIndex)].type;
      const bool number = type == host::FieldType::Float || type == host::FieldType::Integer;
      return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    default:
      return {};
  }
}

QVariant DatasetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 ||
      section >= static_cast<int>(columns_.size())) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  const Column& column = columns_[static_cast<size_t>(section)];
  // No size hint: a header takes a hint as the whole size of its section, height included,
  // and one without a height draws the titles zero pixels high. The view sets the widths.
  if (role == Qt::DisplayRole) return column.title;
  return {};
}

Qt::ItemFlags DatasetTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  // Marking is the list's event (click, space), not an edit of the cell.
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace ui
