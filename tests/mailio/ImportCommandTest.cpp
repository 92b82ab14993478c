// The import and export commands on databases: folders, design, counts,
// skipped input, round trips.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>

#include "lnapi/store/Store.h"
#include "tests/mailio/MailTestSupport.h"
#include "mail/MailCommands.h"
#include "mail/MailDatabase.h"
#include "mail/Mbox.h"

using namespace mailio;
using mailtest::MailTest;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> DesignNames(const fs::path& db) {
  std::vector<std::string> names;
  auto store = lnapi::store::Store::Open(db.string(), lnapi::store::Store::Mode::readOnly);
  for (const auto& row : store->ListDesignNotes()) names.push_back(row.strName);
  return names;
}

std::vector<std::string> Subjects(const std::vector<std::pair<NOTEID, Doc>>& docs) {
  std::vector<std::string> out;
  for (const auto& [id, doc] : docs) out.push_back(doc.TextOf("Subject"));
  return out;
}

}  // namespace

TEST_F(MailTest, MboxImportSkipsBadMessagesNamingFileNumberAndReason) {
  const fs::path db = m_tmp / "mail.nsf";
  const fs::path inbox = m_tmp / "INBOX";
  fs::copy_file(mailtest::DataDir() / "sample.mbox", inbox);
  EXPECT_EQ(ImportMail(db, {inbox.string()}, m_out, m_err), 0);
  EXPECT_EQ(m_err.str(), inbox.string() + ": message 4: skipped: does not start with header lines\n");
  EXPECT_EQ(m_out.str(), "imported: 4\nskipped: 1\nskipped (does not start with header lines): 1\n");
  // An mbox named INBOX is the inbox; the standard mail design is there.
  EXPECT_EQ(DesignNames(db), (std::vector<std::string>{"($Inbox)", "($Sent)", "($Drafts)", "($All)", "($SoftDeletions)"}));
  EXPECT_EQ(Subjects(mailtest::ReadAll(db, "($Inbox)")),
            (std::vector<std::string>{"Quartalsbericht für März", "Spring news", "Files for you", "undated"}));
  // Without a Date the created time is the arrival time of the From_ line.
  EXPECT_EQ(mailtest::ReadAll(db).at(3).second.created, (LocalTime{2010, 3, 9, 0, 0, 0}));
}

TEST_F(MailTest, MaildirSubfoldersBecomeNestedFolders) {
  const fs::path md = m_tmp / "Maildir";
  auto message = [](const std::string& subject) {
    return "From: a@example.org\nSubject: " + subject + "\nDate: Mon, 1 Mar 2021 10:00:00 +0100\n\nbody\n";
  };
  testsupport::WriteFile(md / "cur/1614589200.1.host:2,S", message("in the inbox"));
  testsupport::WriteFile(md / "new/1614589300.2.host", message("new in the inbox"));
  testsupport::WriteFile(md / "tmp/1614589400.3.host", message("still being delivered"));
  testsupport::WriteFile(md / ".Projects.2019/cur/1.x:2,", message("maildir++ nested"));
  fs::create_directories(md / ".Projects/cur");
  testsupport::WriteFile(md / "Archive/Old/new/2.x", message("plain nested"));
  testsupport::WriteFile(md / ".Sent/cur/3.x:2,S", message("sent one"));
  EXPECT_EQ(ImportMail(m_tmp / "m.nsf", {md.string()}, m_out, m_err), 0) << m_err.str();
  EXPECT_EQ(Subjects(mailtest::ReadAll(m_tmp / "m.nsf", "($Inbox)")),
            (std::vector<std::string>{"in the inbox", "new in the inbox"}));
  EXPECT_EQ(Subjects(mailtest::ReadAll(m_tmp / "m.nsf", "Projects\\2019")), (std::vector<std::string>{"maildir++ nested"}));
  EXPECT_EQ(Subjects(mailtest::ReadAll(m_tmp / "m.nsf", "Archive\\Old")), (std::vector<std::string>{"plain nested"}));
  EXPECT_EQ(Subjects(mailtest::ReadAll(m_tmp / "m.nsf", "($Sent)")), (std::vector<std::string>{"sent one"}));
  const std::vector<std::string> names = DesignNames(m_tmp / "m.nsf");
  EXPECT_NE(std::find(names.begin(), names.end(), "Projects"), names.end());  // parent level too
  EXPECT_NE(std::find(names.begin(), names.end(), "Archive"), names.end());
}

