#include "tests/mailio/MailTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "mail/MailDatabase.h"

namespace mailio {

void PrintTo(const Item& item, std::ostream* os) {
  *os << item.name << "=";
  switch (item.kind) {
    case ItemKind::Text: *os << "text:" << ::testing::PrintToString(item.text); break;
    case ItemKind::TextList: *os << "list:" << ::testing::PrintToString(item.list); break;
    case ItemKind::Time:
      *os << "time:" << item.time.year << "-" << item.time.month << "-" << item.time.day << " " << item.time.hour
          << ":" << item.time.minute << ":" << item.time.second;
      break;
    case ItemKind::RichText:
      *os << "rich:[";
      for (const RichRecord& r : item.rich)
        *os << (r.kind == RichRecord::Kind::Picture ? "<picture " + std::to_string(r.gif.size()) + ">"
                                                    : ::testing::PrintToString(r.text))
            << " ";
      *os << "]";
      break;
    case ItemKind::Html: *os << "html:" << ::testing::PrintToString(item.text); break;
    case ItemKind::Attachment: *os << "file:" << item.fileName << " (" << item.bytes.size() << " bytes)"; break;
    case ItemKind::Raw: *os << "raw " << item.rawType << ":" << ::testing::PrintToString(item.bytes.substr(0, 200)); break;
  }
}

}  // namespace mailio

namespace mailtest {

namespace fs = std::filesystem;

fs::path DataDir() { return fs::path(TARNWICK_SOURCE_DIR) / "tests/data/mail"; }

std::vector<std::pair<NOTEID, mailio::Doc>> ReadAll(const fs::path& db, const std::optional<std::string>& folder) {
  std::vector<std::pair<NOTEID, mailio::Doc>> docs;
  std::string error;
  const bool ok = mailio::ReadDocuments(
      db.string(), folder, [&](NOTEID id, mailio::Doc&& doc) { docs.emplace_back(id, std::move(doc)); }, &error);
  EXPECT_TRUE(ok) << error;
  return docs;
}

std::vector<mailio::Doc> WithoutEnvelope(const std::vector<std::pair<NOTEID, mailio::Doc>>& docs) {
  std::vector<mailio::Doc> out;
  for (const auto& [id, doc] : docs) {
    mailio::Doc copy = doc;
    std::erase_if(copy.items, [](const mailio::Item& i) { return i.name == mailio::kEnvelopeItem; });
    // An mbox holds only messages that end with a line end.
    for (mailio::Item& item : copy.items)
      if (item.name == mailio::kOriginalMessageItem && !item.bytes.ends_with('\n')) item.bytes += '\n';
    out.push_back(std::move(copy));
  }
  return out;
}

std::pair<int, std::string> Run(const std::string& commandLine) {
  std::string output;
  FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, "cannot start: " + commandLine};
  std::array<char, 4096> buf{};
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) output.append(buf.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::optional<fs::path> DebianPackageFiles(const std::string& package) {
  const fs::path cache = fs::path(TARNWICK_BINARY_DIR) / "test-cache" / "debian";
  const fs::path done = cache / package;
  if (fs::is_directory(done)) return done;
  if (std::getenv("TARNWICK_NO_DOWNLOADS")) return std::nullopt;
  std::error_code ec;
  fs::create_directories(cache, ec);
  // Unpacked beside the cache and renamed into place, so tests that run at
  // the same time never see half a package.
  const fs::path work = cache / (package + ".tmp-" + std::to_string(getpid()));
  fs::create_directories(work, ec);
  const std::string cmd = "cd '" + work.string() + "' && timeout 120 apt-get download -q " + package +
                          " >/dev/null 2>&1 && dpkg-deb -x " + package + "_*.deb files";
  const bool ok = Run(cmd).first == 0 && fs::is_directory(work / "files");
  if (ok) fs::rename(work / "files", done, ec);
  fs::remove_all(work, ec);
  if (fs::is_directory(done)) return done;
  return std::nullopt;
}

MailTest::MailTest() {
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
}

}  // namespace mailtest
