#pragma once
// The operator's login: operator, password, company and branch, checked by the service.
// A refused login keeps the dialog open with the reason shown.

#include <QDialog>

class QLabel;
class QLineEdit;

namespace desk {

class Session;
struct Login;

class LoginDialog final : public QDialog {
 public:
  LoginDialog(Session& session, const Login& initial, QWidget* parent = nullptr);

  /// Checks what was typed; closes the dialog when the service accepts it.
  void accept() override;
  /// The reason of the last refusal, "" when none.
  QString refusal() const;

 private:
  Session& session_;
  QLineEdit* operator_;
  QLineEdit* password_;
  QLineEdit* company_;
  QLineEdit* branch_;
  QLabel* refusal_;
};

}  // namespace desk
