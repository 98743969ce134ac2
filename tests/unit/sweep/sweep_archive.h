// The small archive the malformed-input sweeps damage, and one checked
// extraction of a damaged copy. The archive holds a directory, small files
// and "keep.txt", which also exists in the destination beforehand:
//
//   docs\            directory
//   docs\a.txt       text
//   docs\empty.txt   no data
//   b.bin            noise
//   keep.txt         replaces the existing "old contents"
#pragma once
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "fuzz/archive_codec.h"
#include "support/sandbox.h"
#include "pack/writer.h"
#include "support/pe_image.h"
#include "support/scratch_dir.h"

namespace sweep {

const char16_t PASSWORD[] = u"pw";
const char OLD_KEEP[] = "old contents\n";

struct Plain {                  // one entry in plain form
    std::vector<uint8_t> head;  // the 56-byte EntryHeader
    std::string name;
    std::vector<uint8_t> data;  // the zlib stream, decrypted
};

struct Sample {
    std::vector<uint8_t> bytes;        // the whole archive as written
    size_t entriesAt = 0;              // first entry
    std::vector<size_t> entryAt;       // where each entry starts
    std::map<std::string, std::string> files;  // relative path ('/') -> contents
    std::vector<Plain> plain;
};

inline WriterEntry MakeEntry(const std::string& name, uint32_t attributes, const std::string& data = "") {
    WriterEntry e;
    e.name = name;
    e.attributes = attributes;
    e.data = data;
    e.lastWriteTime = 132000000000000000ULL;
    e.lastAccessTime = e.lastWriteTime;
    return e;
}

inline Sample MakeSample() {
    std::string text;
    for (int i = 0; i < 12; i++) text += "line " + std::to_string(i) + " of the text\n";
    std::string noise(300, 0);
    uint32_t x = 0x2545F491;
    for (char& c : noise) {
        x ^= x << 13; x ^= x >> 17; x ^= x << 5;
        c = (char)(x >> 9);
    }
    std::vector<WriterEntry> entries = {
        MakeEntry("docs", ATTR_DIRECTORY), MakeEntry("docs\\a.txt", ATTR_ARCHIVE, text),
        MakeEntry("docs\\empty.txt", ATTR_ARCHIVE), MakeEntry("b.bin", ATTR_ARCHIVE, noise),
        MakeEntry("keep.txt", ATTR_ARCHIVE, "fresh contents\n")};
    ArchiveSettings settings;
    settings.title = "Sweep";
    settings.runAfter = "b.bin";
    settings.password = PASSWORD;

    PeShape shape;
    shape.sections = {{0x200, 0x200}, {0x400, 0x100}};
    Sample s;
    WriteResult r = WriteArchiveToMemory(MakePeImage(shape), settings, entries, &s.bytes);
    if (!r.ok) return Sample();
    s.entriesAt = PePayloadPosition(shape) + HDR_FIXED_SIZE + settings.title.size() + settings.runAfter.size();
    for (auto& e : entries) {
        std::string path = e.name;
        for (char& c : path) if (c == '\\') c = '/';
        if (!(e.attributes & ATTR_DIRECTORY)) s.files[path] = e.data;
    }
    // Entry boundaries and the plain form, from the archive itself.
    std::vector<uint8_t> area(s.bytes.begin() + (long)s.entriesAt, s.bytes.end());
    TransformEntryArea(area.data(), area.size(), PASSWORD, CODEC_DECRYPT);
    for (size_t at = 0; at < area.size();) {
        Plain p;
        s.entryAt.push_back(s.entriesAt + at);
        p.head.assign(area.begin() + (long)at, area.begin() + (long)at + ENTRY_HEADER_SIZE);
        uint16_t length = LoadLE16(&area[at + ENTRY_HEADER_SIZE]);
        at += ENTRY_HEADER_SIZE + 2;
        p.name.assign((const char*)&area[at], length);
        at += length;
        if (!(LoadLE32(&p.head[ENT_ATTRIBUTES]) & ATTR_DIRECTORY)) {
            uint32_t stored = LoadLE32(&p.head[ENT_STORED_SIZE]);
            p.data.assign(area.begin() + (long)at, area.begin() + (long)at + stored);
            at += stored;
        }
        s.plain.push_back(p);
    }
    return s;
}

// The archive again from plain entries (names may have changed length).
inline std::vector<uint8_t> Rebuild(const Sample& s, const std::vector<Plain>& plain) {
    std::vector<uint8_t> area;
    for (const Plain& p : plain) {
        area.insert(area.end(), p.head.begin(), p.head.end());
        uint8_t length[2];
        StoreLE16(length, (uint16_t)p.name.size());
        area.insert(area.end(), length, length + 2);
        area.insert(area.end(), p.name.begin(), p.name.end());
        area.insert(area.end(), p.data.begin(), p.data.end());
    }
    TransformEntryArea(area.data(), area.size(), PASSWORD, CODEC_ENCRYPT);
    std::vector<uint8_t> out(s.bytes.begin(), s.bytes.begin() + (long)s.entriesAt);
    out.insert(out.end(), area.begin(), area.end());
    return out;
}

inline int AnswerYes(void*, const char*) { return 1; }

inline unsigned long ProcessId() {
#ifdef _WIN32
    return (unsigned long)GetCurrentProcessId();
#else
    return (unsigned long)getpid();
#endif
}

// A sandbox in a scratch directory; Run() extracts one archive into a fresh
// destination that holds the old "keep.txt".
class Bench {
public:
    // Thousands of small files are written and replaced: memory-backed
    // storage keeps that fast where the system has it.
    Bench() {
        std::string tag = "sweep-" + std::to_string(ProcessId());
        std::error_code ec;
        ready_ = (std::filesystem::is_directory("/dev/shm", ec) && box_.Create("/dev/shm", tag)) ||
                 (!scratch_.path().empty() && box_.Create(scratch_.path(), tag));
    }
    ~Bench() { box_.Remove(); }
    bool ready() const { return ready_; }

