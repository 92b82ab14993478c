// Real messages and cards from Debian packages, Python's mailbox module as an
// independent reader of our mbox output, and a duplicate run over imported
// mail. Tests whose package or program is not to be had are skipped.
#include <gtest/gtest.h>

#include <set>

#include "lnapi/store/Store.h"
#include "tests/mailio/MailTestSupport.h"
#include "mail/MailCommands.h"
#include "mail/Mbox.h"

using namespace mailio;
using mailtest::MailTest;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> FilesIn(const fs::path& dir, const std::string& extension) {
  std::vector<std::string> files;
  if (!fs::is_directory(dir)) return files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == extension) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// Reads every message of an mbox with Python's mailbox module, parses each
// with the modern email policy and (when decode) decodes every part. Prints
// the count, and "defects" when the parser found any.
std::pair<int, std::string> PythonReads(const fs::path& mbox, bool decode = true) {
  const std::string script =
      std::string("import mailbox, sys, email, email.policy\n"
                  "box = mailbox.mbox(sys.argv[1], create=False)\n"
                  "n = 0; defects = 0\n"
                  "for key in box.keys():\n"
                  "    msg = email.message_from_bytes(box.get_bytes(key), policy=email.policy.default)\n"
                  "    for part in msg.walk():\n"
                  "        defects += len(part.defects)\n") +
      (decode ? "        if not part.is_multipart(): part.get_content()\n" : "") +
      "    n += 1\n"
      "print(n, 'defects' if defects else 'clean')\n";
  testsupport::WriteFile(mbox.parent_path() / "read.py", script);
  return mailtest::Run("python3 '" + (mbox.parent_path() / "read.py").string() + "' '" + mbox.string() + "'");
}

// Cards carry no creation time: each import dates them by the clock, so a
// round trip of cards compares only their items.
void ExpectSameDocuments(const fs::path& a, const fs::path& b, bool bCompareCreated = true) {
  const auto first = mailtest::WithoutEnvelope(mailtest::ReadAll(a));
  const auto second = mailtest::WithoutEnvelope(mailtest::ReadAll(b));
  ASSERT_EQ(first.size(), second.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].items, second[i].items) << "document " << i << ": " << first[i].TextOf("Subject");
    if (bCompareCreated) {
      EXPECT_EQ(first[i].created, second[i].created) << "document " << i;
    }
  }
}

// Every message of files, as the import reads them: a file that starts
// with a From_ line is an mbox, any other one message.
std::multiset<std::string> MessagesOf(const std::vector<std::string>& files) {
  std::multiset<std::string> out;
  for (const std::string& file : files) {
    std::string bytes = testsupport::ReadFile(file);
    if (LooksLikeMbox(bytes)) SplitMbox(bytes, [&](MboxMessage&& m) { out.insert(std::move(m.bytes)); });
    else out.insert(std::move(bytes));
  }
  return out;
}

// Exports db as a maildir and checks that every message file holds the bytes
// of one of files, unchanged. Returns how many messages came back.
std::size_t ExpectExportGivesBackEveryByte(const fs::path& db, const std::vector<std::string>& files,
                                           const fs::path& maildir, std::ostream& out, std::ostream& err) {
  EXPECT_EQ(ExportMail(db, maildir.string() + "/", std::nullopt, out, err, true), 0);
  const std::multiset<std::string> originals = MessagesOf(files);
  std::size_t same = 0, count = 0;
  for (const auto& e : fs::directory_iterator(maildir / "cur")) {
    ++count;
    if (originals.count(testsupport::ReadFile(e.path()))) ++same;
    else ADD_FAILURE() << "changed on its way through the database: " << e.path();
  }
  EXPECT_EQ(count, mailtest::ReadAll(db).size());
  return same;
}

}  // namespace

TEST_F(MailTest, ExportIsReadByPythonsMailboxModule) {
  const fs::path inbox = m_tmp / "Inbox";
  fs::copy_file(mailtest::DataDir() / "sample.mbox", inbox);
  ASSERT_EQ(ImportMail(m_tmp / "m.nsf", {inbox.string()}, m_out, m_err), 0);
  ASSERT_EQ(ExportMail(m_tmp / "m.nsf", m_tmp / "out.mbox", std::nullopt, m_out, m_err), 0);
  const auto [status, output] = PythonReads(m_tmp / "out.mbox");
  ASSERT_EQ(status, 0) << output;
  EXPECT_EQ(output, "4 clean\n");
}

TEST_F(MailTest, PythonTestMessagesImportExportAndImportAgain) {
  auto pkg = mailtest::DebianPackageFiles("libpython3.11-testsuite");
  if (!pkg) GTEST_SKIP() << "libpython3.11-testsuite cannot be downloaded here";
  const std::vector<std::string> files = FilesIn(*pkg / "usr/lib/python3.11/test/test_email/data", ".txt");
  ASSERT_GT(files.size(), 40u);
  ASSERT_EQ(ImportMail(m_tmp / "py.nsf", files, m_out, m_err), 0) << m_err.str();
  // Every file is either imported or named with its reason.
  std::size_t skippedLines = 0;
  for (std::size_t at = m_err.str().find(": skipped: "); at != std::string::npos;
       at = m_err.str().find(": skipped: ", at + 1))
    ++skippedLines;
  EXPECT_EQ(mailtest::ReadAll(m_tmp / "py.nsf").size() + skippedLines, files.size()) << m_err.str();
  EXPECT_GE(mailtest::ReadAll(m_tmp / "py.nsf").size(), 40u);

  EXPECT_EQ(ExpectExportGivesBackEveryByte(m_tmp / "py.nsf", files, m_tmp / "py-md", m_out, m_err),
            mailtest::ReadAll(m_tmp / "py.nsf").size());
  // Some of these messages are broken on purpose: the mbox is read, not decoded.
  ASSERT_EQ(ExportMail(m_tmp / "py.nsf", m_tmp / "py.mbox", std::nullopt, m_out, m_err), 0);
  const auto [status, output] = PythonReads(m_tmp / "py.mbox", false);
  ASSERT_EQ(status, 0) << output;
  EXPECT_EQ(output.substr(0, output.find(' ')), std::to_string(mailtest::ReadAll(m_tmp / "py.nsf").size()));
  fs::rename(m_tmp / "py.mbox", m_tmp / "INBOX");
  ASSERT_EQ(ImportMail(m_tmp / "again.nsf", {(m_tmp / "INBOX").string()}, m_out, m_err), 0);
  ExpectSameDocuments(m_tmp / "py.nsf", m_tmp / "again.nsf");
}

