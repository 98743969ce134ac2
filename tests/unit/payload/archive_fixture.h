// The payload tests' fixture: scratch archive and output directory, reader, scripted overwrite question.
#pragma once
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "payload/reader.h"
#include "support/archive_builder.h"
#include "support/scratch_dir.h"

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
    ScriptedAnswer a = g_Script.answers.empty() ? ANSWER_NO : g_Script.answers.front();
    if (!g_Script.answers.empty()) g_Script.answers.erase(g_Script.answers.begin());
    if (a == ANSWER_YES_ALL) answers->yesToAll = 1;
    if (a == ANSWER_NO_ALL) answers->noToAll = 1;
    if (a == ANSWER_CANCEL) answers->cancelled = 1;
    return a == ANSWER_YES || a == ANSWER_YES_ALL;
}

// Whether a creation time that is set is kept: on Windows, not under Wine on a Linux file system.
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
        kept = FactsOf(path).creation == 0x01A0000012345670ULL;
        DeleteFileA(path);
        if (!kept) printf("note: creation times are not kept here; not checked\n");
    }
    return kept == 1;
#else
    return false;
#endif
}

inline std::string Contents(const std::string& path) {
    return FactsOf(path).exists ? ReadFileBytes(path) : std::string("<missing>");
}

// The restored times of `path`; its creation time only where the system keeps it.
inline void ExpectTimes(const std::string& path, const FileTimes& want) {
    FileFacts t = FactsOf(path);
    ASSERT_TRUE(t.exists) << path;
    EXPECT_EQ(want.lastWrite, t.lastWrite) << path;
    EXPECT_EQ(want.lastAccess, t.lastAccess) << path;
    if (CreationTimesKept()) {
        EXPECT_EQ(want.creation, t.creation) << path;
    }
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
        if (!WriteFileBytes(archivePath, archive)) return 99;
        return ReadArchiveHeaderFrom(&reader, archivePath.c_str());
    }
    // The default image followed by the first `keep` bytes of `payload`.
    int OpenPayload(const Bytes& payload, size_t keep) {
        Bytes archive = MakePeImage();
        archive.insert(archive.end(), payload.begin(), payload.begin() + keep);
        return OpenBytes(archive);
    }

    // One entry with a freshly derived key, as the run does it.
    int Next(const std::string& destination, ExtractMode mode = EXTRACT_WRITE,
             EntryInfo* info = nullptr) {
        DeriveStreamKey(&ctx, KeyOf(header.password));
        return ExtractOrTestEntry(&reader, &ctx, destination.c_str(), mode, info);
    }
    int Next() { return Next(dest); }
    // One entry listed, its data skipped, with a freshly derived key.
    int List(EntryInfo* info) {
        DeriveStreamKey(&ctx, KeyOf(header.password));
        return ReadEntrySkippingData(&reader, &ctx, info);
    }

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
