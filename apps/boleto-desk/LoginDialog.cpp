#include "apps/boleto-desk/LoginDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "apps/boleto-desk/Session.h"

namespace desk {

namespace {

QLineEdit* field(QWidget* parent, const char* name, const std::string& text) {
  auto* e = new QLineEdit(QString::fromStdString(text), parent);
  e->setObjectName(QString::fromLatin1(name));
  return e;
}

}  // namespace

LoginDialog::LoginDialog(Session& session, const Login& initial, QWidget* parent)
    : QDialog(parent), session_(session) {
  setObjectName(QStringLiteral("dlgLogin"));
  setWindowTitle(QStringLiteral("Acesso ao sistema"));
  operator_ = field(this, "edtOperador", initial.operatorCode);
  password_ = field(this, "edtSenha", initial.password);
  password_->setEchoMode(QLineEdit::Password);
  company_ = field(this, "medEmpresa", initial.company);
  company_->setInputMask(QStringLiteral("99"));
  branch_ = field(this, "medFilial", initial.branch);
  branch_->setInputMask(QStringLiteral("9999"));
  refusal_ = new QLabel(this);
  refusal_->setObjectName(QStringLiteral("lblRecusa"));
  refusal_->setStyleSheet(QStringLiteral("color: #b00020"));
  refusal_->setWordWrap(true);
  refusal_->hide();

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Operador:"), operator_);
  form->addRow(QStringLiteral("Senha:"), password_);
  form->addRow(QStringLiteral("Empresa:"), company_);
  form->addRow(QStringLiteral("Filial:"), branch_);
  auto* buttons = new QDialogButtonBox(this);
  auto* enter = buttons->addButton(QStringLiteral("Entrar"), QDialogButtonBox::AcceptRole);
  enter->setObjectName(QStringLiteral("sbtEntrar"));
  enter->setDefault(true);
  buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole)
      ->setObjectName(QStringLiteral("sbtCancelar"));
  connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &LoginDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(refusal_);
  layout->addWidget(buttons);
  (initial.operatorCode.empty() ? operator_ : password_)->setFocus();
}

void LoginDialog::accept() {
  Login typed;
  typed.operatorCode = operator_->text().trimmed().toStdString();
  typed.password = password_->text().toStdString();
  typed.company = company_->text().trimmed().toStdString();
  typed.branch = branch_->text().trimmed().toStdString();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const std::string refused = session_.login(typed);
  QApplication::restoreOverrideCursor();
  if (refused.empty()) {
    refusal_->clear();
    QDialog::accept();
    return;
  }
  refusal_->setText(QString::fromStdString(refused));
  refusal_->show();
  password_->selectAll();
  password_->setFocus();
}

QString LoginDialog::refusal() const {
  return refusal_->text();
}

}  // namespace desk