TEST_F(MailTest, LowQualityMessagesOfEnmimeAreImportedOrSkippedOneByOne) {
  auto pkg = mailtest::DebianPackageFiles("golang-github-jhillyerd-enmime-dev");
  if (!pkg) GTEST_SKIP() << "golang-github-jhillyerd-enmime-dev cannot be downloaded here";
  const fs::path data = *pkg / "usr/share/gocode/src/github.com/jhillyerd/enmime/testdata";
  std::vector<std::string> files = FilesIn(data / "mail", ".raw");
  for (const char* sub : {"low-quality", "parts"})
    for (const std::string& f : FilesIn(data / sub, ".raw")) files.push_back(f);
  ASSERT_GT(files.size(), 70u);
  ASSERT_EQ(ImportMail(m_tmp / "en.nsf", files, m_out, m_err), 0);
  const std::size_t imported = mailtest::ReadAll(m_tmp / "en.nsf").size();
  EXPECT_GE(imported, files.size() - 3) << m_err.str();
  EXPECT_EQ(ExpectExportGivesBackEveryByte(m_tmp / "en.nsf", files, m_tmp / "en-md", m_out, m_err), imported);
  ASSERT_EQ(ExportMail(m_tmp / "en.nsf", m_tmp / "en.mbox", std::nullopt, m_out, m_err), 0);
  const auto [status, output] = PythonReads(m_tmp / "en.mbox", false);
  ASSERT_EQ(status, 0) << output;
  fs::rename(m_tmp / "en.mbox", m_tmp / "INBOX");
  ASSERT_EQ(ImportMail(m_tmp / "again.nsf", {(m_tmp / "INBOX").string()}, m_out, m_err), 0);
  ExpectSameDocuments(m_tmp / "en.nsf", m_tmp / "again.nsf");
}

TEST_F(MailTest, EvolutionTestCardsImportAndRoundTrip) {
  auto pkg = mailtest::DebianPackageFiles("evolution-data-server-tests");
  if (!pkg) GTEST_SKIP() << "evolution-data-server-tests cannot be downloaded here";
  const std::vector<std::string> files =
      FilesIn(*pkg / "usr/libexec/evolution-data-server/installed-tests/vcards", ".vcf");
  ASSERT_GT(files.size(), 30u);
  // The folder stands for its .vcf files.
  ASSERT_EQ(ImportVCards(m_tmp / "eds.nsf", {fs::path(files.front()).parent_path().string()}, m_out, m_err), 0)
      << m_err.str();
  const auto people = mailtest::ReadAll(m_tmp / "eds.nsf", "($People)");
  EXPECT_GE(people.size(), files.size() - 2) << m_err.str();
  bool sawFooBar = false;
  for (const auto& [id, doc] : people)
    if (doc.TextOf("FullNameInput") == "Foo Bar") sawFooBar = doc.TextOf("MailAddress") == "foo.bar@example.org";
  EXPECT_TRUE(sawFooBar);
  ASSERT_EQ(ExportVCards(m_tmp / "eds.nsf", m_tmp / "eds.vcf", m_out, m_err), 0);
  ASSERT_EQ(ImportVCards(m_tmp / "again.nsf", {(m_tmp / "eds.vcf").string()}, m_out, m_err), 0);
  ExpectSameDocuments(m_tmp / "eds.nsf", m_tmp / "again.nsf", false);
}

TEST_F(MailTest, DuplicateRunOnAnMboxHoldingEveryMessageTwiceFindsTheSecondCopies) {
  const fs::path cli = testsupport::ToolPath("tarnwick-cli");
  if (!fs::exists(cli)) GTEST_SKIP() << "tarnwick-cli is not built";
  const std::string sample = testsupport::ReadFile(mailtest::DataDir() / "sample.mbox");
  testsupport::WriteFile(m_tmp / "Inbox", sample + "\n" + sample);
  ASSERT_EQ(ImportMail(m_tmp / "dup.nsf", {(m_tmp / "Inbox").string()}, m_out, m_err), 0);
  const auto before = mailtest::ReadAll(m_tmp / "dup.nsf", "($Inbox)");
  ASSERT_EQ(before.size(), 8u);

  fs::create_directories(m_tmp / "logs");
  const auto [status, output] = mailtest::Run("'" + cli.string() + "' --action trash --yes --log-dir '" +
                                              (m_tmp / "logs").string() + "' '" + (m_tmp / "dup.nsf").string() + "'");
  ASSERT_EQ(status, 0) << output;
  std::vector<NOTEID> trashed, expected;
  for (const auto& row : lnapi::store::Store::Open((m_tmp / "dup.nsf").string())->ListNotes())
    if (row.life == lnapi::store::NoteLife::trash) trashed.push_back(row.dwId);
  for (std::size_t i = 4; i < 8; ++i) expected.push_back(before[i].first);
  EXPECT_EQ(trashed, expected) << output;
}
