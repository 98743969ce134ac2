// The reader against the real archive writer: both sides must cut cipher
// pieces and lay out records identically.
#include <gtest/gtest.h>

#include "archive_fixture.h"
#include "pack/writer.h"

namespace {

using WriterRoundTrip = ArchiveTest;

TEST_F(WriterRoundTrip, WriterArchivesExtract) {
    ArchiveSettings settings;
    settings.title = "From the writer";
    settings.runAfter = "docs\\readme.txt";
    settings.openFolderShowCmd = 1;
    settings.password = u"pa\u00dfword";
    std::vector<WriterEntry> entries(5);
    entries[0].name = "docs";
    entries[0].attributes = ATTR_DIRECTORY;
    entries[1].name = "docs\\readme.txt";  // 15 bytes: the data starts in a mixed register
    entries[1].data = "read me";
    entries[1].lastWriteTime = FiletimeOf(1700000000, 5);
    entries[2].name = "big.bin";
    entries[2].data = NoiseBytes(2 * IO_CHUNK + 3);
    entries[3].name = "empty";
    entries[4].name = "sixteen-bytes.tx";
    entries[4].data = std::string(IO_CHUNK, 'z');
    Bytes archive;
    WriteResult written = WriteArchiveToMemory(MakePeImage(), settings, entries, &archive);
    ASSERT_TRUE(written.ok) << written.error;

    header.password = settings.password;
    ASSERT_EQ(RESULT_OK, OpenBytes(archive));
    EXPECT_STREQ("From the writer", reader.windowTitle);
    EXPECT_EQ(1u, reader.openFolderShowCmd);
    ASSERT_TRUE(CheckPassword(&ctx, header.password.c_str(), reader.passwordCheckBlock));
    char runAfter[261] = {};
    DeriveStreamKey(&ctx, header.password.c_str());
    DecryptStream(&ctx, reader.runAfterName, runAfter, reader.runAfterLength);
    EXPECT_STREQ("docs\\readme.txt", runAfter);

    EXPECT_EQ(Results({RESULT_OK, RESULT_OK, RESULT_OK, RESULT_OK, RESULT_OK, RESULT_END}), RunAll());
    FileTimes t;
    ASSERT_TRUE(ReadTimes(Out("docs\\readme.txt"), &t));
    EXPECT_EQ(FiletimeOf(1700000000, 5), t.lastWrite);
    for (size_t i = 1; i < entries.size(); i++) {
        EXPECT_TRUE(Contents(Out(entries[i].name)) == entries[i].data) << entries[i].name;
    }
}

}  // namespace
