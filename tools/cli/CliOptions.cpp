#include "tools/cli/CliOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>

#include "engine/DatePeriods.h"
#include "mail/MailSourceRun.h"
#include "tools/cli/CliKeepOptions.h"
#include "platform/Text.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

using Flag = std::uint8_t RunSettings::*;

const std::map<std::string, Flag>& MailCriteria() {
  static const std::map<std::string, Flag> kMap = {
      {"subject", &RunSettings::m_bMailSubject},   {"sender", &RunSettings::m_bMailSender},
      {"receiver", &RunSettings::m_bMailReceiver}, {"datetime", &RunSettings::m_bMailDateTime},
      {"body", &RunSettings::m_bMailBody},         {"attachments", &RunSettings::m_bMailAttachments}};
  return kMap;
}

const std::map<std::string, Flag>& ContactCriteria() {
  static const std::map<std::string, Flag> kMap = {
      {"firstname", &RunSettings::m_bContactFirstName},
      {"middlename", &RunSettings::m_bContactMiddleName},
      {"lastname", &RunSettings::m_bContactLastName},
      {"fullname", &RunSettings::m_bContactFullName},
      {"email", &RunSettings::m_bContactEmail},
      {"phone", &RunSettings::m_bContactPhone},
      {"company", &RunSettings::m_bContactCompany}};
  return kMap;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

std::u16string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  return platform::FromUtf8(ec ? path : absolute.string());
}

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SS"; a date alone is at 00:00:00.
std::optional<DateTimeValue> ParseDate(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char tail = 0;
  const bool bDate = text.size() == 10 && std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) == 3;
  const bool bDateTime = text.size() == 19 && std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo,
                                                          &d, &h, &mi, &s, &tail) == 6;
  if (!bDate && !bDateTime) return std::nullopt;
  const DateTimeValue value(y, mo, d, h, mi, s);
  if (!value.IsValid()) return std::nullopt;
  return value;
}

class Parser {
public:
  Parser(const std::vector<std::string>& args, RunSettings& settings,
         const platform::SystemTime& now)
      : m_args(args), m_s(settings), m_now(now) {}
  ParseResult Parse();

private:
  bool Fail(std::string message) {
    if (!m_result.usageError) m_result.usageError = std::move(message);
    return false;
  }
  bool TakeValue(const std::string& name, std::size_t& i, std::string& value);
  bool Apply(const std::string& name, const std::string& value);
  bool ApplyCriteria(const std::string& option, const std::string& value,
                     const std::map<std::string, Flag>& names, std::uint8_t& group);
  bool AddSearch(const std::string& dir);
  bool Check();
  bool CheckMailFolderName();

  const std::vector<std::string>& m_args;
  RunSettings& m_s;
  platform::SystemTime m_now;
  ParseResult m_result;
  std::optional<int> m_nAction;
  std::optional<std::string> m_strNewFiles;
  std::optional<int> m_nPeriod;
  bool m_bFolderGiven = false;
  std::vector<std::string> m_vecGiven;  // option names in command-line order
};

ParseResult Parser::Parse() {
  CliOptions& o = m_result.options;
  // The wizard's defaults: same-folder scope, "($All)" left out, every
  // criterion of both groups ticked.
  for (const auto& [name, flag] : MailCriteria()) m_s.*flag = 1;
  for (const auto& [name, flag] : ContactCriteria()) m_s.*flag = 1;
  bool bOptionsEnded = false;
  for (std::size_t i = 1; i < m_args.size() && !m_result.usageError && !m_result.startError; ++i) {
    const std::string& arg = m_args[i];
    if (bOptionsEnded || arg.size() < 2 || arg.rfind("-", 0) != 0) {
      o.vecDatabases.push_back(AbsolutePath(arg));
      continue;
    }
    if (arg == "--") {
      bOptionsEnded = true;
      continue;
    }
    std::string name = arg, value;
    const std::size_t eq = arg.find('=');
    const bool bInlineValue = arg.rfind("--", 0) == 0 && eq != std::string::npos;
    if (bInlineValue) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    static const std::vector<std::string> kSwitches = {"--include-all-view", "--time-hm",
                                                       "--dry-run", "--yes", "--quiet", "--help",
                                                       "-h", "--version"};
    if (std::find(kSwitches.begin(), kSwitches.end(), name) != kSwitches.end()) {
      if (bInlineValue) {
        Fail("option " + name + " takes no value");
        break;
      }
      m_vecGiven.push_back(name);
      Apply(name, "");
      continue;
    }
    if (!bInlineValue && !TakeValue(name, i, value)) break;
    m_vecGiven.push_back(name);
    Apply(name, value);
  }
  if (!m_result.usageError && !m_result.startError && !o.bHelp && !o.bVersion) Check();
  return m_result;
}

