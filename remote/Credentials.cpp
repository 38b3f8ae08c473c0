#include "remote/Credentials.h"

#include <fmt/format.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace remote {

namespace {

std::string firstLine(std::istream& in) {
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::string readPassword(const std::string& file, const char* envName, const std::string& prompt) {
  if (file == "-") return firstLine(std::cin);
  if (!file.empty()) {
    std::ifstream in(file);
    if (!in)
      throw std::runtime_error(
          fmt::format("não foi possível ler a senha de {}: {}", file, std::strerror(errno)));
    return firstLine(in);
  }
  if (const char* env = envName ? std::getenv(envName) : nullptr; env && *env) return env;
  if (prompt.empty() || !::isatty(STDIN_FILENO)) return {};
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  termios before{};
  const bool quiet = ::tcgetattr(STDIN_FILENO, &before) == 0;
  if (quiet) {
    termios silent = before;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  std::string password = firstLine(std::cin);
  if (quiet) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
  std::fputc('\n', stderr);
  return password;
}

}  // namespace remote
