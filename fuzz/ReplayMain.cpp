// Replays inputs through a fuzz target without the fuzzer: every file named
// on the command line, and every file below every folder named, in name
// order. Built with the ordinary compiler, it makes the seed corpus and
// every input a fuzzer ever found into ordinary tests; a crash, a sanitizer
// report or an escaping exception fails the run.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size);
extern "C" int LLVMFuzzerInitialize(int* Argc, char*** Argv) __attribute__((weak));

int main(int Argc, char** Argv) {
    namespace fs = std::filesystem;
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&Argc, &Argv);
    std::vector<fs::path> Files;
    for (int I = 1; I < Argc; ++I) {
        fs::path P(Argv[I]);
        if (fs::is_directory(P)) {
            for (const auto& E : fs::recursive_directory_iterator(P))
                if (E.is_regular_file() && E.path().filename().string()[0] != '.') Files.push_back(E.path());
        } else if (fs::exists(P)) {
            Files.push_back(P);
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", Argv[I]);
            return 2;
        }
    }
    std::sort(Files.begin(), Files.end());
    for (const fs::path& F : Files) {
        std::ifstream In(F, std::ios::binary);
        std::vector<char> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        std::fprintf(stderr, "%s (%zu bytes)\n", F.c_str(), Bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(Bytes.data()), Bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", Files.size());
    return Files.empty() ? 1 : 0;
}
