#include "platform/rtl/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "platform/rtl/Exception.h"

namespace pv {

namespace {

// ".<name>.tmp-"; the process id, "-" and mkstemp's six characters follow.
std::string TempPrefix(const std::string& Name) { return "." + Name + ".tmp-"; }

bool IsTempSuffixChar(char C) {
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9');
}

// The process id of a temporary file name of this target, or 0 when Entry
// is no such name.
pid_t TempOwner(std::string_view Entry, std::string_view Prefix) {
    if (Entry.size() <= Prefix.size() || Entry.substr(0, Prefix.size()) != Prefix) return 0;
    std::string_view Rest = Entry.substr(Prefix.size());
    auto Dash = Rest.find('-');
    if (Dash == std::string_view::npos || Dash == 0 || Rest.size() - Dash - 1 != 6) return 0;
    for (char C : Rest.substr(Dash + 1))
        if (!IsTempSuffixChar(C)) return 0;
    pid_t Pid = 0;
    auto [End, Ec] = std::from_chars(Rest.data(), Rest.data() + Dash, Pid);
    if (Ec != std::errc() || End != Rest.data() + Dash || Pid <= 0) return 0;
    return Pid;
}

// Removes the temporary files of Name in Dir whose writer is gone: its
// process no longer exists, and the file is a regular file of ours that
// no one holds locked (a writer holds its lock until the rename, also one
// in another process namespace, where its process id means nothing here).
void RemoveStaleTemps(const std::string& Dir, const std::string& Name) {
    const std::string Prefix = TempPrefix(Name);
    DIR* D = ::opendir(Dir.c_str());
    if (!D) return;  // the write itself reports what is wrong with the folder
    const int DirFd = ::dirfd(D);
    while (dirent* E = ::readdir(D)) {
        std::string_view Entry(E->d_name);
        const pid_t Pid = TempOwner(Entry, Prefix);
        if (Pid == 0 || Pid == ::getpid()) continue;
        if (::kill(Pid, 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
        int Fd = ::openat(DirFd, E->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (Fd < 0) continue;
        struct stat St {};
        if (::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode) && St.st_uid == ::geteuid() &&
            ::flock(Fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(DirFd, E->d_name, 0);
        ::close(Fd);  // drops the lock
    }
    ::closedir(D);
}

}  // namespace

void WriteFileAtomically(const std::string& FileName, std::span<const std::uint8_t> Bytes) {
    namespace fs = std::filesystem;
    auto Fail = [&](const std::string& What) { throw EStreamError("Cannot write " + FileName + ": " + What); };
    fs::path Target(FileName);
    if (!Target.has_filename()) Fail("the name is a folder");
    std::string Dir = Target.parent_path().string();
    if (Dir.empty()) Dir = ".";
    const std::string Name = Target.filename().string();
    RemoveStaleTemps(Dir, Name);

    std::string Temp = (fs::path(Dir) / (TempPrefix(Name) + std::to_string(::getpid()) + "-XXXXXX")).string();
    int Fd = ::mkostemp(Temp.data(), O_CLOEXEC);
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
    } Cleanup{Fd, Temp, Renamed};
    // Held until the file is closed after the rename: a live writer's file
    // is never taken for a stale one.
    if (::flock(Fd, LOCK_EX) != 0) Fail(std::strerror(errno));
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
    // The bytes reach the disk before the name does: after a crash the name
    // holds either the old file or the whole new one.
    if (::fsync(Fd) != 0) Fail(std::strerror(errno));
    if (::rename(Temp.c_str(), FileName.c_str()) != 0) Fail(std::strerror(errno));
    Renamed = true;
    int Closing = Fd;
    Fd = -1;
    if (::close(Closing) != 0) Fail(std::strerror(errno));
    // The rename is an entry of the folder, which is flushed on its own.
    int DirFd = ::open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DirFd < 0) Fail("cannot open its folder to flush it: " + std::string(std::strerror(errno)));
    int Synced = ::fsync(DirFd);
    int SyncError = errno;
    ::close(DirFd);
    // Some file systems cannot flush a folder; the file is complete anyway.
    if (Synced != 0 && SyncError != EINVAL && SyncError != ENOTSUP)
        Fail("cannot flush its folder: " + std::string(std::strerror(SyncError)));
}

}  // namespace pv
