// Malformed-input sweeps: one small archive cut at every byte, with every
// byte of its header, entry headers and names changed, with a sample of its
// data changed, and with names that try to leave the destination. Whatever
// the damage, the reader must return a defined result, write nothing
// outside the destination, leave no temporary file, and leave the file that
// existed before either as it was or wholly replaced.
#include <gtest/gtest.h>

#include "unit/sweep/sweep_archive.h"

namespace {

using sweep::Bench;
using sweep::Sample;

// Runs `archive` and records a failure (at most a few are printed).
struct Failures {
    int count = 0;
    std::string first;
    sandbox::Outcome Check(Bench& bench, const Sample& s, const std::vector<uint8_t>& archive,
                           const std::string& what) {
        sandbox::Outcome o;
        Note(what, bench.Run(s, archive, &o));
        return o;
    }
    void Note(const std::string& what, const std::string& bad) {
        if (!bad.empty() && count++ < 5) first += what + ": " + bad + "\n";
    }
};

class MalformedSweep : public ::testing::Test {
protected:
    void SetUp() override {
        sample_ = sweep::MakeSample();
        ASSERT_FALSE(sample_.bytes.empty()) << "the writer refused the sample archive";
        ASSERT_EQ(sample_.plain.size(), 5u);
        ASSERT_TRUE(bench_.ready());
    }
    Sample sample_;
    Bench bench_;
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
    Failures f;
    int corrupt = 0;
    for (size_t length = 0; length < sample_.bytes.size(); length++) {
        std::vector<uint8_t> cut(sample_.bytes.begin(), sample_.bytes.begin() + (long)length);
        sandbox::Outcome o = f.Check(bench_, sample_, cut, "cut at " + std::to_string(length));
        // A cut inside an entry is damage, never a clean end.
        bool atBoundary = false;
        for (size_t at : sample_.entryAt) atBoundary |= at == length;
        if (length >= sample_.entriesAt && !atBoundary && o.last == RESULT_CORRUPT) corrupt++;
    }
    EXPECT_EQ(f.count, 0) << f.first;
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
    for (size_t i = s.entriesAt - 35 - 5 - 5; i < s.entriesAt; i++) at.push_back(i);
    for (size_t e = 0; e < s.entryAt.size(); e++) {
        size_t end = s.entryAt[e] + ENTRY_HEADER_SIZE + 2 + s.plain[e].name.size();
        for (size_t i = s.entryAt[e]; i < end; i++) at.push_back(i);
    }
    return at;
}

TEST_F(MalformedSweep, EveryStructureByteChanged) {
    Failures f;
    for (size_t at : StructureOffsets(sample_)) {
        for (int change = 0; change < 2; change++) {
            std::vector<uint8_t> bad = sample_.bytes;
            bad[at] = change ? (uint8_t)(bad[at] + 1) : (uint8_t)(bad[at] ^ 0xFF);
            f.Check(bench_, sample_, bad, (change ? "+1 at " : "xor at ") + std::to_string(at));
        }
    }
    EXPECT_EQ(f.count, 0) << f.first;
}

TEST_F(MalformedSweep, SampledDataBytesChanged) {
    Failures f;
    int tried = 0;
    for (size_t e = 0; e < sample_.entryAt.size(); e++) {
        size_t data = sample_.entryAt[e] + ENTRY_HEADER_SIZE + 2 + sample_.plain[e].name.size();
        for (size_t i = 0; i < sample_.plain[e].data.size(); i += 3) {
            std::vector<uint8_t> bad = sample_.bytes;
            bad[data + i] ^= (uint8_t)(i % 2 ? 0xFF : 0x01);
            f.Check(bench_, sample_, bad, "data byte " + std::to_string(data + i));
            tried++;
        }
    }
    EXPECT_GT(tried, 100);
    EXPECT_EQ(f.count, 0) << f.first;
}

// Names that would reach outside the destination, put in place of each
// entry's name (re-encrypted, so the reader sees them as written).
TEST_F(MalformedSweep, NamesLeavingTheDestinationAreRefused) {
    const char* hostile[] = {"..", "..\\escaped", "../escaped", "docs\\..\\..\\escaped",
                             "docs/../../escaped", "\\escaped", "/escaped", "C:escaped",
                             "docs\\a.txt:stream", "...\\escaped", ".. \\escaped", "",
                             // names Windows reads as devices or not at all
                             "NUL", "docs\\con.txt", "COM1 .log", ".", "docs\\.", "tab\there",
                             "what?.txt"};
    Failures f;
    for (size_t e = 0; e < sample_.plain.size(); e++) {
        for (const char* name : hostile) {
            std::vector<sweep::Plain> plain = sample_.plain;
            plain[e].name = name;
            std::vector<uint8_t> archive = sweep::Rebuild(sample_, plain);
            std::string what = "entry " + std::to_string(e) + " named \"" + name + "\"";
            sandbox::Outcome o = f.Check(bench_, sample_, archive, what);
            if (o.last != RESULT_CORRUPT || o.entriesOk != (int)e) f.Note(what, "not refused at that entry");
        }
    }
    EXPECT_EQ(f.count, 0) << f.first;
}

// Payload location reads only inside the image it is given: exact-size
// buffers whose headers point past their end.
TEST(PayloadLocationBounds, FieldsPointingPastTheEndGiveMinusOne) {
    PeShape shape;
    shape.sections = {{0x200, 0x200}};
    std::vector<uint8_t> good = MakePeImage(shape);
    ASSERT_EQ(LocatePayloadInImage(good.data(), good.size()), 0x400);
    struct Case {
        const char* what;
        size_t at;
        uint16_t value;
        size_t keep;  // bytes of the image kept
    } cases[] = {
        {"image shorter than a DOS header", 0, 0, 63},
        {"PE header past the end", 60, 0xFFF0, 0},
        {"optional header magic cut off", 60, (uint16_t)(good.size() - 25), 0},
        {"section count beyond the table", 0x80 + 6, 0xFFFF, 0},
        {"section table cut off", 0, 0, 0x80 + PE_SECTION_TABLE + 39},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = good;
        if (c.value) StoreLE16(&image[c.at], c.value);
        if (c.keep) image.resize(c.keep);
        image.shrink_to_fit();
        std::vector<uint8_t> exact(image);  // capacity == size: ASan sees any overread
        EXPECT_EQ(LocatePayloadInImage(exact.data(), exact.size()), -1) << c.what;
    }
}

}  // namespace
