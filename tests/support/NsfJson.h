// Databases for tests, built from nsf-json text in the test itself and
// dumped back for comparison (see nsf-json.md for the format).
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// Writes the database at db (replacing a file there) from jsonText. Bad
// input fails the current test with the message naming the place, and
// throws std::runtime_error so the test stops.
void MakeDatabase(const std::filesystem::path& db, const std::string& jsonText);

// The database at db as canonical nsf-json text (as `nsftool dump` prints
// it). A file that is not a database fails the test and throws
// std::runtime_error.
std::string DumpDatabase(const std::filesystem::path& db);

// The same, with each folder's entries in ascending id: a document filed
// again after an undo stands at the folder's end, and only membership counts.
std::string DumpWithEntrySets(const std::filesystem::path& db);

}  // namespace testsupport
