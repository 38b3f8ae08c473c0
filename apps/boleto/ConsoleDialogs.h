#pragma once
// The dialogs of the command line: messages go to standard error, questions take the answer
// the command was given, and nothing is ever picked interactively.

#include "host/Dialogs.h"

namespace cli {

class ConsoleDialogs final : public host::Dialogs {
 public:
  explicit ConsoleDialogs(bool answerYes = false) : yes_(answerYes) {}
  bool question(const std::string& text, const std::string& caption) override;
  void information(const std::string& text, const std::string& caption) override;
  void error(const std::string& text, const std::string& caption) override;
  int msgAlertEx(const std::string& text, const std::string& caption,
                 const std::vector<std::string>& buttons) override;
  void showWait(bool) override {}
  std::optional<std::string> selectFolder(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> saveFile(const std::string&, const std::string&, const std::string&,
                                      const std::string&) override {
    return std::nullopt;
  }
  std::optional<int> pickList(const std::string&, const std::vector<std::string>&) override {
    return std::nullopt;
  }
  std::optional<std::vector<int>> pickMany(const std::string&, const std::vector<std::string>&,
                                           const std::vector<int>&) override {
    return std::nullopt;
  }
  /// Errors shown so far (a command fails when there was one).
  int errors() const { return errors_; }

 private:
  bool yes_;
  int errors_ = 0;
};

}  // namespace cli
