// Runs the built lockbox binary in a scratch directory and captures its exit code and output.
#pragma once
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/scratch_dir.h"

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

using Args = std::vector<std::string>;

// `args` followed by `more`.
inline Args operator+(Args args, const Args& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs `lockbox args...` in `dir` with `input` on stdin (never a terminal: no prompt waits).
inline ToolRun RunLockbox(const ScratchDir& dir, const Args& args, const std::string& input = std::string()) {
    WriteFileBytes(dir.Native(".stdin"), input);
    std::string cmd = "cd " + ShellQuote(dir.path()) + " && " + ShellQuote(LOCKBOX_TOOL);
    for (const std::string& a : args) cmd += " " + ShellQuote(a);
    cmd += " >.stdout 2>.stderr <.stdin";
    int status = std::system(cmd.c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFileBytes(dir.Native(".stdout"));
    run.err = ReadFileBytes(dir.Native(".stderr"));
    for (const char* name : {".stdout", ".stderr", ".stdin"}) std::remove(dir.Native(name).c_str());
    return run;
}

// Runs `lockbox args...`, expecting it to succeed; its standard output.
inline std::string RunOk(const ScratchDir& dir, const Args& args) {
    ToolRun r = RunLockbox(dir, args);
    EXPECT_EQ(0, r.exitCode) << r.err;
    return r.out;
}

// Caps the address space at 500 MB, for runaway allocations to fail (not under AddressSanitizer).
#if defined(__SANITIZE_ADDRESS__)
const char MEMORY_CAP[] = "";
#else
const char MEMORY_CAP[] = "ulimit -v 500000 && ";
#endif

// Runs a shell command line; returns its standard output.
inline std::string RunShell(const std::string& cmd, int* exitCode = nullptr) {
    FILE* pipe = popen((cmd + " 2>/dev/null").c_str(), "r");
    std::string out;
    if (!pipe) return out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    int status = pclose(pipe);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

// Expects `text` to hold `part`, and shows `text` when it does not.
#define EXPECT_CONTAINS(text, part)                                    \
    do {                                                               \
        const std::string& text_ = (text);                             \
        EXPECT_NE(std::string::npos, text_.find(part)) << text_;       \
    } while (0)

// The tool as a shell word.
inline const std::string TOOL = ShellQuote(LOCKBOX_TOOL);

// Runs a shell command line in `dir`.
inline std::string RunShellIn(const ScratchDir& dir, const std::string& cmd, int* exitCode = nullptr) {
    return RunShell("cd " + ShellQuote(dir.path()) + " && " + cmd, exitCode);
}

// True when `cmd` succeeds: a program that a test needs is there.
inline bool Succeeds(const std::string& cmd) {
    int rc = -1;
    RunShell(cmd, &rc);
    return rc == 0;
}

// True when `text` holds a control a terminal acts on: below 0x20 save newline and tab, DEL, C1.
inline bool HoldsControls(const std::string& text) {
    for (size_t i = 0; i < text.size(); i++) {
        unsigned char c = (unsigned char)text[i], next = i + 1 < text.size() ? (unsigned char)text[i + 1] : 0;
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F))
            return true;
    }
    return false;
}

// The lines of `text` that are not warnings.
inline std::vector<std::string> ErrorLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("lockbox: warning:", 0) != 0) lines.push_back(line);
    return lines;
}

// Expects `exitCode` and one line besides warnings, "lockbox: ..." holding `says`; returns it.
inline std::string ExpectOneError(const ToolRun& r, int exitCode, const std::string& says) {
    EXPECT_EQ(exitCode, r.exitCode) << r.err;
    std::vector<std::string> lines = ErrorLines(r.err);
    EXPECT_EQ(1u, lines.size()) << r.err;
    if (lines.size() != 1) return std::string();
    EXPECT_EQ(0u, lines[0].rfind("lockbox: ", 0)) << lines[0];
    EXPECT_CONTAINS(lines[0], says);
    return lines[0];
}

// Expects create to stop, naming one input per phrase of `reasons` in order, with a last line that says
// nothing was written and how to go on.
inline void ExpectUnstorable(const ToolRun& r, const std::vector<std::string>& reasons) {
    EXPECT_EQ(1, r.exitCode) << r.err;
    std::vector<std::string> lines = ErrorLines(r.err);
    ASSERT_EQ(reasons.size() + 1, lines.size()) << r.err;
    for (size_t i = 0; i < reasons.size(); i++) {
        EXPECT_EQ(0u, lines[i].rfind("lockbox: cannot store '", 0)) << lines[i];
        EXPECT_CONTAINS(lines[i], reasons[i]);
    }
    EXPECT_CONTAINS(lines.back(), "cannot be stored; nothing was written");
    EXPECT_CONTAINS(lines.back(), "--skip-unstorable");
}
