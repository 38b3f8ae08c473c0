#pragma once
// Base64 of RFC 4648 (the standard alphabet, with padding), the form documents travel in.

#include <string>
#include <string_view>

namespace host {

/// Bytes as Base64, in one line.
std::string Encode64(std::string_view bytes);

/// The bytes a Base64 text stands for (the host's Decode64). Line breaks and blanks between
/// the characters are allowed, as mail and JSON writers insert them; anything else that is
/// not of the alphabet, missing padding or a text cut short is refused with
/// std::invalid_argument, never decoded in part.
std::string Decode64(std::string_view text);

}  // namespace host
