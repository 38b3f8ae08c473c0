#include "apps/boleto/ConsoleDialogs.h"

#include <fmt/format.h>

namespace cli {

bool ConsoleDialogs::question(const std::string& text, const std::string& caption) {
  bool answer = yes_;
  for (const auto& f : no_)
    if (text.find(f) != std::string::npos) answer = false;
  fmt::print(stderr, "{}: {} [{}]\n", caption, text, answer ? "Sim" : "Não");
  return answer;
}

std::optional<std::string> ConsoleDialogs::saveFile(const std::string&, const std::string&,
                                                    const std::string& defaultExt,
                                                    const std::string& initialName) {
  if (saveFolder_.empty()) return std::nullopt;
  std::string name = initialName.substr(initialName.find_last_of("/\\") + 1);
  if (name.empty()) return std::nullopt;
  if (name.find('.') == std::string::npos && !defaultExt.empty()) name += "." + defaultExt;
  saved_.push_back(saveFolder_ + name);
  return saved_.back();
}

void ConsoleDialogs::information(const std::string& text, const std::string& caption) {
  informed_.push_back(text);
  fmt::print(stderr, "{}: {}\n", caption, text);
}

void ConsoleDialogs::error(const std::string& text, const std::string& caption) {
  ++errors_;
  fmt::print(stderr, "{}: erro: {}\n", caption, text);
}

int ConsoleDialogs::msgAlertEx(const std::string& text, const std::string& caption,
                               const std::vector<std::string>& buttons) {
  // The button that says yes when the dialog offers one (the first is not always it: the
  // generation's dialog begins with "Cancelar"), the first one otherwise.
  size_t pick = 0;
  for (size_t i = 0; i < buttons.size(); ++i)
    if (buttons[i] == "Sim") {
      pick = i;
      break;
    }
  fmt::print(stderr, "{}: {} [{}]\n", caption, text, buttons.empty() ? "" : buttons[pick]);
  return host::kMsgAlertFirstButton + static_cast<int>(pick);
}

}  // namespace cli
