#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <fstream>
#include <sstream>

#include "host/Archive.h"

using namespace host;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

struct ZipEntry {
  std::string name;
  std::string bytes;
  unsigned unixMode = 0;  ///< 0: no Unix attributes
  bool stored = false;    ///< kept uncompressed
};

/// An archive made with libzip as a hostile sender would make it.
std::string makeZip(const std::vector<ZipEntry>& entries) {
  PrivateTempDir scratch;
  const auto path = scratch.path() / "a.zip";
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  EXPECT_NE(za, nullptr);
  for (const auto& e : entries) {
    zip_source_t* src = zip_source_buffer(za, e.bytes.data(), e.bytes.size(), 0);
    const zip_int64_t i = e.name.back() == '/'
                              ? zip_dir_add(za, e.name.c_str(), ZIP_FL_ENC_UTF_8)
                              : zip_file_add(za, e.name.c_str(), src, ZIP_FL_ENC_UTF_8);
    if (e.name.back() == '/') zip_source_free(src);
    EXPECT_GE(i, 0) << e.name << ": " << zip_strerror(za);
    if (e.stored) zip_set_file_compression(za, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
    if (e.unixMode)
      zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(i), 0, ZIP_OPSYS_UNIX,
                                       e.unixMode << 16);
  }
  EXPECT_EQ(zip_close(za), 0);
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t countEntries(const fs::path& dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(dir)) ++n;
  return n;
}

unsigned modeOf(const fs::path& p) {
  struct stat st {};
  ::lstat(p.c_str(), &st);
  return st.st_mode & 07777;
}

}  // namespace

TEST(PrivateTempDir, IsOwnerOnlyAndGoesWithEverythingInItWhateverHappens) {
  fs::path kept;
  try {
    PrivateTempDir dir;
    kept = dir.path();
    EXPECT_EQ(modeOf(kept), 0700u);
    fs::create_directories(kept / "sub");
    std::ofstream(kept / "sub" / "x.pdf") << "x";
    throw std::runtime_error("the run fails");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(fs::exists(kept));

  PrivateTempDir a, b;
  EXPECT_NE(a.path(), b.path());
  PrivateTempDir moved = std::move(a);
  EXPECT_TRUE(fs::is_directory(moved.path()));
}

TEST(ExtractZip, WritesEveryFileOwnerOnlyWithItsBytes) {
  const std::string danfe1 = "%PDF-1.4 nota 1\n" + std::string(100000, '\x01');
  const std::string danfe2 = std::string("%PDF-1.4 nota 2\0\xff", 18);
  const auto zip =
      makeZip({{"35260312345678000195550010000000011000000010-nfe.pdf", danfe1, 0100644},
               {"notas/", "", 040755},
               {"notas/35260312345678000195550010000000021000000020-nfe.pdf", danfe2}});
  PrivateTempDir dir;
  const auto files = extractZip(zip, dir.path());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0], dir.path() / "35260312345678000195550010000000011000000010-nfe.pdf");
  EXPECT_EQ(readFile(files[0]), danfe1);
  EXPECT_EQ(readFile(files[1]), danfe2);
  EXPECT_EQ(modeOf(files[0]), 0600u);

  // Again into the same folder: the files are replaced, not refused.
  EXPECT_EQ(extractZip(zip, dir.path()).size(), 2u);
  EXPECT_EQ(readFile(files[0]), danfe1);
}

TEST(ExtractZip, HostileEntriesRefuseTheWholeArchiveAndNothingIsWritten) {
  struct Case {
    const char* name;
    std::vector<ZipEntry> entries;
    const char* why;
  };
  const Case cases[] = {
      {"parent", {{"ok.pdf", "a"}, {"../fora.pdf", "x"}}, "leaves the folder"},
      {"deep parent", {{"ok.pdf", "a"}, {"a/b/../../../fora.pdf", "x"}}, "leaves the folder"},
      {"absolute", {{"ok.pdf", "a"}, {"/tmp/fora.pdf", "x"}}, "absolute"},
      {"drive", {{"C:/fora.pdf", "x"}}, "absolute"},
      {"backslash", {{"..\\fora.pdf", "x"}}, "backslash"},
      {"link", {{"ok.pdf", "a"}, {"atalho", "/etc/passwd", 0120777}}, "symbolic link"},
      {"device", {{"dev", "", 0020644}}, "not a regular file"},
      {"control", {{"a\nb.pdf", "x"}}, "control character"},
      {"repeated", {{"a.pdf", "1"}, {"./a.pdf", "2"}}, "repeats"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PrivateTempDir outer;
    const auto dir = outer.path() / "extract";
    fs::create_directory(dir);
    try {
      extractZip(makeZip(c.entries), dir);
      ADD_FAILURE() << "extracted";
    } catch (const ArchiveError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.why));
    }
    EXPECT_EQ(countEntries(outer.path()), 1u) << "only the empty folder is left";
  }
}

TEST(ExtractZip, NeverWritesThroughALinkFoundInTheFolder) {
  PrivateTempDir outer;
  const auto dir = outer.path() / "extract";
  const auto victim = outer.path() / "victim";
  fs::create_directory(dir);
  fs::create_directory(victim);
  std::ofstream(victim / "x.pdf") << "original";
  fs::create_directory_symlink(victim, dir / "sub");
  fs::create_symlink(victim / "x.pdf", dir / "x.pdf");

  EXPECT_THROW(extractZip(makeZip({{"sub/x.pdf", "evil"}}), dir), ArchiveError);
  EXPECT_THROW(extractZip(makeZip({{"x.pdf", "evil"}}), dir), ArchiveError);
  EXPECT_EQ(readFile(victim / "x.pdf"), "original");
}

TEST(ExtractZip, DamagedArchiveOrOneBeyondTheLimitsIsRefusedAndLeavesNothing) {
  PrivateTempDir dir;
  std::string zip = makeZip(
      {{"a.pdf", std::string(5000, 'a'), 0, true}, {"b.pdf", std::string(5000, 'b'), 0, true}});
  EXPECT_THROW(extractZip("not a zip archive", dir.path()), ArchiveError);
  EXPECT_THROW(extractZip(zip.substr(0, zip.size() / 2), dir.path()), ArchiveError);
  EXPECT_THROW(extractZip(zip, dir.path(), {.maxEntries = 1}), ArchiveError);
  EXPECT_THROW(extractZip(zip, dir.path(), {.maxTotalBytes = 6000}), ArchiveError);

  // Stored bytes altered: the checksum gives it away while writing, and what was written goes.
  const auto at = zip.find(std::string(50, 'b'));
  ASSERT_NE(at, std::string::npos);
  zip[at + 10] = 'X';
  EXPECT_THROW(extractZip(zip, dir.path()), ArchiveError);
  EXPECT_EQ(countEntries(dir.path()), 0u);
}

TEST(ExtractZip, ArchiveFileIsReadLikeItsBytes) {
  PrivateTempDir dir;
  const auto zipPath = dir.path() / "danfe.zip";
  std::ofstream(zipPath, std::ios::binary) << makeZip({{"n-nfe.pdf", "pdf"}});
  fs::create_directory(dir.path() / "out");
  const auto files = extractZipFile(zipPath, dir.path() / "out");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(readFile(files[0]), "pdf");
  EXPECT_THROW(extractZipFile(dir.path() / "none.zip", dir.path()), ArchiveError);
}
