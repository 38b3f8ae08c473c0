#pragma once
// The header texts of an e-mail: refused when they would break the header, encoded as the
// RFCs say when they are not plain ASCII.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace host::smtp {

/// Throws std::invalid_argument naming `what` when `text` holds a line break or another
/// control character (tab aside): a text from the data never adds a header line.
void checkHeaderText(std::string_view what, std::string_view text);

/// Throws std::invalid_argument naming `what` unless `address` is usable between the angle
/// brackets of MAIL FROM / RCPT TO: not blank, no control character, blank or angle bracket.
void checkEnvelopeAddress(std::string_view what, std::string_view address);

/// A header text as it is when it is short printable ASCII, otherwise as RFC 2047 encoded
/// words (UTF-8, Base64) of at most 75 characters, folded onto continuation lines; a
/// character is never split between two words.
std::string encodeHeaderText(std::string_view text);

/// A display name as a phrase of RFC 5322: as it is when it is made of atoms, in double
/// quotes (with \" and \\ escaped) when it holds other ASCII, encoded words when not ASCII.
std::string encodePhrase(std::string_view name);

/// A mailbox for From or To: the address alone when there is no name, else the name as a
/// phrase and the address in angle brackets.
std::string formatMailbox(std::string_view name, std::string_view address);

/// The addresses of a list separated by "," or ";", trimmed, the blank ones left out.
std::vector<std::string> splitAddresses(std::string_view list);

/// RFC 5322 date of `t` in the machine's zone: "Tue, 08 Dec 2026 18:28:15 -0300".
std::string formatDate(std::time_t t);

/// The media type for an attachment, by its extension ("application/pdf" for ".pdf"),
/// "application/octet-stream" when it is not known.
std::string contentTypeFor(std::string_view fileName);

/// `name`, or when a name in `taken` is the same regardless of letter case, the name with
/// "_2", "_3" ... before its extension, the first that is free.
std::string distinctFileName(std::string_view name, const std::vector<std::string>& taken);

/// The value of a Content-Disposition for an attachment named `fileName`: filename="..." for
/// an ASCII name, the RFC 2231 form filename*=UTF-8''... for any other.
std::string attachmentDisposition(std::string_view fileName);

/// The attachment's name for the "name" parameter of its Content-Type, without the quotes:
/// the name (quotes and backslashes escaped) when ASCII, RFC 2047 words otherwise.
std::string attachmentNameParameter(std::string_view fileName);

/// Is every byte printable ASCII?
bool isPrintableAscii(std::string_view text);

}  // namespace host::smtp