TEST_F(MailTest, EmlFilesAndFoldersOfThem) {
  const fs::path dir = m_tmp / "Clients";
  testsupport::WriteFile(dir / "a.eml", "From: a@example.org\nSubject: a\n\nx\n");
  testsupport::WriteFile(dir / "Acme/b.EML", "From x@y Fri Mar  5 14:07:09 2010\nFrom: b@example.org\nSubject: b\n\nx\n");
  testsupport::WriteFile(dir / "notes.txt", "not looked at");
  fs::copy_file(mailtest::DataDir() / "single.eml", m_tmp / "single.eml");
  EXPECT_EQ(ImportMail(m_tmp / "e.nsf", {dir.string(), (m_tmp / "single.eml").string()}, m_out, m_err), 0);
  EXPECT_EQ(m_err.str(), "");
  EXPECT_EQ(Subjects(mailtest::ReadAll(m_tmp / "e.nsf", "Clients")), (std::vector<std::string>{"a"}));
  EXPECT_EQ(Subjects(mailtest::ReadAll(m_tmp / "e.nsf", "Clients\\Acme")), (std::vector<std::string>{"b"}));
  EXPECT_EQ(Subjects(mailtest::ReadAll(m_tmp / "e.nsf", "($Inbox)")), (std::vector<std::string>{"only subject"}));
}

TEST_F(MailTest, NothingImportedExitsOneAndLeavesNoNewDatabase) {
  testsupport::WriteFile(m_tmp / "junk.eml", "just words\n");
  EXPECT_EQ(ImportMail(m_tmp / "none.nsf", {(m_tmp / "junk.eml").string(), (m_tmp / "missing").string()}, m_out, m_err), 1);
  EXPECT_NE(m_err.str().find("junk.eml: message 1: skipped: does not start with header lines"), std::string::npos);
  EXPECT_NE(m_err.str().find("missing: no such file or directory"), std::string::npos);
  EXPECT_EQ(m_out.str(), "imported: 0\nskipped: 1\nskipped (does not start with header lines): 1\n");
  EXPECT_FALSE(fs::exists(m_tmp / "none.nsf"));
}

TEST_F(MailTest, ImportAddsToAnExistingDatabase) {
  const fs::path db = m_tmp / "mail.nsf";
  testsupport::WriteFile(m_tmp / "one.eml", "From: a@example.org\nSubject: one\n\nx\n");
  testsupport::WriteFile(m_tmp / "two.eml", "From: a@example.org\nSubject: two\n\nx\n");
  ASSERT_EQ(ImportMail(db, {(m_tmp / "one.eml").string()}, m_out, m_err), 0);
  ASSERT_EQ(ImportMail(db, {(m_tmp / "two.eml").string()}, m_out, m_err), 0);
  EXPECT_EQ(Subjects(mailtest::ReadAll(db, "($Inbox)")), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(DesignNames(db).size(), 5u);  // the design is not made twice
}

// Messages are stored in batches without a savepoint each: one that the
// database refuses half way must take only itself back, in a folder made for
// it as well as in one that was there.
TEST_F(MailTest, AMessageTheDatabaseRefusesIsSkippedAloneAndTheBatchIsKept) {
  const fs::path db = m_tmp / "mail.nsf";
  testsupport::WriteFile(m_tmp / "first.eml", "From: a@example.org\nSubject: first\n\nx\n");
  ASSERT_EQ(ImportMail(db, {(m_tmp / "first.eml").string()}, m_out, m_err), 0);
  sqlite3* raw = nullptr;  // a store that fails on one value, as a full disk or a broken page would
  ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(raw,
                         "CREATE TRIGGER poison BEFORE INSERT ON items WHEN NEW.name = 'Subject' AND "
                         "CAST(NEW.value AS TEXT) LIKE 'poison%' BEGIN SELECT RAISE(ABORT, 'refused'); END",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(raw);
  auto mbox = [](const std::vector<std::string>& subjects) {
    std::string out;
    for (const std::string& s : subjects)
      out += "From a@example.org Mon Mar  1 10:00:00 2021\nFrom: a@example.org\nSubject: " + s + "\n\nx\n\n";
    return out;
  };
  testsupport::WriteFile(m_tmp / "INBOX", mbox({"two", "poison one", "three"}));
  testsupport::WriteFile(m_tmp / "Projects", mbox({"poison two", "four"}));
  EXPECT_EQ(ImportMail(db, {(m_tmp / "INBOX").string(), (m_tmp / "Projects").string()}, m_out, m_err), 0);
  EXPECT_NE(m_err.str().find("INBOX: message 2: skipped: cannot be stored: "), std::string::npos) << m_err.str();
  EXPECT_NE(m_err.str().find("Projects: message 1: skipped: cannot be stored: "), std::string::npos);
  EXPECT_EQ(Subjects(mailtest::ReadAll(db, "($Inbox)")), (std::vector<std::string>{"first", "two", "three"}));
  EXPECT_EQ(Subjects(mailtest::ReadAll(db, "Projects")), (std::vector<std::string>{"four"}));
  EXPECT_EQ(mailtest::ReadAll(db).size(), 4u);
}

TEST_F(MailTest, ImportRefusesAFileThatIsNoDatabase) {
  testsupport::WriteFile(m_tmp / "text.nsf", "hello");
  testsupport::WriteFile(m_tmp / "one.eml", "From: a@example.org\nSubject: one\n\nx\n");
  EXPECT_EQ(ImportMail(m_tmp / "text.nsf", {(m_tmp / "one.eml").string()}, m_out, m_err), 1);
  EXPECT_NE(m_err.str().find("text.nsf"), std::string::npos);
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "text.nsf"), "hello");
}

