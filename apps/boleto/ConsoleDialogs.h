#pragma once
// The dialogs of the command line: messages go to standard error, questions take the answer
// the command was given, and nothing is ever picked interactively.

#include <string>
#include <vector>

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
  /// With a save folder, the name proposed, in that folder; otherwise cancelled.
  std::optional<std::string> saveFile(const std::string& caption, const std::string& filter,
                                      const std::string& defaultExt,
                                      const std::string& initialName) override;
  std::optional<int> pickList(const std::string&, const std::vector<std::string>&) override {
    return std::nullopt;
  }
  std::optional<std::vector<int>> pickMany(const std::string&, const std::vector<std::string>&,
                                           const std::vector<int>&) override {
    return std::nullopt;
  }
  /// Errors shown so far (a command fails when there was one).
  int errors() const { return errors_; }
  /// Questions whose text holds `fragment` are answered no, whatever the default.
  void answerNo(std::string fragment) { no_.push_back(std::move(fragment)); }
  /// Where save dialogs save: the folder (ending in "/") and the proposed file name.
  void setSaveFolder(std::string folder) { saveFolder_ = std::move(folder); }
  /// The files the save dialogs answered, in order.
  const std::vector<std::string>& saved() const { return saved_; }
  /// The information messages shown so far, in order.
  const std::vector<std::string>& informed() const { return informed_; }

 private:
  bool yes_;
  std::vector<std::string> no_;
  std::string saveFolder_;
  std::vector<std::string> saved_;
  std::vector<std::string> informed_;
  int errors_ = 0;
};

}  // namespace cli
