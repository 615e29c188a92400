#include "platform/rtl/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/rtl/Exception.h"

namespace pv {

void WriteFileAtomically(const std::string& FileName, std::span<const std::uint8_t> Bytes) {
    namespace fs = std::filesystem;
    fs::path Target(FileName);
    fs::path Dir = Target.parent_path();
    if (Dir.empty()) Dir = ".";
    std::string Template = (Dir / ("." + Target.filename().string() + ".tmp-XXXXXX")).string();
    auto Fail = [&](const std::string& What) {
        throw EStreamError("Cannot write " + FileName + ": " + What);
    };
    int Fd = ::mkstemp(Template.data());
    if (Fd < 0) Fail(std::strerror(errno));
    // The temporary file is removed on every way out but the rename.
    bool Renamed = false;
    struct TCleanup {
        int& Fd;
        const std::string& Name;
        bool& Renamed;
        ~TCleanup() {
            if (Fd >= 0) ::close(Fd);
            if (!Renamed) ::unlink(Name.c_str());
        }
    } Cleanup{Fd, Template, Renamed};
    std::size_t Done = 0;
    while (Done < Bytes.size()) {
        ssize_t N = ::write(Fd, Bytes.data() + Done, Bytes.size() - Done);
        if (N < 0) {
            if (errno == EINTR) continue;
            Fail(std::strerror(errno));
        }
        Done += static_cast<std::size_t>(N);
    }
    // mkstemp makes the file private; a picture or form is for everyone the
    // umask allows, like any file the user creates.
    mode_t Mask = ::umask(0);
    ::umask(Mask);
    if (::fchmod(Fd, 0666 & ~Mask) != 0) Fail(std::strerror(errno));
    int Closing = Fd;
    Fd = -1;
    if (::close(Closing) != 0) Fail(std::strerror(errno));
    if (::rename(Template.c_str(), FileName.c_str()) != 0) Fail(std::strerror(errno));
    Renamed = true;
}

}  // namespace pv
