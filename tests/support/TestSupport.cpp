#include "tests/support/TestSupport.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace fs = std::filesystem;

namespace {

const char* const kRedirected[] = {"HOME", "XDG_DESKTOP_DIR", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR",
                                   "TMPDIR"};

// The temporary folder the test process started with, before any test moved
// TMPDIR into its own directory.
const fs::path& BaseTempDir() {
  static const fs::path base = [] {
    const char* tmp = std::getenv("TMPDIR");
    return fs::path(tmp && *tmp && fs::is_directory(tmp) ? tmp : "/tmp");
  }();
  return base;
}

}  // namespace

ScopedTempDir::ScopedTempDir() {
  for (const char* name : kRedirected) {
    const char* value = std::getenv(name);
    m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  std::string pattern = (BaseTempDir() / "tarnwick-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
  for (const char* sub : {"home", "home/Desktop", "config", "runtime", "tmp"})
    fs::create_directories(m_path / sub);
  fs::permissions(m_path / "runtime", fs::perms::owner_all, fs::perm_options::replace);
  setenv("HOME", (m_path / "home").c_str(), 1);
  setenv("XDG_DESKTOP_DIR", (m_path / "home/Desktop").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (m_path / "config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (m_path / "runtime").c_str(), 1);
  setenv("TMPDIR", (m_path / "tmp").c_str(), 1);
}

ScopedTempDir::~ScopedTempDir() {
  for (const auto& [name, value] : m_saved) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  std::error_code ec;  // a test that left a file read-only must not fail here
  fs::remove_all(m_path, ec);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

fs::path ToolPath(const std::string& name) {
  for (const char* sub : {"tools", "app", ""}) {
    fs::path p = fs::path(TARNWICK_BINARY_DIR) / sub / name;
    if (fs::exists(p)) return p;
  }
  return fs::path(TARNWICK_BINARY_DIR) / "tools" / name;
}

std::string ShellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int RunTool(const std::string& tool, const std::vector<std::string>& args, const fs::path& out, bool bErrorToo) {
  std::string command = ShellQuote(ToolPath(tool).string());
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
  command += " </dev/null >" + ShellQuote(out.string()) + (bErrorToo ? " 2>&1" : " 2>/dev/null");
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testsupport
