#pragma once
// Zip archives received from the service, and the private folders they are opened in.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace host {

/// An archive refused or that could not be opened; the text names the archive's entry or
/// the reason. Nothing of a refused archive is left in the folder.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A folder private to this run: made under the temporary directory with owner-only
/// permissions (0700) and a name nobody can guess, removed with all it holds when the object
/// goes, on success or on failure.
class PrivateTempDir {
 public:
  /// Makes the folder, named `prefix` followed by random characters; ArchiveError when the
  /// temporary directory refuses it.
  explicit PrivateTempDir(std::string_view prefix = "boleto-");
  PrivateTempDir(PrivateTempDir&& other) noexcept;
  PrivateTempDir& operator=(PrivateTempDir&& other) noexcept;
  PrivateTempDir(const PrivateTempDir&) = delete;
  PrivateTempDir& operator=(const PrivateTempDir&) = delete;
  ~PrivateTempDir();

  const std::filesystem::path& path() const { return path_; }
  /// Removes the folder now (also done by the destructor); errors are ignored.
  void remove() noexcept;

 private:
  std::filesystem::path path_;
};

/// How much one archive may unpack to: a hostile archive does not fill the disk.
struct ExtractLimits {
  size_t maxEntries = 10000;
  uint64_t maxTotalBytes = 1ull << 30;  // 1 GiB
};

/// Extracts the zip archive `archive` (its bytes) into `folder`, which must exist; returns the
/// paths of the files written, in the archive's order. Files are written owner-only (0600),
/// replacing files of the same name in the folder; sub-folders are made as needed.
///
/// Every entry is checked before anything is written: an entry whose name is absolute, holds
/// "..", a backslash or a control character, is a symbolic link or another special file, is
/// encrypted, or repeats an earlier name refuses the whole archive (ArchiveError naming the
/// entry). Extraction never follows a link found in the folder. When writing fails half way
/// (the limits, a full disk), the files written so far are removed.
std::vector<std::filesystem::path> extractZip(std::string_view archive,
                                              const std::filesystem::path& folder,
                                              const ExtractLimits& limits = {});
/// The same for an archive file.
std::vector<std::filesystem::path> extractZipFile(const std::filesystem::path& archive,
                                                  const std::filesystem::path& folder,
                                                  const ExtractLimits& limits = {});

}  // namespace host