bool Parser::TakeValue(const std::string& name, std::size_t& i, std::string& value) {
  static const std::vector<std::string> kValued = {"--search", "--scope",   "--period",
                                                   "--range",  "--mail",    "--contact",
                                                   "--action", "--folder",  "--new-files",
                                                   "--log-dir",  "--report",  "--spare", "--undo",
                                                   "--jobs"};
  if (std::find(kValued.begin(), kValued.end(), name) == kValued.end() && !IsKeepOption(name))
    return Fail("unknown option: " + name);
  if (i + 1 >= m_args.size()) return Fail("option " + name + " needs a value");
  value = m_args[++i];
  return true;
}

bool Parser::Apply(const std::string& name, const std::string& value) {
  CliOptions& o = m_result.options;
  if (name == "--include-all-view") m_s.m_bExcludeAllFolder = 0;
  else if (name == "--time-hm") m_s.m_bTimeFormatHM = 1;
  else if (name == "--dry-run") o.bDryRun = true;
  else if (name == "--yes") o.bYes = true;
  else if (name == "--quiet") o.bQuiet = true;
  else if (name == "--help" || name == "-h") o.bHelp = true;
  else if (name == "--version") o.bVersion = true;
  else if (name == "--search") return AddSearch(value);
  else if (IsKeepOption(name)) {
    if (const auto error = ApplyKeepOption(name, value, m_s)) return Fail(*error);
  }
  else if (name == "--scope") {
    if (value != "folder" && value != "file") return Fail("--scope must be folder or file, not '" + value + "'");
    m_s.m_bSameFolderScope = value == "folder" ? 1 : 0;
  } else if (name == "--period") {
    if (value.size() != 1 || !std::isdigit(static_cast<unsigned char>(value[0])))
      return Fail("--period must be a number from 0 to 9, not '" + value + "'");
    m_nPeriod = value[0] - '0';
  } else if (name == "--range") {
    const std::size_t comma = value.find(',');
    const auto start = ParseDate(value.substr(0, comma));
    const auto end = comma == std::string::npos ? std::nullopt : ParseDate(value.substr(comma + 1));
    if (!start || !end) return Fail("--range must be START,END as YYYY-MM-DD[THH:MM:SS], not '" + value + "'");
    if (*end < *start) return Fail("--range '" + value + "': the end is before the start");
    m_s.m_vecDateRanges.push_back(DateRange{*start, *end});
  } else if (name == "--mail") {
    return ApplyCriteria(name, value, MailCriteria(), m_s.m_bMailCriteria);
  } else if (name == "--contact") {
    return ApplyCriteria(name, value, ContactCriteria(), m_s.m_bContactCriteria);
  } else if (name == "--action") {
    static const std::map<std::string, int> kActions = {{"delete", 0}, {"trash", 1}, {"move", 2}, {"copy", 3}};
    const auto it = kActions.find(value);
    if (it == kActions.end()) return Fail("--action must be delete, trash, move or copy, not '" + value + "'");
    m_nAction = it->second;
  } else if (name == "--folder") {
    m_s.m_strSubFolderName = platform::FromUtf8(value);
    m_bFolderGiven = true;
  } else if (name == "--new-files") {
    m_strNewFiles = value;
  } else if (name == "--log-dir") {
    o.strLogDir = AbsolutePath(value);
  } else if (name == "--report") {
    o.strReportPath = AbsolutePath(value);
  } else if (name == "--spare") {
    o.strSparePath = AbsolutePath(value);
  } else if (name == "--undo") {
    o.strUndoJournal = AbsolutePath(value);
  } else if (name == "--jobs") {
    // Digits only: "2x", "-1" and "+3" are mistakes, not numbers to round.
    const bool bDigits = !value.empty() && value.size() <= 4 &&
                         std::all_of(value.begin(), value.end(),
                                     [](unsigned char c) { return std::isdigit(c) != 0; });
    if (!bDigits || std::stoi(value) < 1)
      return Fail("--jobs must be a whole number from 1 to 9999, not '" + value + "'");
    o.nJobs = std::stoi(value);
  } else {
    return Fail("unknown option: " + name);
  }
  return true;
}

