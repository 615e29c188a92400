// `plotvane package-info` on a hostile package file: the ELF reader, the
// resource directory, the manifest, the description, the version block and
// the glyph and icon bitmaps, exactly as the command reads them. The
// command must answer with its output or one error message, never crash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/Commands.h"

namespace {

// The input goes to a file of this process, rewritten for every input.
const std::string& InputFile() {
    static const std::string Name = [] {
        const char* Dir = std::getenv("TMPDIR");
        return std::string(Dir && *Dir ? Dir : "/tmp") + "/plotvane-fuzz-package-" + std::to_string(::getpid()) +
               ".bpl";
    }();
    return Name;
}

void RemoveInputFile() { std::remove(InputFile().c_str()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static const bool Registered = (std::atexit(&RemoveInputFile), true);
    (void)Registered;
    if (std::FILE* F = std::fopen(InputFile().c_str(), "wb")) {
        if (Size) std::fwrite(Data, 1, Size, F);
        std::fclose(F);
    } else {
        std::abort();
    }
    // The command's output and its error message are not looked at.
    std::ostringstream Out, Err;
    std::streambuf* OldOut = std::cout.rdbuf(Out.rdbuf());
    std::streambuf* OldErr = std::cerr.rdbuf(Err.rdbuf());
    const std::vector<std::string> Args{InputFile()};
    const int Status = plotvane::RunPackageInfo(Args);
    std::cout.rdbuf(OldOut);
    std::cerr.rdbuf(OldErr);
    // 0 with the report, 1 with one message; 2 would be a usage error.
    if (Status != 0 && Status != 1) std::abort();
    if (Status == 1 && Err.str().rfind("plotvane package-info: ", 0) != 0) std::abort();
    return 0;
}
