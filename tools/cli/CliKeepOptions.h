// tarnwick-cli's options for which copy stays and how loosely fields
// compare (--keep, --normalize, --date-tolerance, --size-guard): their
// parsing into the run settings' KeepOptions. Pure functions.
#pragma once

#include <optional>
#include <string>

#include "engine/RunSettings.h"
#include "engine/report/Report.h"

namespace cli {

// True for the names of these options (each takes a value).
[[nodiscard]] bool IsKeepOption(const std::string& name);

// Applies one of them to settings; on a bad value, the one-line usage
// message naming it.
[[nodiscard]] std::optional<std::string> ApplyKeepOption(const std::string& name, const std::string& value,
                                                         RunSettings& settings);

// Checks them against the rest of the settings once all are read (the date
// tolerance needs the mail date among the criteria); a usage message or none.
[[nodiscard]] std::optional<std::string> CheckKeepOptions(const RunSettings& settings);

// The options in force, as the report's top level names them.
report::ReportOptions KeepReportOptions(const RunSettings& settings);

}  // namespace cli
