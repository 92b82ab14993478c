// Helpers of the mail and contact import tests: fixtures, reading databases
// back, real-world test files from Debian packages.
#pragma once

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "lnapi/LNNotes.h"
#include "tests/support/TestSupport.h"
#include "mail/MailDoc.h"

namespace mailio {
// Readable failure messages for item comparisons.
void PrintTo(const Item& item, std::ostream* os);
}  // namespace mailio

namespace mailtest {

std::filesystem::path DataDir();

// Every live document of db (or of one folder), in order.
std::vector<std::pair<NOTEID, mailio::Doc>> ReadAll(const std::filesystem::path& db,
                                                    const std::optional<std::string>& folder = std::nullopt);
// The documents' items without the mbox envelope (an mbox export gives a
// message read from a plain file one), each message ending with a line end,
// for comparisons of round trips through an mbox.
std::vector<mailio::Doc> WithoutEnvelope(const std::vector<std::pair<NOTEID, mailio::Doc>>& docs);

// The files of a Debian package, downloaded with apt-get and unpacked once
// into a cache under the build directory; nullopt when that is not possible
// (no network, no apt), so the test can skip.
std::optional<std::filesystem::path> DebianPackageFiles(const std::string& package);

// Runs a shell command line; returns its exit status and output (both streams).
std::pair<int, std::string> Run(const std::string& commandLine);

// A test in a private temporary directory with TZ fixed, so local times are
// reproducible.
class MailTest : public testsupport::TempDirTest {
protected:
  MailTest();
  std::ostringstream m_out, m_err;
};

}  // namespace mailtest
