// nsf-json: the interchange format of nsftool, as a library. Tests call
// these in-process to build and inspect databases; main.cpp wraps them for
// the command line.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace nsftool {

// Bad input: what() names the place ("notes[2].items[0].type: unknown type
// \"blob\"") or the line and column of a JSON syntax error.
class InputError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The target of an import exists and may not be replaced.
class TargetExists : public InputError {
public:
  using InputError::InputError;
};

// Checks jsonText completely, then writes it as a new database at db.
// Bad input throws InputError and writes no file. An existing db is refused
// (TargetExists) unless replaceExisting; it is then replaced only once the new
// database is complete. File problems throw an LNSTATUS naming the file.
void ImportJson(const std::string& jsonText, const std::filesystem::path& db,
                bool replaceExisting = false);

// The database at db as nsf-json text: keys in a fixed order, notes sorted by
// note id, two-space indent, a final newline. Opens the file read-only and
// changes nothing. Throws an LNSTATUS (text naming the file and the reason)
// when db is not a Tarnwick database, and InputError (naming the note and
// item) when a damaged name or text is not UTF-8 and so has no nsf-json form.
std::string DumpJson(const std::filesystem::path& db);

// The bytes an attachment given by "size" gets: a fixed pattern, so a dump
// can tell them apart from real data and write "size" again.
std::string GeneratedBytes(std::size_t size);

}  // namespace nsftool
