#include "apps/boleto/ConsoleDialogs.h"

#include <fmt/format.h>

namespace cli {

bool ConsoleDialogs::question(const std::string& text, const std::string& caption) {
  fmt::print(stderr, "{}: {} [{}]\n", caption, text, yes_ ? "Sim" : "Não");
  return yes_;
}

void ConsoleDialogs::information(const std::string& text, const std::string& caption) {
  fmt::print(stderr, "{}: {}\n", caption, text);
}

void ConsoleDialogs::error(const std::string& text, const std::string& caption) {
  ++errors_;
  fmt::print(stderr, "{}: erro: {}\n", caption, text);
}

int ConsoleDialogs::msgAlertEx(const std::string& text, const std::string& caption,
                               const std::vector<std::string>& buttons) {
  fmt::print(stderr, "{}: {} [{}]\n", caption, text, buttons.empty() ? "" : buttons.front());
  return host::kMsgAlertFirstButton;
}

}  // namespace cli
