#include <string>
#include <vector>

#include "tools/cli/CliMain.h"

int main(int argc, char** argv) {
  return cli::Main(std::vector<std::string>(argv, argv + argc));
}
