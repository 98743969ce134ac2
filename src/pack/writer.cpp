#include "pack/writer.h"

#include <cstring>
#include <new>
#include "pack/compress_pool.h"
#include "pack/entry_compress.h"
#include "pack/entry_source.h"
#include "pack/input_check.h"
#include "pack/output_sink.h"
#include "pack/header_encoding.h"
#include "pack/resources.h"
#include "pack/temp_file.h"
#include "crypto/key_stretch.h"
#include "crypto/wipe.h"
#include "payload/format.h"
#include "payload/reader.h"

namespace {

// Entries smaller than this once compressed stay in memory between
// compression and copying; larger ones go to a temporary file.
const uint64_t SPILL_MEMORY_LIMIT = 8u << 20;
// More workers than this gain nothing and only multiply memory.
const int MAX_JOBS = 64;
// Entries are written in order, so one large entry holds up the writing of
// everything behind it. To keep every worker busy meanwhile, entries are
// submitted ahead while their input adds up to at most this much per job
// (and no more than LOOKAHEAD_ENTRIES per job). Finished results wait in
// memory (up to SPILL_MEMORY_LIMIT each; larger ones are in spill files).
const uint64_t LOOKAHEAD_BYTES_PER_JOB = 8u << 20;
const size_t LOOKAHEAD_ENTRIES_PER_JOB = 64;

struct Progress {
    ProgressFn fn = nullptr;
    void* user = nullptr;
    uint64_t total = 0;
    uint64_t reported = ~0ull;
    void Report(uint64_t done) {
        if (!fn || done == reported) return;
        reported = done;
        fn(done, total, user);
    }
};

bool WriteEntry(OutputSink* sink, const WriterEntry& entry, const std::vector<uint8_t>& name,
                uint32_t storedSize, uint64_t originalSize, uint16_t codepage) {
    uint8_t prefix[ENTRY_PREFIX_SIZE];
    BuildEntryPrefix(entry, storedSize, originalSize, codepage, prefix);
    return SinkWrite(sink, prefix, sizeof prefix) && SinkWrite(sink, name.data(), name.size());
}

// The stub and settings an archive is written with: with a stretched key,
// copies of them, the stub carrying the key-stretch resource and the
// settings the stretched password; otherwise the given ones.
struct Keyed {
    std::vector<uint8_t> ownStub;
    ArchiveSettings ownSettings;
    const std::vector<uint8_t>* stub = nullptr;
    const ArchiveSettings* settings = nullptr;
};

std::string ApplyKeyStretch(const std::vector<uint8_t>& stub, const ArchiveSettings& settings, Keyed* keyed) {
    keyed->stub = &stub;
    keyed->settings = &settings;
    if (!settings.usePassword || settings.keyRounds == 0) return std::string();
    if (settings.keyRounds > MAX_KEY_ROUNDS)
        return "the key is stretched over " + std::to_string(settings.keyRounds) + " rounds, more than " +
               std::to_string(MAX_KEY_ROUNDS);
    if (settings.password.empty() || settings.password.find(u'\0') != std::u16string::npos)
        return "password holds a NUL character or is empty";
    KeyStretch stretch;
    stretch.rounds = settings.keyRounds;
    std::memcpy(stretch.salt, settings.keySalt, KEY_SALT_SIZE);
    std::vector<uint8_t> resource(KEY_STRETCH_SIZE);
    EncodeKeyStretch(&stretch, resource.data());
    keyed->ownStub = stub;
    ResourceChanges changes;
    changes.keyStretch = &resource;
    std::string why = ReplaceStubResources(&keyed->ownStub, changes);
    if (!why.empty()) return "the stub cannot take the stretched key's salt and rounds: " + why;
    char16_t stretched[STRETCHED_PASSWORD_UNITS + 1];
    if (!StretchPassword(settings.password.c_str(), &stretch, stretched))
        return "this system offers no PBKDF2-HMAC-SHA256 to stretch the key with";
    keyed->ownSettings = settings;
    keyed->ownSettings.password.assign(stretched, STRETCHED_PASSWORD_UNITS);
    WipeBytes(stretched, sizeof stretched);
    keyed->stub = &keyed->ownStub;
    keyed->settings = &keyed->ownSettings;
    return std::string();
}

// Everything that can be refused before a byte is written: the names and
// settings, the stub, and sources that cannot be opened. Sets the payload
// position P of the stub and the progress total.
std::string Prepare(const std::vector<uint8_t>& stub, const ArchiveSettings& settings,
                    const std::vector<WriterEntry>& entries, uint64_t* payload, uint64_t* total,
                    std::vector<uint64_t>* sizes) {
    std::string error = CheckArchiveInput(settings, entries);
    if (!error.empty()) return error;
    int64_t p = LocatePayloadInImage(stub.data(), stub.size());
    if (p < 0) return "the stub is not a 32-bit or 64-bit Windows executable with sections";
    if ((uint64_t)p > stub.size())
        return "the stub is shorter than its sections (" + std::to_string(stub.size()) +
               " bytes, sections end at " + std::to_string(p) + ")";
    *payload = (uint64_t)p;
    *total = 0;
    sizes->assign(entries.size(), 0);
    for (size_t i = 0; i < entries.size(); i++) {
        if (entries[i].attributes & ATTR_DIRECTORY) continue;
        uint64_t size = 0;
        if (!ProbeEntrySource(entries[i], &size, &error)) return error;
        (*sizes)[i] = size;
        *total += size;
    }
    return std::string();
}

// Writes the archive to `sink`: the stub up to `payload`, the header, the
// entries. `spillPrefix` names temporary spill files (empty: spills stay in
// memory). Returns an empty string or the error.
std::string WriteAll(const std::vector<uint8_t>& stub, uint64_t payload, const ArchiveSettings& settings,
                     const std::vector<WriterEntry>& entries, const std::vector<uint64_t>& sizes,
                     OutputSink* sink,
                     const std::string& spillPrefix, const std::string& outName,
                     Progress* progress) {
    std::string error;
    std::string writeError = "cannot write " + outName;
    if (!SinkWrite(sink, stub.data(), (size_t)payload)) return writeError;
    std::vector<uint8_t> header = BuildArchiveHeader(settings);
    if (!SinkWrite(sink, header.data(), header.size())) return writeError;

    CompressOptions options;
    options.level = settings.level < 0 ? 7 : settings.level;
    options.key = KeyPasswordOf(settings);
    options.place.filePrefix = spillPrefix;
    options.place.memoryLimit = SPILL_MEMORY_LIMIT;
    options.place.hook = settings.temporaryFiles;
    int jobs = settings.jobs < 1 ? 1 : settings.jobs > MAX_JOBS ? MAX_JOBS : settings.jobs;

    CompressPool pool(jobs, options);
    auto tick = [progress](uint64_t done) { progress->Report(done); };
    size_t nextToSubmit = 0;
    uint64_t aheadBytes = 0;  // input size of the entries submitted and not yet written
    const uint64_t aheadLimit = LOOKAHEAD_BYTES_PER_JOB * (uint64_t)jobs;
    const size_t aheadEntries = LOOKAHEAD_ENTRIES_PER_JOB * (size_t)jobs;
    progress->Report(0);
    for (size_t index = 0; index < entries.size(); index++) {
        const WriterEntry& entry = entries[index];
        // Always `jobs` file entries in flight; more while the look-ahead
        // budget lasts.
        while (nextToSubmit < entries.size()) {
            size_t n = pool.InFlight();
            uint64_t size = sizes[nextToSubmit];
            if (n >= (size_t)jobs && (n >= aheadEntries || aheadBytes + size > aheadLimit)) break;
            const WriterEntry& next = entries[nextToSubmit++];
            if (next.attributes & ATTR_DIRECTORY) continue;
            pool.Submit(&next, size);
            aheadBytes += size;
        }
        if (entry.attributes & ATTR_DIRECTORY) {
            CipherContext ctx;
            if (!WriteEntry(sink, entry, EncryptNamePiece(&ctx, options.key, entry.name), 0, 0, settings.codepage))
                return writeError;
            continue;
        }
        CompressedEntry* done = pool.WaitOldest(tick);
        if (!done->ok) return done->error;
        if (!WriteEntry(sink, entry, done->encryptedName, done->storedSize, done->originalSize, settings.codepage))
            return writeError;
        if (!SpillCopyTo(&done->spill, sink, &error)) return entry.name + ": " + error;
        pool.PopOldest();
        aheadBytes -= sizes[index];
    }
    if (!SinkFlush(sink)) return writeError;
    progress->Report(pool.Consumed());
    return std::string();
}

// The archive under construction: a temporary file beside the output,
// deleted unless it was moved into place.
struct TempOutput {
    std::string path;
    FileHandle file = NO_FILE;
    const TemporaryFileHook* hook = nullptr;
    ~TempOutput() {
        if (file != NO_FILE) PlatformClose(file);
        if (!path.empty()) {
            PlatformDelete(path.c_str());
            ReportTemporaryGone(hook, path);
        }
    }
};

WriteResult Failure(const std::string& error) {
    WriteResult result;
    result.error = error;
    return result;
}

template <typename Body>
WriteResult Guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return Failure("out of memory");
    } catch (const std::exception& e) {
        return Failure(std::string("internal error: ") + e.what());
    } catch (...) {
        return Failure("internal error");
    }
}

}  // namespace

