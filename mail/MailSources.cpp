#include "mail/MailSources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "mail/Mbox.h"

namespace mailio {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool IsDir(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

bool IsMaildir(const fs::path& dir) { return IsDir(dir / "cur") || IsDir(dir / "new"); }

bool IsRegular(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

bool ReadWhole(const fs::path& path, std::string* bytes, std::string* error) {
  // A FIFO or a device would keep the read waiting: no message file.
  std::error_code ec;
  if (fs::exists(path, ec) && !IsRegular(path)) {
    *error = "cannot be read: not a regular file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = std::string("cannot be read: ") + std::strerror(errno);
    return false;
  }
  std::ostringstream out;
  out << in.rdbuf();
  *bytes = std::move(out).str();
  return true;
}

std::string ReadHead(const fs::path& path) {
  if (!IsRegular(path)) return {};
  std::ifstream in(path, std::ios::binary);
  std::string head(1024, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return head;
}

// Names in a directory, sorted, hidden ones left out unless asked for.
std::vector<fs::path> Entries(const fs::path& dir, bool withHidden = false) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!withHidden && name.starts_with('.')) continue;
    out.push_back(it->path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string StripSuffix(std::string name, std::initializer_list<const char*> suffixes) {
  for (const char* s : suffixes) {
    const std::string suffix = s;
    if (name.size() > suffix.size() && Lower(name).ends_with(suffix)) return name.substr(0, name.size() - suffix.size());
  }
  return name;
}

std::optional<LocalTime> LocalFromUnix(std::time_t t) {
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return std::nullopt;
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// A single message file: an mbox-style envelope line at its top is dropped
// (and gives the arrival time).
void OneFile(const fs::path& file, const std::string& folder, const std::function<void(SourceMessage&&)>& fn) {
  SourceMessage m{file.string(), 1, folder, {}, {}, FileArrival(file), {}};
  if (ReadWhole(file, &m.bytes, &m.error) && m.bytes.starts_with("From ")) {
    const auto eol = m.bytes.find('\n');
    m.fromLine = m.bytes.substr(0, eol);
    if (!m.fromLine.empty() && m.fromLine.back() == '\r') m.fromLine.pop_back();
    if (auto t = FromLineTime(m.fromLine)) m.arrival = t;
    m.bytes.erase(0, eol == std::string::npos ? m.bytes.size() : eol + 1);
  }
  fn(std::move(m));
}

bool MboxFile(const fs::path& file, const std::string& folder, const std::function<void(SourceMessage&&)>& fn,
              std::string* error) {
  return ReadMbox(
      file,
      [&](MboxMessage&& m) {
        auto arrival = FromLineTime(m.fromLine);
        fn({file.string(), m.number, folder, std::move(m.bytes), {}, arrival, std::move(m.fromLine)});
      },
      error);
}

std::vector<std::string> Plus(std::vector<std::string> levels, const std::string& more) {
  levels.push_back(more);
  return levels;
}

void Maildir(const fs::path& dir, const std::vector<std::string>& levels, bool root,
             const std::function<void(SourceMessage&&)>& fn) {
  const std::string folder = levels.empty() ? kInboxFolder : FolderNameFromLevels(levels);
  std::vector<fs::path> files;
  for (const char* sub : {"cur", "new"})
    for (const fs::path& p : Entries(dir / sub))
      if (!IsDir(p)) files.push_back(p);
  // Maildir names begin with the delivery time: name order is arrival order.
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
  for (const fs::path& f : files) OneFile(f, folder, fn);

  for (const fs::path& sub : Entries(dir, root)) {
    const std::string name = sub.filename().string();
    if (!IsDir(sub) || name == "cur" || name == "new" || name == "tmp") continue;
    if (root && name.starts_with('.')) {
      if (name == "." || name == ".." || !IsMaildir(sub)) continue;
      std::vector<std::string> nested = levels;
      std::stringstream parts(name.substr(1));  // Maildir++: ".Projects.2019"
      for (std::string part; std::getline(parts, part, '.');) nested.push_back(part);
      Maildir(sub, nested, false, fn);
    } else {
      Maildir(sub, Plus(levels, name), false, fn);
    }
  }
}

bool Directory(const fs::path& dir, const std::vector<std::string>& levels,
               const std::function<void(SourceMessage&&)>& fn, std::string* error) {
  const std::vector<std::string> below(levels.begin() + 1, levels.end());  // without the top directory
  for (const fs::path& entry : Entries(dir)) {
    const std::string name = entry.filename().string();
    if (IsDir(entry)) {
      if (IsMaildir(entry))
        Maildir(entry, Plus(below, name), false, fn);
      else if (!Directory(entry, Plus(levels, StripSuffix(name, {".sbd"})), fn, error))
        return false;
    } else if (Lower(name).ends_with(".eml")) {
      OneFile(entry, FolderNameFromLevels(levels), fn);
    } else if (LooksLikeMbox(ReadHead(entry))) {
      std::string readError;
      if (!MboxFile(entry, FolderNameFromLevels(Plus(below, StripSuffix(name, {".mbox", ".mbx"}))), fn, &readError))
        fn({entry.string(), 1, {}, {}, "cannot be read: " + readError, std::nullopt, {}});
    }
  }
  return true;
}

}  // namespace

std::optional<LocalTime> FileArrival(const fs::path& file) {
  const std::string name = file.filename().string();
  std::size_t digits = 0;
  while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[digits]))) ++digits;
  if (digits >= 9 && digits <= 11 && digits < name.size() && name[digits] == '.')
    return LocalFromUnix(static_cast<std::time_t>(std::stoll(name.substr(0, digits))));
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::nullopt;
  return LocalFromUnix(st.st_mtime);
}

std::string FolderNameFromLevels(const std::vector<std::string>& levels) {
  std::string name;
  for (std::string level : levels) {
    if (level.empty()) continue;
    std::replace(level.begin(), level.end(), '\\', '_');  // the level separator of Notes
    if (!name.empty()) name += '\\';
    name += level;
  }
  if (name.empty() || Lower(name) == "inbox") return kInboxFolder;
  return name;
}

std::string MaildirBaseName(const std::string& fileName) { return fileName.substr(0, fileName.find(':')); }

namespace {

// One maildir folder's message files: new/ and cur/ together, in base-name order.
void ListMaildirFolder(const fs::path& dir, const std::string& folder, MaildirListing& out) {
  std::vector<fs::path> files;
  for (const char* sub : {"new", "cur"})
    for (const fs::path& p : Entries(dir / sub)) {
      struct stat st {};
      // A dangling link stays in the list: reading it names why it fails.
      if (::stat(p.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (out.strNotRegular.empty()) out.strNotRegular = p.filename().string();
        continue;
      }
      files.push_back(p);
    }
  std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
    const std::string x = MaildirBaseName(a.filename().string()), y = MaildirBaseName(b.filename().string());
    return x != y ? x < y : a.filename() < b.filename();
  });
  for (fs::path& f : files) out.vecFiles.push_back({folder, std::move(f)});
}

std::vector<std::string> MaildirPlusLevels(const std::string& name) {
  std::vector<std::string> levels;
  std::stringstream parts(name.substr(1));  // ".Projects.2019"
  for (std::string part; std::getline(parts, part, '.');) levels.push_back(part);
  return levels;
}

}  // namespace

