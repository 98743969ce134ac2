// Shared set-up of the tool tests: a scratch directory holding a fake stub
// and an input tree with known contents, permissions and times.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_stub.h"
#include "tool_runner.h"

// A password long and plain enough to draw no warning.
const char PASSWORD[] = "correct horse battery staple";

// Sets last access and last write of `path` (seconds + nanoseconds).
inline void SetTimes(const std::string& path, long seconds, long nanos) {
    timespec t[2] = {{seconds, nanos}, {seconds, nanos}};
    utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW);
}

class ToolTest : public ::testing::Test {
protected:
    ScratchDir dir;

    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        WriteFileBytes(dir.Native("stub.exe"), MakeFakeStub(true));
    }

    std::string Path(const std::string& relative) const { return dir.Native(relative); }
    // Makes these folders of the scratch directory, in order.
    void MakeDirs(std::initializer_list<std::string> names) const {
        for (const std::string& name : names) mkdir(Path(name).c_str(), 0755);
    }

    // in/            a tree with an empty directory, an empty file, a
    //   a.txt        read-only file and a file over two IO_CHUNKs
    //   empty.bin
    //   big.bin      400000 bytes
    //   sub/deeper/readonly.txt
    //   void/        (empty)
    void MakeInputTree() {
        MakeDirs({"in", "in/sub", "in/sub/deeper", "in/void"});
        WriteFileBytes(Path("in/a.txt"), "alpha\n");
        WriteFileBytes(Path("in/empty.bin"), "");
        std::string big(400000, '\0');
        uint32_t x = 12345;
        for (size_t i = 0; i < big.size(); i++) {
            x = x * 1103515245u + 12345u;
            big[i] = (char)((i % 3) ? (x >> 24) : 'a' + i % 7);
        }
        WriteFileBytes(Path("in/big.bin"), big);
        WriteFileBytes(Path("in/sub/deeper/readonly.txt"), "do not touch\n");
        chmod(Path("in/sub/deeper/readonly.txt").c_str(), 0444);
        // Times with 100-ns digits, innermost first so that the directories
        // keep theirs.
        const char* order[] = {"in/a.txt", "in/empty.bin", "in/big.bin", "in/sub/deeper/readonly.txt",
                               "in/sub/deeper", "in/sub", "in/void", "in"};
        long base = 1500000000;
        for (const char* p : order) SetTimes(Path(p), base += 3600, 123456700);
    }

    std::vector<std::string> Create(const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"create", "-q", "--stub", "stub.exe"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
};
