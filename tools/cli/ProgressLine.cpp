#include "tools/cli/ProgressLine.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cmath>

#include "platform/Text.h"

namespace cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// Erases the terminal line the cursor is on and goes back to its start.
constexpr const char* kEraseLine = "\r\x1b[K";

std::size_t Columns(const std::string& utf8) {
  std::size_t n = 0;
  for (const char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The last nKeep characters of utf8, never starting inside a character.
std::string Tail(const std::string& utf8, std::size_t nKeep) {
  std::size_t start = utf8.size();
  for (std::size_t kept = 0; start > 0 && kept < nKeep;) {
    --start;
    if ((static_cast<unsigned char>(utf8[start]) & 0xC0) != 0x80) ++kept;
  }
  return utf8.substr(start);
}

std::string Duration(std::uint64_t nSeconds) {
  char text[32];
  const std::uint64_t h = nSeconds / 3600, m = nSeconds / 60 % 60, s = nSeconds % 60;
  if (h > 0)
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(h),
                  static_cast<unsigned long long>(m), static_cast<unsigned long long>(s));
  else
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(m),
                  static_cast<unsigned long long>(s));
  return text;
}

int TerminalColumns(std::FILE* stream) {
  winsize size{};
  if (::ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::string FormatProgress(const ProgressState& state, int nColumns) {
  const std::string prefix = state.nDatabases > 1 ? "[" + std::to_string(state.nDatabase) + "/" +
                                                        std::to_string(state.nDatabases) + "] "
                                                  : std::string();
  std::string counts = ": " + std::to_string(state.nJudged) + " of " + std::to_string(state.nTotal) +
                       " documents";
  if (state.nJudged > 0 && state.dSeconds > 0) {
    const double dRate = static_cast<double>(state.nJudged) / state.dSeconds;
    const double dLeft = static_cast<double>(state.nTotal - std::min(state.nJudged, state.nTotal)) / dRate;
    counts += ", " + std::to_string(std::llround(dRate)) + " per second, " +
              Duration(static_cast<std::uint64_t>(std::ceil(dLeft))) + " left";
  }
  const std::size_t nMax = static_cast<std::size_t>(std::max(nColumns - 1, 10));
  const std::size_t nFixed = Columns(prefix) + Columns(counts);
  std::string path = state.strDatabase;
  if (nFixed + Columns(path) > nMax) {
    // The file name at the end of the path says the most; its start goes.
    const std::size_t nRoom = nMax > nFixed + 3 ? nMax - nFixed - 3 : 0;
    path = nRoom > 0 ? "..." + Tail(path, nRoom) : std::string();
  }
  std::string line = prefix + path + counts;
  if (Columns(line) > nMax) line = Tail(line, nMax);
  return line;
}

ProgressLine::ProgressLine(std::FILE* err, std::function<Clock::time_point()> now,
                           std::function<int()> columns)
    : m_pErr(err), m_now(std::move(now)), m_columns(std::move(columns)) {
  if (!m_now) m_now = [] { return Clock::now(); };
  if (!m_columns) m_columns = [err] { return TerminalColumns(err); };
  m_started = m_now();
}

void ProgressLine::DatabaseStarted(const std::u16string& strPath, std::uint64_t nTotal) {
  std::lock_guard lock(m_mutex);
  m_state.strDatabase = platform::ToUtf8(strPath);
  m_state.nJudged = 0;
  m_state.nTotal = nTotal;
  m_started = m_now();
  DrawIfDue();
}

void ProgressLine::DocumentJudged() {
  std::lock_guard lock(m_mutex);
  ++m_state.nJudged;
  DrawIfDue();
}

void ProgressLine::SetDatabaseBar(int nPos, int nUpper) {
  std::lock_guard lock(m_mutex);
  m_state.nDatabase = std::min(nPos + 1, nUpper);
  m_state.nDatabases = nUpper;
}

void ProgressLine::Clear() {
  std::lock_guard lock(m_mutex);
  if (!m_bShown) return;
  std::fputs(kEraseLine, m_pErr);
  std::fflush(m_pErr);
  m_bShown = false;
}

void ProgressLine::DrawIfDue() {
  const Clock::time_point now = m_now();
  if (m_bDrawn && now - m_lastDraw < kRedrawInterval) return;
  m_state.dSeconds = std::chrono::duration<double>(now - m_started).count();
  const std::string line = kEraseLine + FormatProgress(m_state, m_columns());
  std::fwrite(line.data(), 1, line.size(), m_pErr);
  std::fflush(m_pErr);
  m_lastDraw = now;
  m_bDrawn = true;
  m_bShown = true;
}

}  // namespace cli