    // Empty when every rule held; otherwise what went wrong. `outcome`
    // receives the reader's results.
    std::string Run(const Sample& s, const std::vector<uint8_t>& archive, sandbox::Outcome* outcome = nullptr) {
        sandbox::Clear(box_.dest);
        std::error_code ec;
        std::filesystem::remove(box_.archive, ec);  // a fresh file, not a truncated one
        if (!sandbox::WriteWhole(box_.archive, std::string(archive.begin(), archive.end())) ||
            !sandbox::WriteWhole(box_.dest / "keep.txt", OLD_KEEP))
            return "cannot prepare the sandbox";
        sandbox::Outcome o = sandbox::ExtractChecked(box_, PASSWORD, AnswerYes);
        if (outcome) *outcome = o;
        if (!o.violation.empty()) return o.violation;
        if (o.header == RESULT_OK && o.passwordOk && !sandbox::IsRunResult(o.last))
            return "run ended with " + std::to_string(o.last);
        // Every file that bears an archived name holds exactly that file's
        // contents; the existing file may also be left as it was.
        sandbox::Tree tree = sandbox::Snapshot(box_.dest);
        for (auto& item : tree) {
            auto it = s.files.find(item.first);
            if (it == s.files.end() || item.second.directory) continue;
            if (item.second.content != it->second && !(item.first == "keep.txt" && item.second.content == OLD_KEEP))
                return "partial or wrong contents in " + item.first;
        }
        auto keep = tree.find("keep.txt");
        if (keep == tree.end() || keep->second.directory) return "the existing file was lost";
        return "";
    }
    const sandbox::Sandbox& box() const { return box_; }

private:
    ScratchDir scratch_;
    sandbox::Sandbox box_;
    bool ready_ = false;
};

}  // namespace sweep
