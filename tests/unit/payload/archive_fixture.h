// Shared set-up of the payload tests: a scratch directory with an archive
// and an output directory, a reader closed after each test,
// a scripted overwrite question, and checks of what landed on disk.
#pragma once
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "payload/reader.h"
#include "support/archive_builder.h"
#include "support/files.h"
#include "support/scratch_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

// Answers the overwrite question gives, in order.
enum ScriptedAnswer { ANSWER_NO = 0, ANSWER_YES = 1, ANSWER_YES_ALL, ANSWER_NO_ALL, ANSWER_CANCEL };

struct OverwriteScript {
    std::vector<ScriptedAnswer> answers;
    std::vector<std::string> asked;
};
inline OverwriteScript g_Script;

// `user` is the Reader.
inline int ScriptedQuestion(void* user, const char* name) {
    OverwriteAnswers* answers = &static_cast<Reader*>(user)->answers;
    g_Script.asked.push_back(name);
    ScriptedAnswer a = ANSWER_NO;
    if (!g_Script.answers.empty()) {
        a = g_Script.answers.front();
        g_Script.answers.erase(g_Script.answers.begin());
    }
    switch (a) {
    case ANSWER_YES: return 1;
    case ANSWER_YES_ALL: answers->yesToAll = 1; return 1;
    case ANSWER_NO_ALL: answers->noToAll = 1; return 0;
    case ANSWER_CANCEL: answers->cancelled = 1; return 0;
    default: return 0;
    }
}

// Times as the file system reports them, in FILETIME form. POSIX has no
// creation time: 0 there.
inline bool ReadTimes(const std::string& path, FileTimes* t) {
#ifdef _WIN32
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME c, a, w;
    BOOL ok = GetFileTime(h, &c, &a, &w);
    CloseHandle(h);
    auto join = [](FILETIME f) { return ((uint64_t)f.dwHighDateTime << 32) | f.dwLowDateTime; };
    t->creation = join(c);
    t->lastAccess = join(a);
    t->lastWrite = join(w);
    return ok != 0;
#else
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    auto ticks = [](const struct timespec& ts) {
        return (uint64_t)(((int64_t)ts.tv_sec + 11644473600LL) * 10000000LL + ts.tv_nsec / 100);
    };
    t->creation = 0;
    t->lastAccess = ticks(st.st_atim);
    t->lastWrite = ticks(st.st_mtim);
    return true;
#endif
}

// Whether the file system keeps a creation time that is set: real Windows
// does; Wine on a Linux file system reports the write time instead, so the
// creation checks only run where a probe shows the time is kept.
inline bool CreationTimesKept() {
#ifdef _WIN32
    static int kept = -1;
    if (kept < 0) {
        char dir[MAX_PATH], path[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "lbp", 0, path);
        HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        FILETIME c = {0x12345670, 0x01A00000}, w = {0, 0x01D00000};
        SetFileTime(h, &c, NULL, &w);
        CloseHandle(h);
        FileTimes t;
        kept = ReadTimes(path, &t) && t.creation == 0x01A0000012345670ULL;
        DeleteFileA(path);
        if (!kept) printf("note: creation times are not kept here; not checked\n");
    }
    return kept == 1;
#else
    return false;
#endif
}

inline bool PathExists(const std::string& path) {
#ifdef _WIN32
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
#endif
}

inline bool IsDirectory(const std::string& path) {
#ifdef _WIN32
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

// Names in a directory, sorted, without "." and "..".
inline std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
#ifdef _WIN32
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string n = found.cFileName;
            if (n != "." && n != "..") names.push_back(n);
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
#else
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
#endif
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string Contents(const std::string& path) {
    std::string s;
    return ReadBytes(path, &s) ? s : std::string("<missing>");
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_Script = OverwriteScript();
        reader.askOverwrite = ScriptedQuestion;
        reader.questionUser = &reader;
        ASSERT_FALSE(scratch.path().empty());
        archivePath = scratch.Native("archive.exe");
        dest = scratch.Native("out");
        ASSERT_TRUE(PlatformCreateDirectory(dest.c_str()));
    }
    void TearDown() override { CloseArchive(&reader); }

    // Writes the archive and reads its header.
    int Open(const std::vector<TestEntry>& entries, const PeShape& pe = PeShape()) {
        return OpenBytes(BuildArchive(header, entries, pe));
    }
    int OpenBytes(const Bytes& archive) {
        CloseArchive(&reader);  // Windows cannot replace a file that is open
        if (!WriteBytes(archivePath, archive)) return 99;
        return ReadArchiveHeaderFrom(&reader, archivePath.c_str());
    }

    // One entry with a freshly derived key, as the run does it.
    int Next(const std::string& destination, ExtractMode mode = EXTRACT_WRITE,
             EntryInfo* info = nullptr) {
        DeriveStreamKey(&ctx, KeyOf(header.password));
        return ExtractOrTestEntry(&reader, &ctx, destination.c_str(), mode, info);
    }
    int Next() { return Next(dest); }

    // Results of the entries up to and including the first that is not OK.
    std::vector<int> RunAll(const std::string& destination, ExtractMode mode = EXTRACT_WRITE) {
        std::vector<int> results;
        for (int i = 0; i < 1000; i++) {
            results.push_back(Next(destination, mode));
            if (results.back() != RESULT_OK) break;
        }
        return results;
    }
    std::vector<int> RunAll() { return RunAll(dest); }

    std::string Out(const std::string& relative) const { return scratch.Native("out\\" + relative); }

    ScratchDir scratch;
    std::string archivePath;
    std::string dest;
    TestHeader header;
    Reader reader = {};
    CipherContext ctx;
};

inline std::vector<int> Results(std::initializer_list<int> r) { return std::vector<int>(r); }
