#include "tools/nsftool/Sample.h"

#include <iostream>

namespace nsftool {

int SampleCommand(const std::vector<std::string>&) {
  std::cerr << "nsftool: sample is not available yet\n";
  return 1;
}

}  // namespace nsftool
