#pragma once
// Where a login's password comes from: a file, the environment, or the terminal. Never the
// command line, where any user of the machine reads it in the list of processes.

#include <string>

namespace remote {

/// The password from the first place that has one: the first line of `file` ("-" is standard
/// input), the environment variable `envName`, or, with `prompt` given and standard input a
/// terminal, the terminal with echo off. Empty when none has one. Throws std::runtime_error
/// naming the file and the system's reason when the file cannot be read.
std::string readPassword(const std::string& file, const char* envName,
                         const std::string& prompt = {});

}  // namespace remote
