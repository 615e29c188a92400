#pragma once
// What the GIF and JPEG picture tests share: a clean leak report despite
// Cairo's and fontconfig's caches, a colour distance, and the other
// decoders (Pillow, ImageMagick) that read the files when installed.

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace pv::picture_tests {

// Cairo's toy text API and fontconfig keep font data in static caches;
// freeing them at exit keeps the leak checker's report to our own code.
class TCairoCaches : public ::testing::Environment {
public:
    void TearDown() override {
        cairo_debug_reset_static_data();
        FcFini();
    }
};
[[maybe_unused]] inline const auto* const CairoCaches = ::testing::AddGlobalTestEnvironment(new TCairoCaches);

// The largest difference of one channel between two 0x00RRGGBB colours.
inline int ChannelDistance(std::uint32_t A, std::uint32_t B) {
    int D = 0;
    for (int Shift = 0; Shift <= 16; Shift += 8)
        D = std::max(D, std::abs(static_cast<int>((A >> Shift) & 0xFF) - static_cast<int>((B >> Shift) & 0xFF)));
    return D;
}

// Runs a shell command and returns its standard output without the
// trailing blanks, or nullopt if it failed.
inline std::optional<std::string> RunCommand(const std::string& Command) {
    std::FILE* P = popen((Command + " 2>/dev/null").c_str(), "r");
    if (!P) return std::nullopt;
    std::string Out;
    char Buf[256];
    while (std::fgets(Buf, sizeof Buf, P)) Out += Buf;
    if (pclose(P) != 0) return std::nullopt;
    while (!Out.empty() && (Out.back() == '\n' || Out.back() == ' ')) Out.pop_back();
    return Out;
}

// The independent decoders installed on this machine.
struct TOtherDecoders {
    bool Pillow = RunCommand("/usr/bin/python3 -c 'import PIL.Image'").has_value();
    bool Identify = RunCommand("identify -version").has_value();
    bool Any() const { return Pillow || Identify; }
};

// Writes the bytes to a file in the test's temporary folder and returns
// its path.
inline std::string WriteTempFile(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
    const std::string Path = ::testing::TempDir() + "/" + Name;
    std::ofstream F(Path, std::ios::binary);
    F.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    return Path;
}

}  // namespace pv::picture_tests
