#include "mail/MailCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mail/ImportReport.h"
#include "mail/MailDatabase.h"
#include "mail/MailSources.h"
#include "mail/Mbox.h"
#include "mail/MimeExport.h"
#include "mail/MimeImport.h"
#include "mail/VCard.h"
#include "platform/CreateNew.h"
#include "platform/File.h"

namespace mailio {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: nsftool import-mail DB.nsf SOURCE...\n"
    "       nsftool import-vcard DB.nsf FILE.vcf...\n"
    "       nsftool export-mail DB.nsf OUT.mbox|OUT/ [--folder NAME] [--maildir]\n"
    "       nsftool export-vcard DB.nsf OUT.vcf\n";

int Usage(const std::string& problem) {
  std::cerr << "nsftool: " << problem << "\n" << kUsage;
  return 2;
}

// Commits what is pending; documents that a failed commit took back are
// taken off the count. A database that this import created and that holds
// no document is removed again.
int Finish(MailDatabase& db, const std::string& dbPath, ImportReport& report, std::ostream& err) {
  if (!db.Finish())
    err << dbPath << ": cannot be written, " << db.LostCount() << " documents were not stored: " << db.BrokenReason()
        << "\n";
  report.Unimported(db.LostCount());
  report.PrintTotals();
  if (report.ImportedCount() == 0 && db.Created()) {
    std::error_code ec;
    fs::remove(dbPath, ec);
  }
  return db.Broken() ? 1 : report.ExitStatus();
}

bool IsMail(const Doc& doc) {
  const std::string form = doc.TextOf("Form");
  return doc.Find("Subject") || form == "Memo" || form == "Reply";
}

LocalTime EnvelopeTime(const Doc& doc) {
  if (const Item* posted = doc.Find("PostedDate"); posted && posted->kind == ItemKind::Time) return posted->time;
  return doc.created.value_or(LocalTime{});
}

// The From_ line the message came with, else one made from its fields.
std::string EnvelopeLine(const Doc& doc) {
  const Item* kept = doc.Find(kEnvelopeItem);
  if (kept && kept->kind == ItemKind::Text && kept->text.find('\n') == std::string::npos) return "From " + kept->text;
  return FromLine(EnvelopeSender(doc), EnvelopeTime(doc));
}

// Writes messages either to an mbox file or, one file each, into the cur/
// folder of a new maildir. A maildir's file names keep the export order.
class MailWriter {
public:
  bool Open(const fs::path& out, bool maildir, std::string* error) {
    m_bMaildir = maildir;
    if (!maildir) return m_mbox.Open(out, error);
    // Folders made new and owner-only, or real folders there already:
    // never reached through a link.
    for (const fs::path& dir : {out, out / "cur", out / "new", out / "tmp"}) {
      struct stat st {};
      if (platform::CreateNewDirectory(dir.string(), platform::Access::ownerOnly)) continue;
      if (errno == EEXIST && ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
      *error = dir.string() + (errno == EEXIST ? ": not a folder" : std::string(": ") + std::strerror(errno));
      return false;
    }
    m_dir = out;
    m_stamp = std::to_string(std::time(nullptr));
    return true;
  }
  void Append(const Doc& doc) {
    const std::string message = ExportMessage(doc);
    if (!m_bMaildir) return m_mbox.AppendWithFromLine(EnvelopeLine(doc), message);
    char sequence[16];
    std::snprintf(sequence, sizeof sequence, "%08zu", ++m_nCount);
    const fs::path file = m_dir / "cur" / (m_stamp + ".M" + sequence + "P" + std::to_string(::getpid()) + ".tarnwick:2,");
    const int fd = platform::CreateNewFile(file.string(), platform::Access::ownerOnly);
    const bool ok = fd >= 0 && platform::WriteAll(fd, message);
    if (fd >= 0 && ::close(fd) != 0) m_bFailed = true;
    if (!ok) m_bFailed = true;
  }
  bool Close(std::string* error) {
    if (!m_bMaildir) return m_mbox.Close(error);
    if (m_bFailed) *error = "cannot write " + m_dir.string();
    return !m_bFailed;
  }

private:
  bool m_bMaildir = false;
  MboxWriter m_mbox;
  fs::path m_dir;
  std::string m_stamp;
  std::size_t m_nCount = 0;
  bool m_bFailed = false;
};

// The files named, with a directory standing for the .vcf files below it
// (in name order).
std::vector<std::string> VCardFiles(const std::vector<std::string>& sources) {
  std::vector<std::string> files;
  for (const std::string& source : sources) {
    std::error_code ec;
    if (!fs::is_directory(source, ec)) {
      files.push_back(source);
      continue;
    }
    std::vector<std::string> found;
    for (fs::recursive_directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
      std::string ext = it->path().extension().string();
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (ext == ".vcf" && !it->is_directory()) found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

}  // namespace

const char* MailUsage() { return kUsage + 7; }  // without "usage: "

bool IsMailCommand(const std::string& command) {
  return command == "import-mail" || command == "import-vcard" || command == "export-mail" ||
         command == "export-vcard";
}

int ImportMail(const std::string& dbPath, const std::vector<std::string>& sources, std::ostream& out,
               std::ostream& err) {
  std::string error;
  std::unique_ptr<MailDatabase> db = MailDatabase::OpenForImport(dbPath, Design::Mail, &error);
  if (!db) {
    err << error << "\n";
    return 1;
  }
  ImportReport report("message", out, err);
  TuneAllocatorForImport();
  for (const std::string& source : sources) {
    const bool readable = ForEachSourceMessage(
        source,
        [&](SourceMessage&& m) {
          if (db->Broken()) return;  // reported once by Finish
          if (!m.error.empty()) return report.Skipped(m.file, m.number, m.error);
          try {
            MessageResult r = ImportOwnedMessage(std::move(m.bytes));
            std::string storeError;
            if (r.doc && !r.doc->created) r.doc->created = m.arrival;
            if (r.doc && m.fromLine.size() > 5 && IsValidUtf8(m.fromLine))
              r.doc->items.push_back(Item::MakeText(kEnvelopeItem, m.fromLine.substr(5)));
            if (!r.doc) report.Skipped(m.file, m.number, r.error);
            else if (!db->Add(std::move(*r.doc), TargetFolder(m.folder), &storeError))
              report.Skipped(m.file, m.number, storeError);
            else
              report.Imported();
          } catch (const std::exception& e) {  // out of memory on a giant message, say
            report.Skipped(m.file, m.number, std::string("cannot be read: ") + e.what());
          }
        },
        &error);
    if (!readable) report.SourceFailed(error);
  }
  return Finish(*db, dbPath, report, err);
}

int ImportVCards(const std::string& dbPath, const std::vector<std::string>& files, std::ostream& out,
                 std::ostream& err) {
  std::string error;
  std::unique_ptr<MailDatabase> db = MailDatabase::OpenForImport(dbPath, Design::Contacts, &error);
  if (!db) {
    err << error << "\n";
    return 1;
  }
  ImportReport report("card", out, err);
  for (const std::string& file : VCardFiles(files)) {
    std::ifstream in(file, std::ios::binary);
    if (!in || fs::is_directory(file)) {
      report.SourceFailed(file + ": cannot be read");
      continue;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    ReadVCards(bytes.str(), [&](CardResult&& card) {
      if (db->Broken()) return;  // reported once by Finish
      std::string storeError;
      if (!card.doc) report.Skipped(file, card.number, card.error);
      else if (!db->Add(*card.doc, "", &storeError)) report.Skipped(file, card.number, storeError);
      else report.Imported();
    });
  }
  return Finish(*db, dbPath, report, err);
}

int ExportMail(const std::string& dbPath, const std::string& outPath, const std::optional<std::string>& folder,
               std::ostream& out, std::ostream& err, bool maildir) {
  MailWriter writer;
  std::string error;
  std::size_t count = 0;
  // The database is read first into the file, so a database that fails to
  // open leaves no empty output behind.
  std::error_code ec;
  if (!fs::exists(dbPath, ec)) {
    err << dbPath << ": no such database\n";
    return 1;
  }
  if (maildir && fs::exists(outPath, ec) && !fs::is_empty(outPath, ec)) {
    err << outPath << ": cannot be written: a maildir is only made in a new or empty folder\n";
    return 1;
  }
  if (!writer.Open(outPath, maildir, &error)) {
    err << outPath << ": cannot be written: " << error << "\n";
    return 1;
  }
  const bool read = ReadDocuments(
      dbPath, folder,
      [&](NOTEID, Doc&& doc) {
        if (!IsMail(doc)) return;
        writer.Append(doc);
        ++count;
      },
      &error);
  std::string closeError;
  const bool closed = writer.Close(&closeError);
  if (!read || !closed) {
    err << (read ? closeError : error) << "\n";
    fs::remove_all(outPath, ec);
    return 1;
  }
  out << "exported: " << count << "\n";
  return 0;
}

int ExportVCards(const std::string& dbPath, const std::string& outPath, std::ostream& out, std::ostream& err) {
  std::string cards, error;
  std::size_t count = 0;
  const bool read = ReadDocuments(
      dbPath, std::nullopt,
      [&](NOTEID, Doc&& doc) {
        if (doc.TextOf("Form") != "Person") return;
        cards += WriteVCard(doc);
        ++count;
      },
      &error);
  if (!read) {
    err << error << "\n";
    return 1;
  }
  std::ofstream file(outPath, std::ios::binary | std::ios::trunc);
  file << cards;
  file.close();
  if (!file) {
    err << outPath << ": cannot be written\n";
    std::error_code ec;
    fs::remove(outPath, ec);
    return 1;
  }
  out << "exported: " << count << "\n";
  return 0;
}

int RunMailCommand(const std::string& command, const std::vector<std::string>& args) {
  if (command == "import-mail" || command == "import-vcard") {
    if (args.size() < 2) return Usage(command + " needs a database and at least one source");
    const std::vector<std::string> sources(args.begin() + 1, args.end());
    return command == "import-mail" ? ImportMail(args[0], sources, std::cout, std::cerr)
                                    : ImportVCards(args[0], sources, std::cout, std::cerr);
  }
  if (command == "export-mail") {
    std::vector<std::string> paths;
    std::optional<std::string> folder;
    bool maildir = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (args[i] == "--maildir") {
        maildir = true;
      } else if (args[i] == "--folder") {
        if (i + 1 == args.size()) return Usage("--folder needs a folder name");
        folder = args[++i];
      } else {
        paths.push_back(args[i]);
      }
    }
    if (paths.size() != 2) return Usage("export-mail needs a database and an output file");
    // A target written as a folder ("OUT/") is a maildir as well.
    maildir = maildir || paths[1].ends_with('/');
    return ExportMail(paths[0], paths[1], folder, std::cout, std::cerr, maildir);
  }
  if (command == "export-vcard") {
    if (args.size() != 2) return Usage("export-vcard needs a database and an output file");
    return ExportVCards(args[0], args[1], std::cout, std::cerr);
  }
  return Usage("unknown command " + command);
}

}  // namespace mailio