TEST_F(MailTest, MailRoundTripGivesTheSameDocuments) {
  const fs::path inbox = m_tmp / "Inbox";
  fs::copy_file(mailtest::DataDir() / "sample.mbox", inbox);
  ASSERT_EQ(ImportMail(m_tmp / "first.nsf", {inbox.string()}, m_out, m_err), 0);
  ASSERT_EQ(ExportMail(m_tmp / "first.nsf", m_tmp / "out.mbox", std::nullopt, m_out, m_err), 0) << m_err.str();
  fs::rename(m_tmp / "out.mbox", m_tmp / "INBOX");
  ASSERT_EQ(ImportMail(m_tmp / "second.nsf", {(m_tmp / "INBOX").string()}, m_out, m_err), 0);
  const auto first = mailtest::ReadAll(m_tmp / "first.nsf"), second = mailtest::ReadAll(m_tmp / "second.nsf");
  ASSERT_EQ(first.size(), 4u);
  ASSERT_EQ(second.size(), first.size());
  const auto a = mailtest::WithoutEnvelope(first), b = mailtest::WithoutEnvelope(second);
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].items, b[i].items) << a[i].TextOf("Subject");
    EXPECT_EQ(a[i].created, b[i].created);
  }
}

TEST_F(MailTest, ExportOfAFolderAndOfNothingThatIsMissing) {
  const fs::path inbox = m_tmp / "Work";
  fs::copy_file(mailtest::DataDir() / "sample.mbox", inbox);
  ASSERT_EQ(ImportMail(m_tmp / "m.nsf", {inbox.string()}, m_out, m_err), 0);
  EXPECT_EQ(ExportMail(m_tmp / "m.nsf", m_tmp / "work.mbox", std::string("Work"), m_out, m_err), 0);
  EXPECT_NE(m_out.str().find("exported: 4\n"), std::string::npos);
  EXPECT_EQ(ExportMail(m_tmp / "m.nsf", m_tmp / "x.mbox", std::string("No Such"), m_out, m_err), 1);
  EXPECT_NE(m_err.str().find("no folder or view named No Such"), std::string::npos);
  EXPECT_FALSE(fs::exists(m_tmp / "x.mbox"));
  EXPECT_EQ(ExportMail(m_tmp / "absent.nsf", m_tmp / "y.mbox", std::nullopt, m_out, m_err), 1);
  EXPECT_FALSE(fs::exists(m_tmp / "y.mbox"));
}

TEST_F(MailTest, ExportLeavesOutDocumentsInTheTrash) {
  const fs::path inbox = m_tmp / "Inbox";
  fs::copy_file(mailtest::DataDir() / "sample.mbox", inbox);
  ASSERT_EQ(ImportMail(m_tmp / "m.nsf", {inbox.string()}, m_out, m_err), 0);
  const auto docs = mailtest::ReadAll(m_tmp / "m.nsf");
  lnapi::store::Store::Open((m_tmp / "m.nsf").string())->MoveToTrash(docs.at(1).first);
  ASSERT_EQ(ExportMail(m_tmp / "m.nsf", m_tmp / "out.mbox", std::nullopt, m_out, m_err), 0);
  const std::string mbox = testsupport::ReadFile(m_tmp / "out.mbox");
  EXPECT_EQ(mbox.find("Subject: Spring news"), std::string::npos);
  EXPECT_NE(mbox.find("Subject: Files for you"), std::string::npos);
}

