// The tool tests' scratch directory, holding a fake stub and an input tree of known contents and times.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_stub.h"
#include "support/archive_builder.h"
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

    // in/{a.txt, empty.bin, big.bin (over two IO_CHUNKs), sub/deeper/readonly.txt (read-only), void/}
    void MakeInputTree() {
        MakeDirs({"in", "in/sub", "in/sub/deeper", "in/void"});
        WriteFileBytes(Path("in/a.txt"), "alpha\n");
        WriteFileBytes(Path("in/empty.bin"), "");
        WriteFileBytes(Path("in/big.bin"), MixedBytes(400000));
        WriteFileBytes(Path("in/sub/deeper/readonly.txt"), "do not touch\n");
        chmod(Path("in/sub/deeper/readonly.txt").c_str(), 0444);
        // Times with 100-ns digits, innermost first so that the directories keep theirs.
        const char* order[] = {"in/a.txt", "in/empty.bin", "in/big.bin", "in/sub/deeper/readonly.txt",
                               "in/sub/deeper", "in/sub", "in/void", "in"};
        long base = 1500000000;
        for (const char* p : order) SetTimes(Path(p), base += 3600, 123456700);
    }

    Args Create(const Args& extra) { return Args{"create", "-q", "--stub", "stub.exe"} + extra; }
};
