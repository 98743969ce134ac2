// The small archive the malformed-input sweeps damage (docs\, docs\a.txt, docs\empty.txt, b.bin and
// keep.txt, which replaces an existing file), and one checked extraction of a damaged copy.
#pragma once
#include <stdint.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/archive_codec.h"
#include "support/archive_builder.h"
#include "support/sandbox.h"
#include "support/scratch_dir.h"

namespace sweep {

const char16_t PASSWORD[] = u"pw";
const char OLD_KEEP[] = "old contents\n";

struct Sample {
    std::vector<uint8_t> bytes;        // the whole archive as written
    size_t entriesAt = 0;              // first entry
    std::vector<size_t> entryAt;       // where each entry starts
    std::map<std::string, std::string> files;  // relative path ('/') -> contents
    std::vector<PlainEntry> plain;
};

inline Sample MakeSample() {
    std::string text;
    for (int i = 0; i < 12; i++) text += "line " + std::to_string(i) + " of the text\n";
    const uint64_t t = 132000000000000000ULL;
    std::vector<WriterEntry> entries = {
        WriterDir("docs", t), WriterFile("docs\\a.txt", text, ATTR_ARCHIVE, t),
        WriterFile("docs\\empty.txt", "", ATTR_ARCHIVE, t), WriterFile("b.bin", NoiseBytes(300, 9), ATTR_ARCHIVE, t),
        WriterFile("keep.txt", "fresh contents\n", ATTR_ARCHIVE, t)};
    ArchiveSettings settings;
    settings.title = "Sweep";
    settings.runAfter = "b.bin";
    settings.password = PASSWORD;
    Sample s;
    if (!WriteArchiveToMemory(TwoSectionStub(), settings, entries, &s.bytes).ok) return Sample();
    s.entriesAt = PePayloadPosition(TwoSectionShape()) + HDR_FIXED_SIZE + settings.title.size() + settings.runAfter.size();
    for (auto& e : entries) {
        std::string path = e.name;
        std::replace(path.begin(), path.end(), '\\', '/');
        if (!(e.attributes & ATTR_DIRECTORY)) s.files[path] = e.data;
    }
    s.plain = PlainEntries(std::vector<uint8_t>(s.bytes.begin() + (long)s.entriesAt, s.bytes.end()), PASSWORD);
    for (const PlainEntry& p : s.plain) s.entryAt.push_back(s.entriesAt + p.at);
    return s;
}

// The archive again from plain entries.
inline std::vector<uint8_t> Rebuild(const Sample& s, const std::vector<PlainEntry>& plain) {
    std::vector<uint8_t> out(s.bytes.begin(), s.bytes.begin() + (long)s.entriesAt), area = EncryptedArea(plain, PASSWORD);
    out.insert(out.end(), area.begin(), area.end());
    return out;
}

inline int AnswerYes(void*, const char*) { return 1; }

// A sandbox in a scratch directory; Run() extracts one archive into a fresh
// destination that holds the old "keep.txt".
class Bench {
public:
    // Thousands of small files are written and replaced: in memory-backed storage where there is some.
    Bench() {
        std::error_code ec;
        if (std::filesystem::is_directory("/dev/shm", ec)) scratch_ = std::make_unique<ScratchDir>("/dev/shm");
        if (!scratch_ || scratch_->path().empty()) scratch_ = std::make_unique<ScratchDir>();
        ready_ = !scratch_->path().empty() && box_.Create(scratch_->path(), "sweep");
    }
    ~Bench() { box_.Remove(); }
    bool ready() const { return ready_; }

    // Empty when every rule held, else what went wrong; `outcome` receives the reader's results.
    std::string Run(const Sample& s, const std::vector<uint8_t>& archive, sandbox::Outcome* outcome = nullptr) {
        sandbox::Clear(box_.dest);
        if (!sandbox::WriteWhole(box_.archive, std::string(archive.begin(), archive.end())) ||
            !sandbox::WriteWhole(box_.dest / "keep.txt", OLD_KEEP))
            return "cannot prepare the sandbox";
        sandbox::Outcome o = sandbox::ExtractChecked(box_, PASSWORD, AnswerYes);
        if (outcome) *outcome = o;
        if (!o.violation.empty()) return o.violation;
        if (o.header == RESULT_OK && o.passwordOk && !sandbox::IsRunResult(o.last))
            return "run ended with " + std::to_string(o.last);
        // A file of an archived name holds exactly its contents, or the old contents of keep.txt.
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
    std::unique_ptr<ScratchDir> scratch_;
    sandbox::Sandbox box_;
    bool ready_ = false;
};

}  // namespace sweep