bool Parser::ApplyCriteria(const std::string& option, const std::string& value,
                           const std::map<std::string, Flag>& names, std::uint8_t& group) {
  for (const auto& [name, flag] : names) m_s.*flag = 0;
  if (value == "off") {
    group = 0;
    return true;
  }
  group = 1;
  for (const std::string& part : Split(value, ',')) {
    const auto it = names.find(part);
    if (it == names.end()) return Fail("unknown " + option + " criterion: '" + part + "'");
    m_s.*(it->second) = 1;
  }
  return true;
}

bool Parser::AddSearch(const std::string& dir) {
  m_result.options.bSearched = true;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Fail("--search " + dir + ": no such folder");
  const fs::path root = fs::absolute(dir, ec);
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::error_code typeError;
    if (ext == ".nsf" && it->is_regular_file(typeError))
      m_result.options.vecDatabases.push_back(platform::FromUtf8(it->path().string()));
  }
  if (ec) m_result.startError = "Cannot search " + dir + ": " + ec.message();
  return !ec;
}

bool Parser::Check() {
  CliOptions& o = m_result.options;
  if (!o.strUndoJournal.empty()) {
    // Undo only brings back what a run took: no run option applies to it.
    for (const std::string& name : m_vecGiven)
      if (name != "--undo" && name != "--log-dir" && name != "--quiet")
        return Fail("--undo cannot be used with " + name);
    if (!o.vecDatabases.empty()) return Fail("--undo takes a journal, not a database");
    return true;
  }
  if (m_nAction && m_strNewFiles) return Fail("--action and --new-files cannot be used together");
  // A dry run changes nothing, so it needs no action: it judges as delete would.
  if (!m_nAction && !m_strNewFiles && o.bDryRun) m_nAction = 0;
  if (!m_nAction && !m_strNewFiles) return Fail("either --action or --new-files (or --dry-run) is required");
  if (m_nAction && (*m_nAction == 2 || *m_nAction == 3) && (!m_bFolderGiven || m_s.m_strSubFolderName.empty()))
    return Fail("--folder is required with --action move and --action copy");
  if (o.vecDatabases.empty() && !o.bSearched) return Fail("no database given");
  if (m_nPeriod && !m_s.m_vecDateRanges.empty()) return Fail("--period and --range cannot be used together");
  if (m_nAction && (*m_nAction == 2 || *m_nAction == 3) && !CheckMailFolderName()) return false;
  if (const auto error = CheckKeepOptions(m_s)) return Fail(*error);
  if (m_nAction) {
    m_s.m_bModifyOriginal = 1;
    m_s.m_nAction = *m_nAction;
  } else {
    m_s.m_bModifyOriginal = 0;
    m_s.m_strNewNsfFolder = AbsolutePath(*m_strNewFiles);
  }
  if (m_nPeriod) {
    m_s.m_bDateFilter = 1;
    const dateperiods::CivilDateTime now{m_now.nYear, m_now.nMonth, m_now.nDay,
                                         m_now.nHour, m_now.nMinute, m_now.nSecond};
    if (const auto range = dateperiods::PredefinedPeriod(*m_nPeriod, now))
      m_s.m_vecDateRanges.push_back(dateperiods::ToDateRange(*range));
  } else if (!m_s.m_vecDateRanges.empty()) {
    m_s.m_bDateFilter = 1;
  }
  if (o.bSearched || o.vecDatabases.size() >= 2) {
    m_s.m_bMultipleFiles = 1;
    m_s.m_vecFilePaths = o.vecDatabases;
  } else {
    m_s.m_bMultipleFiles = 0;
    m_s.m_strSingleFilePath = o.vecDatabases.front();
  }
  return true;
}

