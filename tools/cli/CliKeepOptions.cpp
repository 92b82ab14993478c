#include "tools/cli/CliKeepOptions.h"

#include <algorithm>
#include <cctype>

#include "engine/SummaryRows.h"
#include "platform/Text.h"

namespace cli {

namespace {

// A whole number from 0 to max, digits only ("2x", "-1", "+3" and "" are
// mistakes, not numbers to round).
std::optional<int> WholeNumber(const std::string& value, long long max) {
  if (value.empty() || value.size() > 9 ||
      !std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
    return std::nullopt;
  const long long n = std::stoll(value);
  if (n > max) return std::nullopt;
  return static_cast<int>(n);
}

std::optional<std::string> ApplyNormalize(const std::string& value, KeepOptions& k) {
  k.nNormalize = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = value.find(',', start);
    const std::string part = value.substr(start, comma == std::string::npos ? comma : comma - start);
    if (part == "subject") k.nNormalize |= KeepOptions::kSubject;
    else if (part == "addresses") k.nNormalize |= KeepOptions::kAddresses;
    else if (part == "spaces") k.nNormalize |= KeepOptions::kSpaces;
    else return "unknown --normalize field: '" + part + "' (subject, addresses, spaces)";
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return std::nullopt;
}

}  // namespace

bool IsKeepOption(const std::string& name) {
  return name == "--keep" || name == "--normalize" || name == "--date-tolerance" || name == "--size-guard";
}

std::optional<std::string> ApplyKeepOption(const std::string& name, const std::string& value,
                                           RunSettings& settings) {
  KeepOptions& k = settings.m_keepOptions;
  if (name == "--keep") {
    const auto rules = ParseKeepRules(platform::FromUtf8(value));
    if (!rules)
      return "--keep must be a comma list of first, newest, oldest, largest, smallest, folder=NAME, "
             "not-folder=NAME, not '" + value + "'";
    k.vecRules = *rules;
  } else if (name == "--normalize") {
    return ApplyNormalize(value, k);
  } else if (name == "--date-tolerance") {
    const auto seconds = WholeNumber(value, 31536000);
    if (!seconds) return "--date-tolerance must be a whole number of seconds from 0 to 31536000, not '" + value + "'";
    k.nDateToleranceSeconds = *seconds;
  } else if (name == "--size-guard") {
    const auto percent = WholeNumber(value, 99);
    if (!percent) return "--size-guard must be a whole percent from 0 to 99, not '" + value + "'";
    k.nSizeGuardPercent = *percent;
  }
  return std::nullopt;
}

std::optional<std::string> CheckKeepOptions(const RunSettings& settings) {
  if (settings.m_keepOptions.HasDateTolerance() && (settings.m_bMailCriteria != 1 || settings.m_bMailDateTime != 1))
    return "--date-tolerance needs datetime among the --mail criteria";
  return std::nullopt;
}

report::ReportOptions KeepReportOptions(const RunSettings& settings) {
  const KeepOptions& k = settings.m_keepOptions;
  report::ReportOptions o;
  if (!k.vecRules.empty()) o.strKeep = KeepChainText(k.vecRules);
  const std::u16string normalize = NormalizeListText(k.nNormalize);
  for (std::size_t start = 0; start < normalize.size();) {
    const std::size_t comma = std::min(normalize.find(u',', start), normalize.size());
    o.vecNormalize.push_back(platform::ToUtf8(normalize.substr(start, comma - start)));
    start = comma + 1;
  }
  if (k.HasDateTolerance()) o.nDateToleranceSeconds = k.nDateToleranceSeconds;
  if (k.HasSizeGuard()) o.nSizeGuardPercent = k.nSizeGuardPercent;
  return o;
}

}  // namespace cli
