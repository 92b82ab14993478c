#include "tests/support/NsfJson.h"

#include <stdexcept>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lnapi/LNNotes.h"
#include "tools/nsftool/NsfJson.h"

namespace testsupport {

void MakeDatabase(const std::filesystem::path& db, const std::string& jsonText) {
  std::string problem;
  try {
    nsftool::ImportJson(jsonText, db, true);
    return;
  } catch (const nsftool::InputError& e) {
    problem = std::string("bad nsf-json: ") + e.what();
  } catch (LNSTATUS status) {
    problem = "cannot write " + db.string() + ": " + LNGetErrorMessageText(status);
  }
  ADD_FAILURE() << "MakeDatabase: " << problem;
  throw std::runtime_error(problem);
}

std::string DumpDatabase(const std::filesystem::path& db) {
  try {
    return nsftool::DumpJson(db);
  } catch (LNSTATUS status) {
    const std::string problem = LNGetErrorMessageText(status);
    ADD_FAILURE() << "DumpDatabase: " << problem;
    throw std::runtime_error(problem);
  }
}

std::string DumpWithEntrySets(const std::filesystem::path& db) {
  auto json = nlohmann::ordered_json::parse(DumpDatabase(db));
  for (auto& note : json["notes"])
    if (note.contains("entries")) std::sort(note["entries"].begin(), note["entries"].end());
  return json.dump(2);
}

}  // namespace testsupport
