// nsftool's mail and contact commands: import-mail, import-vcard,
// export-mail, export-vcard. nsftool's main hands them over here.
#pragma once

#include <string>
#include <vector>

namespace mailio {

// True for the command names this module answers.
bool IsMailCommand(const std::string& command);
// Runs one command with its arguments (after the command name). Returns the
// process exit status; messages go to standard output and standard error.
int RunMailCommand(const std::string& command, const std::vector<std::string>& args);

}  // namespace mailio