// In a mail source NAME becomes a file or folder beside the source, so it
// must stay a name: a path or a hidden name would write elsewhere. Levels
// are separated by a backslash, as in the rows; an mbox has none.
bool Parser::CheckMailFolderName() {
  bool bMail = false, bMbox = false;
  for (const std::u16string& path : m_result.options.vecDatabases) {
    const std::string bytes = platform::ToUtf8(path);
    const bool bServer = bytes.rfind("imap://", 0) == 0 || bytes.rfind("imaps://", 0) == 0;
    std::error_code ec;
    if (!bServer && !mailio::IsMailSource(bytes)) continue;
    bMail = true;
    bMbox = bMbox || (!bServer && !fs::is_directory(bytes, ec));
  }
  if (!bMail) return true;
  const std::string name = platform::ToUtf8(m_s.m_strSubFolderName);
  const std::string quoted = "--folder '" + name + "'";
  if (name.find('/') != std::string::npos) return Fail(quoted + " is a folder name, not a path: it may not hold '/'");
  if (bMbox && name.find('\\') != std::string::npos)
    return Fail(quoted + ": an mbox's folder has no levels ('\\')");
  for (const std::string& level : Split(name, '\\')) {
    if (level.empty()) return Fail(quoted + ": a folder level is empty");
    if (level.front() == '.') return Fail(quoted + ": a folder name may not start with '.'");
  }
  return true;
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args, RunSettings& settings,
                             const platform::SystemTime& now) {
  return Parser(args, settings, now).Parse();
}

// A line per option (the period names and the dry run's rule continue on
// the lines below theirs), with its default as "(default: ...)" when it has
// one: the documents test reads the defaults from there.
std::string UsageText() {
  std::string periods;
  for (int i = 0; i < dateperiods::kPeriodCount; ++i) {
    const std::string item = std::to_string(i) + " " + platform::ToUtf8(dateperiods::PeriodText(i));
    periods += (i == 0 ? "\n" : i % 3 == 0 ? ",\n" : ", ") + (i % 3 == 0 ? std::string(30, ' ') : "") + item;
  }
  return "usage: tarnwick-cli [OPTIONS] DATABASE...\n"
         "       tarnwick-cli --undo JOURNAL [--log-dir DIR] [--quiet]\n"
         "  --search DIR              add every .nsf file below DIR (any letter case)\n"
         "  --scope folder|file       look for duplicates per folder or per file (default: folder)\n"
         "  --include-all-view        also process the view ($All) (default: excluded)\n"
         "  --time-hm                 compare mail times without seconds (default: off)\n"
         "  --period N                date limit: the predefined period N, counted back from the start (default: off):" +
         periods +
         "\n"
         "  --range START,END         date limit: YYYY-MM-DD[THH:MM:SS], repeatable; not with --period (default: off)\n"
         "  --mail LIST|off           subject,sender,receiver,datetime,body,attachments (default: all six)\n"
         "  --contact LIST|off        firstname,middlename,lastname,fullname,email,phone,company (default: all seven)\n"
         "  --action delete|trash|move|copy   change the original files\n"
         "  --folder NAME             sub folder for move and copy, required with them\n"
         "  --new-files DIR           leave the originals alone, write clean copies into DIR\n"
         "  --log-dir DIR             where the log file goes (default: the desktop folder)\n"
         "  --dry-run                 judge and print every duplicate, change nothing; without --action\n"
         "                            or --new-files it judges as --action delete (default: off)\n"
         "  --yes                     do not ask before changing original files\n"
         "  --quiet                   print only the closing lines, and failure rows on standard error (default: off)\n"
         "  --jobs N                  judge up to N databases side by side (default: 1)\n"
         "  --report FILE             write the duplicate groups as JSON\n"
         "  --spare FILE              dispose only of the duplicates a report lists\n"
         "  --keep RULES              which copy stays: first, newest, oldest, largest,\n"
         "                            smallest, folder=NAME, not-folder=NAME (chained by commas) (default: first)\n"
         "  --normalize LIST          compare loosely: subject,addresses,spaces (default: none)\n"
         "  --date-tolerance SECONDS  mail dates this close count as the same (default: 0)\n"
         "  --size-guard PERCENT      keep a duplicate whose size differs more than this (default: off)\n"
         "  --undo JOURNAL            reverse the run that wrote JOURNAL\n"
         "  --version                 print the version\n"
         "  --help, -h                print this help\n";
}

}  // namespace cli
