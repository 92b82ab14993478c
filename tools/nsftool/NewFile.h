// Writing a new database file whole or not at all.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace nsftool {

// Calls build with a temporary path beside db, where build makes and closes
// a database; then syncs it and moves it to db. On any failure nothing is
// left at db (an existing db is untouched) and the temporary file is
// removed. Without replaceExisting an existing db throws TargetExists, also
// when one appears while building.
void BuildAtomically(const std::filesystem::path& db, bool replaceExisting,
                     const std::function<void(const std::string& tempPath)>& build);

}  // namespace nsftool
