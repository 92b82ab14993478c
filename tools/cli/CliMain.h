// tarnwick-cli: the wizard's run without a window. Exit status 0 when every
// database or source the run reached was processed (also after a Stop by
// SIGINT, which cuts none short into a failure), 1 when it could not start,
// one it reached was not processed, or SIGTERM or SIGHUP stopped it, 2 on a
// usage error.
#pragma once

#include <string>
#include <vector>

namespace cli {

int Main(const std::vector<std::string>& args);

}  // namespace cli