WriteResult WriteArchive(const std::vector<uint8_t>& givenStub, const ArchiveSettings& givenSettings,
                         const std::vector<WriterEntry>& entries, const std::string& outPath,
                         ProgressFn progressFn, void* user, const FinishFn& finish) {
    return Guarded([&] {
        if (outPath.empty()) return Failure("no output file given");
        Keyed keyed;
        std::string why = ApplyKeyStretch(givenStub, givenSettings, &keyed);
        if (!why.empty()) return Failure(why);
        const std::vector<uint8_t>& stub = *keyed.stub;
        const ArchiveSettings& settings = *keyed.settings;
        uint64_t payload = 0;
        Progress progress;
        progress.fn = progressFn;
        progress.user = user;
        std::vector<uint64_t> sizes;
        std::string error = Prepare(stub, settings, entries, &payload, &progress.total, &sizes);
        if (!error.empty()) return Failure(error);
        TempOutput temp;
        temp.hook = settings.temporaryFiles;
        temp.file = CreateTempFile(outPath + ".tmp", &temp.path, temp.hook);
        if (temp.file == NO_FILE)
            return Failure("no temporary file can be made in the directory of " + outPath);
        OutputSink sink;
        sink.file = temp.file;
        error = WriteAll(stub, payload, settings, entries, sizes, &sink, outPath + ".spill", outPath,
                         &progress);
        if (!error.empty()) return Failure(error);
        PlatformClose(temp.file);
        temp.file = NO_FILE;
        if (finish) {
            error = finish(temp.path);
            if (!error.empty()) return Failure(error);
        }
        if (!PlatformReplace(temp.path.c_str(), outPath.c_str()))
            return Failure("moving the finished archive into place as " + outPath + " failed");
        ReportTemporaryGone(temp.hook, temp.path);
        temp.path.clear();
        WriteResult result;
        result.ok = true;
        return result;
    });
}

WriteResult WriteArchiveToMemory(const std::vector<uint8_t>& givenStub, const ArchiveSettings& givenSettings,
                                 const std::vector<WriterEntry>& entries, std::vector<uint8_t>* out) {
    return Guarded([&] {
        if (!out) return Failure("no output buffer given");
        out->clear();
        Keyed keyed;
        std::string why = ApplyKeyStretch(givenStub, givenSettings, &keyed);
        if (!why.empty()) return Failure(why);
        const std::vector<uint8_t>& stub = *keyed.stub;
        const ArchiveSettings& settings = *keyed.settings;
        std::vector<uint8_t> bytes;
        OutputSink sink;
        sink.memory = &bytes;
        uint64_t payload = 0;
        Progress progress;
        std::vector<uint64_t> sizes;
        std::string error = Prepare(stub, settings, entries, &payload, &progress.total, &sizes);
        if (!error.empty()) return Failure(error);
        error = WriteAll(stub, payload, settings, entries, sizes, &sink, std::string(), "the archive",
                         &progress);
        if (!error.empty()) return Failure(error);
        out->swap(bytes);
        WriteResult result;
        result.ok = true;
        return result;
    });
}
