// plotvane package-info: a placeholder until the command is built into this program.

#include <iostream>

#include "tools/Commands.h"

namespace plotvane {

int RunPackageInfo(std::span<const std::string> Args) {
    (void)Args;
    std::cerr << "plotvane package-info: not available in this build\n";
    return 2;
}

}  // namespace plotvane
