// tarnwick-cli: the wizard's run without a window. Exit status 0 when a run
// completed (also after a Stop by SIGINT), 1 when it could not start or a
// single-file database did not open, 2 on a usage error.
#pragma once

#include <string>
#include <vector>

namespace cli {

int Main(const std::vector<std::string>& args);

}  // namespace cli
