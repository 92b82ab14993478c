// nsf-json text from anyone: import refuses it with InputError or writes a
// database whose dump imports to a database with the same dump.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "lnapi/LNNotes.h"
#include "tools/nsftool/NsfJson.h"

namespace {

std::filesystem::path Scratch(const char* name) {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("tarnwick-fuzz-nsfjson-" + std::to_string(getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir / name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    nsftool::ImportJson(text, Scratch("a.nsf"), true);
  } catch (const nsftool::InputError&) {
    return 0;
  }
  const std::string dump = nsftool::DumpJson(Scratch("a.nsf"));
  nsftool::ImportJson(dump, Scratch("b.nsf"), true);  // a dump always imports
  if (nsftool::DumpJson(Scratch("b.nsf")) != dump) std::abort();
  return 0;
}
