// nsftool's mail and contact commands: import-mail, import-vcard,
// export-mail, export-vcard. nsftool's main hands them over here.
//
//   import-mail DB.nsf SOURCE...          mbox files, maildirs, .eml files or folders of them
//   import-vcard DB.nsf FILE.vcf...       vCard 2.1, 3.0 and 4.0 (a folder: its .vcf files)
//   export-mail DB.nsf OUT.mbox|OUT/ [--folder NAME] [--maildir]
//                                         an mbox, or a new maildir (a target
//                                         ending in "/" or --maildir)
//   export-vcard DB.nsf OUT.vcf
//
// Imports never stop at bad input: a message or card that cannot be read is
// skipped with a line naming the file, its number and the reason; each
// document is stored whole or not at all. Exit status: 0 when anything was
// imported (or the export was written), 1 when nothing could be imported or
// the database or output file failed, 2 for a usage error.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace mailio {

// True for the command names this module answers.
bool IsMailCommand(const std::string& command);
// The usage lines of these commands, for nsftool's help text.
const char* MailUsage();
// Runs one command with its arguments (after the command name). Returns the
// process exit status; messages go to standard output and standard error.
int RunMailCommand(const std::string& command, const std::vector<std::string>& args);

// The commands themselves, writing to the given streams (tests, benchmarks).
int ImportMail(const std::string& dbPath, const std::vector<std::string>& sources, std::ostream& out,
               std::ostream& err);
int ImportVCards(const std::string& dbPath, const std::vector<std::string>& files, std::ostream& out,
                 std::ostream& err);
int ExportMail(const std::string& dbPath, const std::string& outPath, const std::optional<std::string>& folder,
               std::ostream& out, std::ostream& err, bool maildir = false);
int ExportVCards(const std::string& dbPath, const std::string& outPath, std::ostream& out, std::ostream& err);

}  // namespace mailio
