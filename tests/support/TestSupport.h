// Helpers shared by every suite: a private temporary directory per test with
// HOME, XDG and TMPDIR pointed into it, and small file utilities.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

// A fresh directory for one test, removed when the object goes. While it
// lives, HOME, XDG_DESKTOP_DIR, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and TMPDIR
// point below it, so no test touches the real home or desktop; their old
// values come back when it goes.
class ScopedTempDir {
public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::filesystem::path& Path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
  std::filesystem::path m_path;
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;  // restored at the end
};

// Fixture base: every test gets m_tmp.
class TempDirTest : public ::testing::Test {
protected:
  ScopedTempDir m_tmp;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Built programs (nsftool, tarnwick-cli, tarnwick) by name.
std::filesystem::path ToolPath(const std::string& name);
// arg as one word for /bin/sh.
std::string ShellQuote(const std::string& arg);
// Runs a built program with args, standard input empty, standard output into
// out and standard error after it (bErrorToo) or dropped. The exit status,
// -1 when the program did not end by itself.
int RunTool(const std::string& tool, const std::vector<std::string>& args, const std::filesystem::path& out,
            bool bErrorToo);

}  // namespace testsupport
