// nsftool: makes, imports and dumps Tarnwick databases (.nsf files).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lnapi/LNNotes.h"
#include "platform/Version.h"
#include "tools/nsftool/NsfJson.h"
#include "tools/nsftool/Sample.h"
#ifdef TARNWICK_HAVE_MAILIO
#include "mail/MailCommands.h"
#endif

namespace {

const char* const kUsage =
    "usage: nsftool create [--force] [--title TEXT] [--no-soft-deletions] DB.nsf\n"
    "       nsftool import [--force] DB.nsf FILE.json   (FILE.json may be - for standard input;\n"
    "         an empty notes list makes an empty database)\n"
    "       nsftool dump DB.nsf\n"
    "       nsftool sample DB.nsf [--docs N] [--seed S] [--folders F] [--dup-percent P] [--force]\n";

// Each option with the commands it serves and its default, when it has one.
const char* const kOptions =
    "       nsftool --version | --help | -h\n"
    "  --force              create, import, sample: replace DB.nsf when it exists\n"
    "  --title TEXT         create: the database title (default: the file name)\n"
    "  --no-soft-deletions  create: deleting leaves a deletion stub instead of moving to the trash\n"
    "  --docs N             sample: N mail memos plus N/20 contacts, at least 10 (default: 1000)\n"
    "  --seed S             sample: the seed; the same seed makes the same database (default: 1)\n"
    "  --folders F          sample: user folders beside ($Inbox) (default: 6)\n"
    "  --dup-percent P      sample: about P percent exact duplicates (default: 10)\n";

#ifdef TARNWICK_HAVE_MAILIO
const char* const kMailOptions =
    "  --folder NAME        export-mail: only the memos of folder NAME\n"
    "  --maildir            export-mail: write a maildir instead of an mbox file\n";
#endif

// The mail commands' lines follow ours, aligned under "usage: ", then every
// option.
void PrintUsage(std::ostream& out) {
  out << kUsage;
#ifdef TARNWICK_HAVE_MAILIO
  out << "       " << mailio::MailUsage();
#endif
  out << kOptions;
#ifdef TARNWICK_HAVE_MAILIO
  out << kMailOptions;
#endif
}

int Usage(const std::string& problem) {
  std::cerr << "nsftool: " << problem << "\n";
  PrintUsage(std::cerr);
  return 2;
}

int Import(const std::vector<std::string>& args) {
  bool force = false;
  std::vector<std::string> paths;
  for (const auto& a : args) {
    if (a == "--force")
      force = true;
    else if (a.size() > 1 && a[0] == '-' && a != "-")
      return Usage("unknown option " + a);
    else
      paths.push_back(a);
  }
  if (paths.size() != 2) return Usage("import needs DB.nsf and FILE.json");
  std::string text;
  if (paths[1] == "-") {
    std::ostringstream in;
    in << std::cin.rdbuf();
    text = in.str();
  } else {
    std::ifstream in(paths[1], std::ios::binary);
    if (!in) {
      std::cerr << "nsftool: cannot read " << paths[1] << ": " << std::strerror(errno) << "\n";
      return 2;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    text = buf.str();
  }
  try {
    nsftool::ImportJson(text, paths[0], force);
  } catch (const nsftool::TargetExists& e) {
    std::cerr << "nsftool: " << e.what() << "\n";
    return 1;
  } catch (const nsftool::InputError& e) {
    std::cerr << "nsftool: " << paths[1] << ": " << e.what() << "\n";
    return 2;
  } catch (LNSTATUS status) {
    std::cerr << "nsftool: " << LNGetErrorMessageText(status) << "\n";
    return 1;
  }
  return 0;
}

// An empty database: what import makes of a file without notes.
int Create(const std::vector<std::string>& args) {
  nlohmann::json doc = {{"format", "nsf-json"}, {"version", 1}, {"notes", nlohmann::json::array()}};
  bool force = false;
  std::string path;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--force") {
      force = true;
    } else if (args[i] == "--no-soft-deletions") {
      doc["softDeletions"] = false;
    } else if (args[i] == "--title" && i + 1 < args.size()) {
      doc["title"] = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return Usage("unknown option " + args[i]);
    } else if (path.empty()) {
      path = args[i];
    } else {
      return Usage("create takes one database path");
    }
  }
  if (path.empty()) return Usage("create needs DB.nsf");
  try {
    nsftool::ImportJson(doc.dump(), path, force);
  } catch (const nsftool::InputError& e) {
    std::cerr << "nsftool: " << e.what() << "\n";
    return 1;
  } catch (LNSTATUS status) {
    std::cerr << "nsftool: " << LNGetErrorMessageText(status) << "\n";
    return 1;
  }
  return 0;
}

int Dump(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("dump needs DB.nsf");
  try {
    std::cout << nsftool::DumpJson(args[0]);
    std::cout.flush();
  } catch (const nsftool::InputError& e) {
    std::cerr << "nsftool: " << args[0] << ": " << e.what() << "\n";
    return 1;
  } catch (LNSTATUS status) {
    std::cerr << "nsftool: " << LNGetErrorMessageText(status) << "\n";
    return 1;
  }
  return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no command given");
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
#ifdef TARNWICK_HAVE_MAILIO
  if (mailio::IsMailCommand(command)) return mailio::RunMailCommand(command, args);
#endif
  if (command == "create") return Create(args);
  if (command == "import") return Import(args);
  if (command == "dump") return Dump(args);
  if (command == "sample") return nsftool::SampleCommand(args);
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(std::cout);
    return 0;
  }
  if (command == "--version") {
    std::cout << "nsftool " << platform::ProgramVersion() << "\n";
    return 0;
  }
  return Usage("unknown command " + command);
}