MaildirListing ListMaildir(const fs::path& root) {
  MaildirListing out;
  ListMaildirFolder(root, root.filename().string(), out);
  std::error_code ec;
  for (const fs::path& sub : Entries(root, true)) {
    const std::string name = sub.filename().string();
    if (name.size() < 2 || name[0] != '.' || name == ".." || !IsDir(sub / "cur")) continue;
    if (fs::is_symlink(sub, ec)) {
      out.vecLinkedFolders.push_back(FolderNameFromLevels(MaildirPlusLevels(name)));
      continue;
    }
    ListMaildirFolder(sub, FolderNameFromLevels(MaildirPlusLevels(name)), out);
  }
  return out;
}

std::optional<fs::path> FindMaildirMessage(const fs::path& file) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(file, ec))) return file;
  const fs::path folder = file.parent_path().parent_path();
  const std::string base = MaildirBaseName(file.filename().string());
  for (const char* sub : {"new", "cur"})
    for (const fs::path& p : Entries(folder / sub))
      if (MaildirBaseName(p.filename().string()) == base) return p;
  return std::nullopt;
}

bool ReadMaildirMessage(fs::path* file, std::string* bytes, std::string* error) {
  // Non-blocking: a FIFO swapped in after the listing opens at once and is
  // refused below instead of waiting for a writer.
  int fd = ::open(file->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    if (const auto moved = FindMaildirMessage(*file); moved && *moved != *file) {
      *file = *moved;
      fd = ::open(file->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
  }
  if (fd < 0) {
    *error = file->string() + " cannot be read: " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (ok && !S_ISREG(st.st_mode)) {
    ::close(fd);
    *error = "not a regular file: " + file->filename().string();
    return false;
  }
  bytes->clear();
  if (ok) bytes->reserve(static_cast<std::size_t>(st.st_size));
  char buf[1 << 16];
  while (ok) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    bytes->append(buf, static_cast<std::size_t>(n));
  }
  if (!ok) *error = file->string() + " cannot be read: " + std::strerror(errno);
  ::close(fd);
  return ok;
}

bool ForEachSourceMessage(const fs::path& source, const std::function<void(SourceMessage&&)>& onMessage,
                          std::string* error) {
  std::error_code ec;
  const fs::file_status status = fs::status(source, ec);
  if (ec || !fs::exists(status)) {
    *error = source.string() + ": no such file or directory";
    return false;
  }
  if (fs::is_directory(status)) {
    if (IsMaildir(source)) {
      Maildir(source, {}, true, onMessage);
      return true;
    }
    fs::path abs = fs::absolute(source, ec).lexically_normal();
    std::string top = abs.filename().string();
    if (top.empty()) top = abs.parent_path().filename().string();
    return Directory(source, {StripSuffix(top, {".sbd"})}, onMessage, error);
  }
  if (!fs::is_regular_file(status)) {
    *error = source.string() + ": cannot be read: not a regular file";
    return false;
  }
  if (LooksLikeMbox(ReadHead(source))) {
    std::string readError;
    const std::string folder = FolderNameFromLevels({StripSuffix(source.filename().string(), {".mbox", ".mbx"})});
    if (!MboxFile(source, folder, onMessage, &readError)) {
      *error = source.string() + ": cannot be read: " + readError;
      return false;
    }
    return true;
  }
  std::ifstream probe(source, std::ios::binary);
  if (!probe) {
    *error = source.string() + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  OneFile(source, kInboxFolder, onMessage);
  return true;
}

}  // namespace mailio
