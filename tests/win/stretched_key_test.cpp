// Stretched keys in the real extractor, unattended: Windows' PBKDF2 gives the writer's key, and
// the salt and rounds in its resources decide it (changed: a wrong key or damage, nothing written).
#include <gtest/gtest.h>

#include <cstring>

#include "crypto/key_stretch.h"
#include "win/window_driver.h"

using namespace window_test;

namespace {

const char PASSWORD[] = "stretched passphrase";

ArchiveSettings Stretched(uint32_t rounds) {
    ArchiveSettings settings = BasicSettings("Stretched", PASSWORD);
    settings.keyRounds = rounds;
    for (uint32_t i = 0; i < KEY_SALT_SIZE; i++) settings.keySalt[i] = (uint8_t)(0x30 + i);
    return settings;
}

const std::vector<WriterEntry> TREE = {DirEntry("d"), FileEntry("d\\a.txt", "alpha")};

TEST(StretchedKey, RightPasswordRestoresWrongOneWritesNothing) {
    RootScratchDir scratch;
    const std::string archive = scratch / "box.exe";
    // The tool's default rounds, and a few.
    for (uint32_t rounds : {DEFAULT_KEY_ROUNDS, 3u}) {
        SCOPED_TRACE(rounds);
        ASSERT_EQ("", MakeArchive(Stretched(rounds), TREE, archive));
        const std::string wrong = scratch / ("wrong" + std::to_string(rounds) + "\\"),
                          right = scratch / ("right" + std::to_string(rounds) + "\\");
        EXPECT_EQ(RunStub(archive, "\"not it\" \"" + wrong + "\"", scratch.path()), RESULT_BAD_PASSWORD);
        EXPECT_FALSE(Exists(wrong));
        EXPECT_EQ(RunStub(archive, std::string("\"") + PASSWORD + "\" \"" + right + "\"", scratch.path()), RESULT_END);
        EXPECT_EQ(ReadFileBytes(right + "d\\a.txt"), "alpha");
    }
}

TEST(StretchedKey, ChangedOrMalformedResourceWritesNothing) {
    RootScratchDir scratch;
    const std::string made = scratch / "made.exe";
    ASSERT_EQ("", MakeArchive(Stretched(1000), TREE, made));
    const std::string bytes = ReadFileBytes(made);
    uint8_t resource[KEY_STRETCH_SIZE];
    KeyStretch stretch;
    stretch.rounds = 1000;
    std::memcpy(stretch.salt, Stretched(1000).keySalt, KEY_SALT_SIZE);
    EncodeKeyStretch(&stretch, resource);
    size_t at = bytes.find(std::string((const char*)resource, sizeof resource));
    ASSERT_NE(at, std::string::npos);
    struct {
        size_t offset;
        uint32_t value;
        int result;
    } cases[] = {
        {8, 0x33323130 ^ 1, RESULT_BAD_PASSWORD},  // one salt bit
        {4, 999, RESULT_BAD_PASSWORD},             // the rounds
        {4, 0, RESULT_CORRUPT},
        {4, MAX_KEY_ROUNDS + 1, RESULT_CORRUPT},
        {0, 2, RESULT_CORRUPT},                    // an unknown version
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        std::string changed = bytes;
        for (int i = 0; i < 4; i++) changed[at + c.offset + i] = (char)(c.value >> (8 * i));
        const std::string archive = scratch / "changed.exe", out = scratch / "out\\";
        WriteFileBytes(archive, changed);
        EXPECT_EQ(RunStub(archive, std::string("\"") + PASSWORD + "\" \"" + out + "\"", scratch.path()), c.result);
        EXPECT_FALSE(Exists(out));
    }
}

}  // namespace
