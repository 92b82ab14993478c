// nsftool sample: a generated, realistic mail database for demonstrations
// and benchmarks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace nsftool {

struct SampleOptions {
  std::uint32_t nDocs = 1000;         // mail memos (contacts come on top)
  std::uint32_t nSeed = 1;
  std::uint32_t nFolders = 6;         // user folders beside the special ones
  std::uint32_t nDupPercent = 10;     // share of memos that exactly repeat an earlier one
  bool bReplaceExisting = false;
};

struct SampleCounts {
  std::uint64_t nMemos = 0, nDuplicates = 0, nContacts = 0, nFolders = 0, nViews = 0,
                nPictures = 0, nAttachments = 0;
};

// Writes the database (complete or not at all). Throws an LNSTATUS for file
// problems and InputError when db exists and may not be replaced.
SampleCounts MakeSample(const std::filesystem::path& db, const SampleOptions& options);

// The command line: parses args after "sample", prints one line with the
// path and counts; returns the exit code.
int SampleCommand(const std::vector<std::string>& args);

}  // namespace nsftool
