// One small archive cut, its structure and data bytes changed, its names made hostile: the reader gives a
// defined result, writes nothing outside, leaves no temporary file and the old file as it was or replaced.
#include <gtest/gtest.h>

#include "unit/sweep/sweep_archive.h"

namespace {

using sweep::Bench;
using sweep::Sample;

class MalformedSweep : public ::testing::Test {
protected:
    void SetUp() override {
        sample_ = sweep::MakeSample();
        ASSERT_FALSE(sample_.bytes.empty()) << "the writer refused the sample archive";
        ASSERT_EQ(sample_.plain.size(), 5u);
        ASSERT_TRUE(bench_.ready());
    }
    // Every rule held for every archive the test ran.
    void TearDown() override { EXPECT_EQ(failures_, 0) << firstFailures_; }

    // Runs `archive`, noting a failure (the first few are printed).
    sandbox::Outcome Check(const std::vector<uint8_t>& archive, const std::string& what) {
        sandbox::Outcome o;
        Note(what, bench_.Run(sample_, archive, &o));
        return o;
    }
    void Note(const std::string& what, const std::string& bad) {
        if (!bad.empty() && failures_++ < 5) firstFailures_ += what + ": " + bad + "\n";
    }
    Sample sample_;
    Bench bench_;
    int failures_ = 0;
    std::string firstFailures_;
};

TEST_F(MalformedSweep, IntactArchiveRestoresEverything) {
    sandbox::Outcome o;
    EXPECT_EQ(bench_.Run(sample_, sample_.bytes, &o), "");
    EXPECT_EQ(o.last, RESULT_END);
    EXPECT_EQ(o.entriesOk, 5);
    sandbox::Tree tree = sandbox::Snapshot(bench_.box().dest);
    for (auto& f : sample_.files) EXPECT_EQ(tree[f.first].content, f.second) << f.first;
}

TEST_F(MalformedSweep, TruncatedAtEveryOffset) {
    int corrupt = 0;
    for (size_t length = 0; length < sample_.bytes.size(); length++) {
        std::vector<uint8_t> cut(sample_.bytes.begin(), sample_.bytes.begin() + (long)length);
        sandbox::Outcome o = Check(cut, "cut at " + std::to_string(length));
        // A cut inside an entry is damage, never a clean end.
        bool atBoundary = std::count(sample_.entryAt.begin(), sample_.entryAt.end(), length) > 0;
        if (length >= sample_.entriesAt && !atBoundary && o.last == RESULT_CORRUPT) corrupt++;
    }
    EXPECT_EQ(corrupt, (int)(sample_.bytes.size() - sample_.entriesAt - sample_.entryAt.size()))
        << "every cut inside an entry must be reported as damage";
}

// Offsets of the bytes that steer the reader: the PE fields of payload
// location, the archive header, and every entry's header, length and name.
std::vector<size_t> StructureOffsets(const Sample& s) {
    std::vector<size_t> at;
    const size_t n = 0x80;  // e_lfanew of the sample's stub
    for (size_t i : {60u, 61u}) at.push_back(i);
    for (size_t i = 6; i < 8; i++) at.push_back(n + i);
    for (size_t i = 24; i < 26; i++) at.push_back(n + i);
    for (size_t i = 16; i < 24; i++) at.push_back(n + PE_SECTION_TABLE + 40 + i);  // last section entry
    for (size_t i = 0; i < 8; i++) at.push_back(n + 24 + PE_DATA_DIRECTORIES + 32 + i);  // certificate table
    for (size_t i = s.entriesAt - 35 - 5 - 5; i < s.entriesAt; i++) at.push_back(i);
    for (size_t e = 0; e < s.entryAt.size(); e++) {
        size_t end = s.entryAt[e] + ENTRY_HEADER_SIZE + 2 + s.plain[e].name.size();
        for (size_t i = s.entryAt[e]; i < end; i++) at.push_back(i);
    }
    return at;
}

TEST_F(MalformedSweep, EveryStructureByteChanged) {
    for (size_t at : StructureOffsets(sample_)) {
        for (int change = 0; change < 2; change++) {
            std::vector<uint8_t> bad = sample_.bytes;
            bad[at] = change ? (uint8_t)(bad[at] + 1) : (uint8_t)(bad[at] ^ 0xFF);
            Check(bad, (change ? "+1 at " : "xor at ") + std::to_string(at));
        }
    }
}

TEST_F(MalformedSweep, SampledDataBytesChanged) {
    int tried = 0;
    for (size_t e = 0; e < sample_.entryAt.size(); e++) {
        size_t data = sample_.entryAt[e] + ENTRY_HEADER_SIZE + 2 + sample_.plain[e].name.size();
        for (size_t i = 0; i < sample_.plain[e].data.size(); i += 3) {
            std::vector<uint8_t> bad = sample_.bytes;
            bad[data + i] ^= (uint8_t)(i % 2 ? 0xFF : 0x01);
            Check(bad, "data byte " + std::to_string(data + i));
            tried++;
        }
    }
    EXPECT_GT(tried, 100);
}

// Names that would reach outside the destination in place of each entry's name (re-encrypted).
TEST_F(MalformedSweep, NamesLeavingTheDestinationAreRefused) {
    const char* hostile[] = {"..", "..\\escaped", "../escaped", "docs\\..\\..\\escaped",
                             "docs/../../escaped", "\\escaped", "/escaped", "C:escaped",
                             "docs\\a.txt:stream", "...\\escaped", ".. \\escaped", "",
                             // names Windows reads as devices or not at all
                             "NUL", "docs\\con.txt", "COM1 .log", ".", "docs\\.", "tab\there",
                             "what?.txt"};
    for (size_t e = 0; e < sample_.plain.size(); e++) {
        for (const char* name : hostile) {
            std::vector<PlainEntry> plain = sample_.plain;
            plain[e].name = name;
            std::vector<uint8_t> archive = sweep::Rebuild(sample_, plain);
            std::string what = "entry " + std::to_string(e) + " named \"" + name + "\"";
            sandbox::Outcome o = Check(archive, what);
            if (o.last != RESULT_CORRUPT || o.entriesOk != (int)e) Note(what, "not refused at that entry");
        }
    }
}

// Code signing's table and tables that lie: the entries end where it begins (after up to 7 zero bytes),
// and nothing in or behind it is read as an entry.
TEST_F(MalformedSweep, CertificateTableEndsTheEntries) {
    const size_t directory = 0x80 + 24 + PE_DATA_DIRECTORIES + 32;
    const size_t size = sample_.bytes.size(), lastEntry = sample_.entryAt.back();
    struct Case {
        const char* what;
        size_t keep;              // archive bytes kept before the padding
        std::string padding;
        int64_t offsetShift, sizeShift;
        int header, last, entriesOk;
    } cases[] = {
        {"no padding", size, "", 0, 0, RESULT_OK, RESULT_END, 5},
        {"7 zero bytes of padding", size, std::string(7, '\0'), 0, 0, RESULT_OK, RESULT_END, 5},
        {"padding that is not zero", size, std::string("\0\0\1", 3), 0, 0, RESULT_OK, RESULT_CORRUPT, 5},
        {"8 zero bytes are no padding", size, std::string(8, '\0'), 0, 0, RESULT_OK, RESULT_CORRUPT, 5},
        {"table begins inside the last file's data", lastEntry + ENTRY_HEADER_SIZE + 12, "", 0, 0,
         RESULT_OK, RESULT_CORRUPT, 4},
        {"entries hidden in the table", lastEntry, "", 0, 0, RESULT_OK, RESULT_END, 4},
        {"table beyond the file", size, "", 32, 8, RESULT_CORRUPT, RESULT_CORRUPT, 0},
        {"table ending short of the file", size, "", 0, -1, RESULT_CORRUPT, RESULT_CORRUPT, 0},
        {"table ending beyond the file", size, "", 0, 1, RESULT_CORRUPT, RESULT_CORRUPT, 0},
        {"table inside the archive header", size, "", -(int64_t)(size - sample_.entriesAt) - 1, 0,
         RESULT_CORRUPT, RESULT_CORRUPT, 0},
    };
    const std::string table(24, '\x5A');
    for (const Case& c : cases) {
        // The table goes behind `keep` bytes; what followed them ends up inside it.
        std::vector<uint8_t> bytes(sample_.bytes.begin(), sample_.bytes.begin() + (long)c.keep);
        bytes.insert(bytes.end(), c.padding.begin(), c.padding.end());
        int64_t offset = (int64_t)bytes.size() + c.offsetShift;
        bytes.insert(bytes.end(), table.begin(), table.end());
        bytes.insert(bytes.end(), sample_.bytes.begin() + (long)c.keep, sample_.bytes.end());
        int64_t tableSize = std::max<int64_t>((int64_t)bytes.size() - offset, 0) + c.sizeShift;
        StoreLE32(&bytes[directory], (uint32_t)offset);
        StoreLE32(&bytes[directory + 4], (uint32_t)tableSize);
        sandbox::Outcome o = Check(bytes, c.what);
        if (o.header != c.header || (c.header == RESULT_OK && (o.last != c.last || o.entriesOk != c.entriesOk)))
            Note(c.what, "header " + std::to_string(o.header) + ", ended with " + std::to_string(o.last) +
                               " after " + std::to_string(o.entriesOk) + " entries");
    }
}

}  // namespace
