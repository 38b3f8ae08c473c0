#include "host/Archive.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace host {

// ---- PrivateTempDir ---------------------------------------------------------------------

PrivateTempDir::PrivateTempDir(std::string_view prefix) {
  std::error_code ec;
  auto base = std::filesystem::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string tmpl = (base / (std::string(prefix) + "XXXXXX")).string();
  if (::mkdtemp(tmpl.data()) == nullptr)  // mode 0700
    throw ArchiveError(fmt::format("cannot make a private temporary folder in {}: {}",
                                   base.string(), std::strerror(errno)));
  path_ = tmpl;
}

PrivateTempDir::PrivateTempDir(PrivateTempDir&& other) noexcept : path_(std::move(other.path_)) {
  other.path_.clear();
}

PrivateTempDir& PrivateTempDir::operator=(PrivateTempDir&& other) noexcept {
  if (this != &other) {
    remove();
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

PrivateTempDir::~PrivateTempDir() {
  remove();
}

void PrivateTempDir::remove() noexcept {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  path_.clear();
}

// ---- extraction ---------------------------------------------------------------------------

namespace {

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = o.fd_;
      o.fd_ = -1;
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

/// One entry as checked: its path components and whether it is a folder.
struct Entry {
  zip_uint64_t index = 0;
  std::string name;
  std::vector<std::string> parts;
  bool folder = false;
};

[[noreturn]] void refuse(const std::string& name, const std::string& why) {
  throw ArchiveError(fmt::format("archive refused: the entry \"{}\" {}", name, why));
}

Entry checkEntry(zip_t* za, zip_uint64_t i) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(za, i, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
    throw ArchiveError(
        fmt::format("archive refused: entry {} cannot be read: {}", i, zip_strerror(za)));
  Entry e;
  e.index = i;
  e.name = st.name;
  if (e.name.empty()) refuse(e.name, "has no name");
  for (unsigned char c : e.name)
    if (c < 0x20 || c == 0x7f) refuse(e.name, "holds a control character");
  if (e.name.find('\\') != std::string::npos) refuse(e.name, "holds a backslash");
  if (e.name.front() == '/') refuse(e.name, "is an absolute path");
  if (e.name.size() >= 2 && e.name[1] == ':' && std::isalpha(static_cast<unsigned char>(e.name[0])))
    refuse(e.name, "is an absolute path");
  std::stringstream parts(e.name);
  for (std::string part; std::getline(parts, part, '/');) {
    if (part == "..") refuse(e.name, "leaves the folder (\"..\")");
    if (part.empty() || part == ".") continue;
    e.parts.push_back(part);
  }
  if (e.parts.empty()) refuse(e.name, "names no file");
  e.folder = e.name.back() == '/';

  zip_uint8_t opsys = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(za, i, 0, &opsys, &attributes) == 0 &&
      opsys == ZIP_OPSYS_UNIX) {
    const auto type = (attributes >> 16) & S_IFMT;
    if (type == S_IFLNK) refuse(e.name, "is a symbolic link");
    if (type == S_IFDIR)
      e.folder = true;
    else if (type != 0 && type != S_IFREG)
      refuse(e.name, "is not a regular file");
  }
  if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
    refuse(e.name, "is encrypted");
  return e;
}

/// Opens (making it when missing) the folder `parts` below `root`, never through a link.
Fd openFolder(int root, const std::vector<std::string>& parts, size_t count,
              std::vector<std::filesystem::path>& made, const std::filesystem::path& base,
              const std::string& entry) {
  Fd dir(::dup(root));
  std::filesystem::path at = base;
  for (size_t k = 0; k < count; ++k) {
    at /= parts[k];
    if (::mkdirat(dir.get(), parts[k].c_str(), 0700) == 0)
      made.push_back(at);
    else if (errno != EEXIST)
      refuse(entry, fmt::format("cannot be written: {}", std::strerror(errno)));
    Fd next(::openat(dir.get(), parts[k].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.get() < 0) refuse(entry, "would be written through a link or over a file");
    dir = std::move(next);
  }
  return dir;
}

std::vector<std::filesystem::path> extract(zip_t* za, const std::filesystem::path& folder,
                                           const ExtractLimits& limits) {
  const zip_int64_t count = zip_get_num_entries(za, 0);
  if (count < 0) throw ArchiveError("archive refused: its entries cannot be read");
  if (static_cast<uint64_t>(count) > limits.maxEntries)
    throw ArchiveError(fmt::format("archive refused: {} entries, more than the {} allowed", count,
                                   limits.maxEntries));

  // Everything is checked before anything is written.
  std::vector<Entry> entries;
  std::set<std::string> seen;
  uint64_t declared = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    Entry e = checkEntry(za, static_cast<zip_uint64_t>(i));
    std::string key;
    for (const auto& p : e.parts) key += "/" + p;
    if (!seen.insert(key).second) refuse(e.name, "repeats an earlier entry");
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, e.index, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE)) declared += st.size;
    entries.push_back(std::move(e));
  }
  if (declared > limits.maxTotalBytes)
    throw ArchiveError(
        fmt::format("archive refused: it unpacks to {} bytes, more than the {} allowed", declared,
                    limits.maxTotalBytes));

  Fd root(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (root.get() < 0)
    throw ArchiveError(
        fmt::format("cannot extract into {}: {}", folder.string(), std::strerror(errno)));

  std::vector<std::filesystem::path> written, made;
  try {
    uint64_t total = 0;
    std::vector<char> buf(64 * 1024);
    for (const auto& e : entries) {
      if (e.folder) {
        openFolder(root.get(), e.parts, e.parts.size(), made, folder, e.name);
        continue;
      }
      Fd dir = openFolder(root.get(), e.parts, e.parts.size() - 1, made, folder, e.name);
      ZipFilePtr in(zip_fopen_index(za, e.index, 0));
      if (!in) refuse(e.name, fmt::format("cannot be read: {}", zip_strerror(za)));
      const std::string& leaf = e.parts.back();
      Fd out(::openat(dir.get(), leaf.c_str(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (out.get() < 0) refuse(e.name, fmt::format("cannot be written: {}", std::strerror(errno)));
      std::filesystem::path target = folder;
      for (const auto& p : e.parts) target /= p;
      written.push_back(target);
      for (;;) {
        const zip_int64_t n = zip_fread(in.get(), buf.data(), buf.size());
        if (n < 0) refuse(e.name, fmt::format("is damaged: {}", zip_file_strerror(in.get())));
        if (n == 0) break;
        total += static_cast<uint64_t>(n);
        if (total > limits.maxTotalBytes)
          throw ArchiveError(
              fmt::format("archive refused: it unpacks to more than the {} bytes allowed",
                          limits.maxTotalBytes));
        for (zip_int64_t done = 0; done < n;) {
          const ssize_t w = ::write(out.get(), buf.data() + done, static_cast<size_t>(n - done));
          if (w < 0 && errno == EINTR) continue;
          if (w < 0) refuse(e.name, fmt::format("cannot be written: {}", std::strerror(errno)));
          done += w;
        }
      }
      // A failed close may be the write that did not reach the disk.
      if (::close(out.release()) != 0)
        refuse(e.name, fmt::format("cannot be written: {}", std::strerror(errno)));
    }
  } catch (...) {
    std::error_code ec;
    for (auto it = written.rbegin(); it != written.rend(); ++it) std::filesystem::remove(*it, ec);
    for (auto it = made.rbegin(); it != made.rend(); ++it) std::filesystem::remove(*it, ec);
    throw;
  }
  return written;
}

}  // namespace

std::vector<std::filesystem::path> extractZip(std::string_view archive,
                                              const std::filesystem::path& folder,
                                              const ExtractLimits& limits) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_buffer_create(archive.data(), archive.size(), 0, &error);
  if (!src) {
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw ArchiveError("cannot open the archive: " + why);
  }
  ZipPtr za(zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &error));
  if (!za) {
    zip_source_free(src);
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw ArchiveError("archive refused: it is not a zip archive (" + why + ")");
  }
  zip_error_fini(&error);
  return extract(za.get(), folder, limits);
}

std::vector<std::filesystem::path> extractZipFile(const std::filesystem::path& archive,
                                                  const std::filesystem::path& folder,
                                                  const ExtractLimits& limits) {
  std::ifstream in(archive, std::ios::binary);
  if (!in) throw ArchiveError(fmt::format("cannot read the archive {}", archive.string()));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw ArchiveError(fmt::format("cannot read the archive {}", archive.string()));
  return extractZip(bytes.str(), folder, limits);
}

}  // namespace host
