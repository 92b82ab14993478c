// A database file as a broken disk or another program leaves it: opening it,
// dumping it and listing its folders either works or fails with a status or
// a refusal; nothing else (no crash, no hang, no other exception).
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "lnapi/LNNotes.h"
#include "notes/FolderList.h"
#include "tools/nsftool/NsfJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("tarnwick-fuzz-db-" + std::to_string(getpid()) + ".nsf");
  std::filesystem::remove(path);
  std::filesystem::remove(path.string() + "-journal");
  std::filesystem::remove(path.string() + "-wal");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    (void)nsftool::DumpJson(path);
  } catch (LNSTATUS) {
  } catch (const nsftool::InputError&) {
  }
  LNNotesSession session;
  session.Initialize();
  LNDatabase db;
  try {
    if (session.GetDatabase(LNString(path.string()), &db) == LNNOERROR) {
      db.Open();
      std::vector<FolderRecord> folders;
      FolderRecord staging;
      std::u16string error;
      BuildFolderList(db, folders, staging, nullptr, &error);
      db.Close();
    }
  } catch (LNSTATUS) {
  }
  session.Term(0);
  return 0;
}
