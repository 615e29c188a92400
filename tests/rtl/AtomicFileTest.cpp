// WriteFileAtomically: the whole file or nothing, a temporary file left by a
// killed writer is cleaned up the next time the same target is written, and
// nothing else in the folder is touched.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/Exception.h"
#include "tests/support/ThrowMessage.h"

namespace pv {

namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("atomic-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::set<std::string> Entries() const {
        std::set<std::string> S;
        for (const auto& E : fs::directory_iterator(Dir)) S.insert(E.path().filename().string());
        return S;
    }
    void Touch(const std::string& Name, const std::string& Text = "user data") const {
        std::ofstream(Dir / Name) << Text;
    }
    static std::string Read(const fs::path& P) {
        std::ifstream In(P);
        std::stringstream S;
        S << In.rdbuf();
        return S.str();
    }
    static void Write(const fs::path& P, const std::string& Text) {
        WriteFileAtomically(P.string(), std::span(reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()));
    }
    // The id of a process that has exited and been reaped, as a killed
    // writer's would be.
    static pid_t DeadProcessId() {
        pid_t Child = ::fork();
        if (Child == 0) ::_exit(0);
        int Status = 0;
        ::waitpid(Child, &Status, 0);
        return Child;
    }

    fs::path Dir;
};

}  // namespace

TEST_F(AtomicFileTest, WritesTheWholeFileWithTheUsersPermissionsAndNoTemporaryLeft) {
    Write(Dir / "chart.gif", "GIF89a first");
    Write(Dir / "chart.gif", "GIF89a second, longer");
    EXPECT_EQ(Read(Dir / "chart.gif"), "GIF89a second, longer");
    EXPECT_EQ(Entries(), std::set<std::string>{"chart.gif"});
    mode_t Mask = ::umask(0);
    ::umask(Mask);
    struct stat St {};
    ASSERT_EQ(::stat((Dir / "chart.gif").c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0666 & ~Mask);
}

TEST_F(AtomicFileTest, AFailureNamesTheFileAndLeavesTheOldOne) {
    Write(Dir / "keep.form", "old");
    EXPECT_THROW_MSG(Write(Dir / "missing" / "x.gif", "data"), EStreamError,
                     "Cannot write " + (Dir / "missing" / "x.gif").string() + ": No such file or directory");
    // A folder in the way of the rename: the old entry stays, no temporary.
    fs::create_directory(Dir / "taken.gif");
    Touch("taken.gif/inside");
    EXPECT_THROW(Write(Dir / "taken.gif", "data"), EStreamError);
    EXPECT_EQ(Entries(), (std::set<std::string>{"keep.form", "taken.gif"}));
    EXPECT_EQ(Read(Dir / "keep.form"), "old");
}

TEST_F(AtomicFileTest, RemovesOnlyTheStaleTemporariesOfTheSameTarget) {
    const std::string Dead = std::to_string(DeadProcessId());
    const std::string Live = std::to_string(::getppid());  // a process that is running
    // What a writer killed while writing chart.gif leaves behind.
    Touch(".chart.gif.tmp-" + Dead + "-a1B2c3", "half a picture");
    Touch(".chart.gif.tmp-" + Dead + "-Zz9Yy8", "another half");
    // Everything else must stay: a live writer's temporary file, another
    // target's stale one, and the user's own files of similar names.
    const std::set<std::string> Others{
        ".chart.gif.tmp-" + Live + "-q1w2e3",  // still being written by a running process
        ".other.gif.tmp-" + Dead + "-a1B2c3",  // another target
        ".chart.gif.tmp-" + Dead + "-a1B2c",   // not a name we make
        ".chart.gif.tmp-" + Dead + "-a1B2c3.bak",
        ".chart.gif.tmp-x" + Dead + "-a1B2c3",
        "chart.gif.tmp-" + Dead + "-a1B2c3",
        ".chart.gif",
        "chart.gif.bak",
    };
    for (const std::string& N : Others) Touch(N);
    // A folder with a temporary file's name is no file of ours.
    fs::create_directory(Dir / (".chart.gif.tmp-" + Dead + "-dir000"));

    Write(Dir / "chart.gif", "GIF89a");

    std::set<std::string> Expected = Others;
    Expected.insert("chart.gif");
    Expected.insert(".chart.gif.tmp-" + Dead + "-dir000");
    EXPECT_EQ(Entries(), Expected);
    for (const std::string& N : Others) EXPECT_EQ(Read(Dir / N), "user data") << N;
    EXPECT_EQ(Read(Dir / "chart.gif"), "GIF89a");
}

TEST_F(AtomicFileTest, AKilledWriterLeavesNoTruncatedTargetAndItsTemporaryIsRemovedNextTime) {
    Write(Dir / "big.bin", "the old picture");
    // A child that is killed while it writes a large file: the target is
    // either the old file or the whole new one, never a part of it.
    const std::string Large(64 << 20, 'x');
    pid_t Child = ::fork();
    if (Child == 0) {
        Write(Dir / "big.bin", Large);
        ::_exit(0);
    }
    // Wait until its temporary file exists, then kill it.
    for (int I = 0; I < 2000; ++I) {
        bool Seen = false;
        for (const std::string& N : Entries()) Seen = Seen || N.rfind(".big.bin.tmp-", 0) == 0;
        if (Seen) break;
        ::usleep(1000);
    }
    ::kill(Child, SIGKILL);
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    const std::string After = Read(Dir / "big.bin");
    EXPECT_TRUE(After == "the old picture" || After == Large) << After.size() << " bytes";

    Write(Dir / "big.bin", "the new picture");
    EXPECT_EQ(Entries(), std::set<std::string>{"big.bin"});
    EXPECT_EQ(Read(Dir / "big.bin"), "the new picture");
}

}  // namespace pv