TEST_F(MailTest, ContactsImportAndRoundTrip) {
  const fs::path db = m_tmp / "names.nsf";
  std::vector<std::string> files;
  for (const char* f : {"v21.vcf", "v30.vcf", "v40-and-broken.vcf"}) files.push_back((mailtest::DataDir() / f).string());
  EXPECT_EQ(ImportVCards(db, files, m_out, m_err), 0);
  EXPECT_EQ(m_out.str(),
            "imported: 3\nskipped: 2\nskipped (card has no END:VCARD line): 1\n"
            "skipped (card has no name, e-mail address or phone number): 1\n");
  EXPECT_NE(m_err.str().find("v40-and-broken.vcf: card 2: skipped: card has no name"), std::string::npos);
  EXPECT_EQ(DesignNames(db), (std::vector<std::string>{"My Contacts", "($People)"}));
  EXPECT_EQ(mailtest::ReadAll(db, "($People)").size(), 3u);

  ASSERT_EQ(ExportVCards(db, m_tmp / "out.vcf", m_out, m_err), 0);
  ASSERT_EQ(ImportVCards(m_tmp / "again.nsf", {(m_tmp / "out.vcf").string()}, m_out, m_err), 0);
  const auto first = mailtest::ReadAll(db), second = mailtest::ReadAll(m_tmp / "again.nsf");
  ASSERT_EQ(first.size(), second.size());
  for (std::size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i].second.items, second[i].second.items);
}

// Random damage to an mbox never stops an import: every message the file
// holds is either imported or reported, and the database holds exactly the
// imported ones.
TEST_F(MailTest, DamagedMboxNeverStopsTheImport) {
  const std::string seed = testsupport::ReadFile(mailtest::DataDir() / "sample.mbox");
  std::mt19937 rng(77);
  for (int round = 0; round < 25; ++round) {
    std::string input = seed;
    for (int e = 0; e < 12 && !input.empty(); ++e) {
      const std::size_t at = rng() % input.size();
      if (rng() % 2) input.erase(at, 1 + rng() % 40);
      else input.insert(at, 1, "\n:-=;\"<>\x80\xff"[rng() % 10]);
    }
    const fs::path mbox = m_tmp / ("r" + std::to_string(round)), db = m_tmp / ("r" + std::to_string(round) + ".nsf");
    testsupport::WriteFile(mbox, "From x Fri Mar  5 14:07:09 2010\n" + input);
    std::size_t messages = 0;
    SplitMbox(testsupport::ReadFile(mbox), [&](MboxMessage&&) { ++messages; });
    std::ostringstream out, err;
    const int status = ImportMail(db, {mbox.string()}, out, err);
    const std::size_t stored = fs::exists(db) ? mailtest::ReadAll(db).size() : 0;
    std::size_t skipped = 0;
    for (std::size_t at = err.str().find(": skipped: "); at != std::string::npos; at = err.str().find(": skipped: ", at + 1))
      ++skipped;
    EXPECT_EQ(stored + skipped, messages) << err.str();
    EXPECT_EQ(status, stored > 0 ? 0 : 1);
  }
}

TEST_F(MailTest, NsftoolRunsTheMailCommands) {
  const fs::path nsftool = testsupport::ToolPath("nsftool");
  if (!fs::exists(nsftool)) GTEST_SKIP() << "nsftool is not built";
  testsupport::WriteFile(m_tmp / "a.eml", "From: a@example.org\nSubject: via nsftool\n\nx\n");
  const std::string tool = "'" + nsftool.string() + "' ";
  auto [status, output] = mailtest::Run(tool + "import-mail '" + (m_tmp / "m.nsf").string() + "' '" +
                                        (m_tmp / "a.eml").string() + "'");
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output, "imported: 1\nskipped: 0\n");
  std::tie(status, output) = mailtest::Run(tool + "export-mail '" + (m_tmp / "m.nsf").string() + "' '" +
                                           (m_tmp / "out.mbox").string() + "' --folder '($Inbox)'");
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(testsupport::ReadFile(m_tmp / "out.mbox").find("Subject: via nsftool\n"), std::string::npos);
  EXPECT_EQ(mailtest::Run(tool + "import-vcard").first, 2);
}

TEST(MailCommands, UsageErrorsExitTwo) {
  EXPECT_TRUE(IsMailCommand("import-mail"));
  EXPECT_FALSE(IsMailCommand("import"));
  EXPECT_EQ(RunMailCommand("import-mail", {"db.nsf"}), 2);
  EXPECT_EQ(RunMailCommand("export-mail", {"db.nsf", "out.mbox", "--folder"}), 2);
  EXPECT_EQ(RunMailCommand("export-vcard", {"db.nsf"}), 2);
}
