#include "ui/QtDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace ui {

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

void showBox(QWidget* parent, QMessageBox::Icon icon, const std::string& text,
             const std::string& caption) {
  QMessageBox box(icon, q(caption), q(text), QMessageBox::NoButton, parent);
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.exec();
}

/// A list with a search line above it: typing hides the items that do not contain the text.
/// With `many`, items carry check boxes and the answer is every ticked one.
class PickDialog final : public QDialog {
 public:
  PickDialog(QWidget* parent, const std::string& caption, const std::vector<std::string>& items,
             bool many, const std::vector<int>& marked)
      : QDialog(parent), many_(many) {
    setWindowTitle(q(caption));
    auto* layout = new QVBoxLayout(this);
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("edtPesquisa"));
    search_->setClearButtonEnabled(true);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("lstItens"));
    for (size_t i = 0; i < items.size(); ++i) {
      auto* item = new QListWidgetItem(q(items[i]), list_);
      item->setData(Qt::UserRole, static_cast<int>(i));
      if (many_) {
        const bool on =
            std::find(marked.begin(), marked.end(), static_cast<int>(i)) != marked.end();
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
      }
    }
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    layout->addWidget(search_);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) { filter(text); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (!many_) connect(list_, &QListWidget::itemActivated, this, &QDialog::accept);
    if (list_->count() > 0) list_->setCurrentRow(0);
  }

  /// The chosen item's position, or nothing when none is current and shown.
  std::optional<int> chosen() const {
    const QListWidgetItem* item = list_->currentItem();
    if (item == nullptr || item->isHidden()) return std::nullopt;
    return item->data(Qt::UserRole).toInt();
  }

  /// Ticked items, hidden ones included: a search narrows the view, not the choice.
  std::vector<int> ticked() const {
    std::vector<int> out;
    for (int i = 0; i < list_->count(); ++i) {
      if (list_->item(i)->checkState() == Qt::Checked)
        out.push_back(list_->item(i)->data(Qt::UserRole).toInt());
    }
    return out;
  }

 private:
  void filter(const QString& text) {
    QListWidgetItem* firstShown = nullptr;
    for (int i = 0; i < list_->count(); ++i) {
      QListWidgetItem* item = list_->item(i);
      const bool shown = text.isEmpty() || item->text().contains(text, Qt::CaseInsensitive);
      item->setHidden(!shown);
      if (shown && firstShown == nullptr) firstShown = item;
    }
    if (list_->currentItem() == nullptr || list_->currentItem()->isHidden())
      list_->setCurrentItem(firstShown);
  }

  bool many_;
  QLineEdit* search_;
  QListWidget* list_;
};

}  // namespace

QString qtNameFilter(const std::string& filter) {
  const QStringList parts = q(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    if (i + 1 >= parts.size()) {
      if (!parts[i].isEmpty()) filters << parts[i];
      break;
    }
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
  }
  return filters.join(QStringLiteral(";;"));
}

QtDialogs::QtDialogs(QWidget* parent) : parent_(parent) {}

QtDialogs::~QtDialogs() {
  indicator_ = nullptr;  // whatever it shows may be gone already
  while (waits_ > 0) showWait(false);
}

bool QtDialogs::question(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Question, q(caption), q(text), QMessageBox::NoButton, parent_);
  QPushButton* yes = box.addButton(QStringLiteral("Sim"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("Não"), QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

void QtDialogs::information(const std::string& text, const std::string& caption) {
  showBox(parent_, QMessageBox::Information, text, caption);
}

void QtDialogs::error(const std::string& text, const std::string& caption) {
  showBox(parent_, QMessageBox::Critical, text, caption);
}

int QtDialogs::msgAlertEx(const std::string& text, const std::string& caption,
                          const std::vector<std::string>& buttons) {
  QMessageBox box(QMessageBox::Warning, q(caption), q(text), QMessageBox::NoButton, parent_);
  std::vector<QPushButton*> shown;
  for (const auto& b : buttons) shown.push_back(box.addButton(q(b), QMessageBox::ActionRole));
  if (shown.empty()) shown.push_back(box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
  box.setEscapeButton(shown.back());
  box.exec();
  auto it = std::find(shown.begin(), shown.end(), box.clickedButton());
  // Closed by the window manager: the same answer as Escape.
  if (it == shown.end()) it = shown.end() - 1;
  return host::kMsgAlertFirstButton + static_cast<int>(it - shown.begin());
}

void QtDialogs::showWait(bool on) {
  if (on) {
    if (waits_++ == 0) {
      QApplication::setOverrideCursor(Qt::BusyCursor);
      if (indicator_) indicator_(true);
    }
  } else if (waits_ > 0) {
    if (--waits_ == 0) {
      QApplication::restoreOverrideCursor();
      if (indicator_) indicator_(false);
    }
  }
}

std::optional<std::string> QtDialogs::selectFolder(const std::string& caption,
                                                   const std::string& initial) {
  const QString folder = QFileDialog::getExistingDirectory(parent_, q(caption), q(initial));
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

std::optional<std::string> QtDialogs::saveFile(const std::string& caption,
                                               const std::string& filter,
                                               const std::string& defaultExt,
                                               const std::string& initialName) {
  QFileDialog dialog(parent_, q(caption), QString(), qtNameFilter(filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  QString ext = q(defaultExt);
  if (ext.startsWith(QLatin1Char('.'))) ext.remove(0, 1);
  dialog.setDefaultSuffix(ext);
  if (!initialName.empty()) dialog.selectFile(q(initialName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst().toStdString();
}

std::optional<int> QtDialogs::pickList(const std::string& caption,
                                       const std::vector<std::string>& items) {
  PickDialog dialog(parent_, caption, items, false, {});
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.chosen();
}

std::optional<std::vector<int>> QtDialogs::pickMany(const std::string& caption,
                                                    const std::vector<std::string>& items,
                                                    const std::vector<int>& marked) {
  PickDialog dialog(parent_, caption, items, true, marked);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.ticked();
}

}  // namespace ui
