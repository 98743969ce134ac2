// Runs the reader over an archive as the extractor does and checks after every entry that nothing was
// written outside the destination, no temporary file was left and no failed entry changed a file.
// For the fuzz targets and sweeps. Layout: root/{archive.exe, sentinel/{outside.txt, dest/}}.
#pragma once
#include <stdint.h>

#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "payload/reader.h"
#include "support/files.h"

namespace sandbox {

namespace fs = std::filesystem;

struct Node {
    bool directory = false;
    std::string content;  // files only
};
inline bool operator==(const Node& a, const Node& b) {
    return a.directory == b.directory && a.content == b.content;
}
inline bool operator!=(const Node& a, const Node& b) { return !(a == b); }
// Relative path ('/' separated) to what is there.
using Tree = std::map<std::string, Node>;

// Writes a fresh file (removed first: rewriting a truncated file makes some file systems flush it).
inline bool WriteWhole(const fs::path& path, const std::string& bytes) {
    std::error_code ec;
    fs::remove(path, ec);
    return WriteFileBytes(path.string(), bytes);
}

// Everything below `root` (not following links); contents when `withContent`.
inline Tree Snapshot(const fs::path& root, bool withContent = true) {
    Tree tree;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        Node node;
        node.directory = it->is_directory();
        if (!node.directory && withContent) node.content = ReadFileBytes(it->path().string());
        tree[it->path().lexically_relative(root).generic_string()] = node;
    }
    return tree;
}

inline bool IsTempName(const std::string& relative) {
    std::string leaf = fs::path(relative).filename().string();
    return leaf.size() >= 7 && leaf.compare(0, 3, "~lb") == 0 &&
           leaf.compare(leaf.size() - 4, 4, ".tmp") == 0;
}

// Removes everything inside `dir`, read-only files included.
inline void Clear(const fs::path& dir) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        fs::remove_all(it->path(), ec);
}

struct Sandbox {
    fs::path root, archive, sentinel, dest;
    Tree outside;  // the sandbox as it must stay, destination excluded

    // Creates the layout under `base` with a name unique to this process.
    bool Create(const fs::path& base, const std::string& tag) {
        std::error_code ec;
        for (int i = 0; i < 1000; i++) {
            root = base / ("lbsandbox-" + tag + "-" + std::to_string(i));
            if (fs::create_directory(root, ec)) break;
            root.clear();
        }
        if (root.empty()) return false;
        archive = root / "archive.exe";
        sentinel = root / "sentinel";
        dest = sentinel / "dest";
        if (!fs::create_directory(sentinel, ec) || !fs::create_directory(dest, ec)) return false;
        if (!WriteWhole(sentinel / "outside.txt", "must stay\n")) return false;
        if (!WriteWhole(archive, "")) return false;
        outside = Outside();
        return true;
    }
    void Remove() {
        std::error_code ec;
        if (root.empty()) return;
        Clear(root);
        fs::remove_all(root, ec);
        root.clear();
    }
    // The sandbox's listing without the destination's contents and the archive's bytes.
    Tree Outside() const {
        Tree all = Snapshot(root, false);
        Tree out;
        for (auto& item : all) {
            if (item.first.compare(0, 14, "sentinel/dest/") == 0) continue;
            out.insert(item);
        }
        out["sentinel/outside.txt"].content = ReadFileBytes((sentinel / "outside.txt").string());
        return out;
    }
    std::string DestPath() const { return dest.string(); }
};

// What one pass of the reader over an archive did.
struct Outcome {
    int header = RESULT_CORRUPT;  // ReadArchiveHeaderFrom
    bool passwordOk = false;
    int last = RESULT_CORRUPT;    // the result that ended the entry loop
    int entriesOk = 0;
    std::string violation;        // empty when every check held
};

// The differences between two trees, as counts.
struct Diff {
    int filesAdded = 0, filesRemoved = 0, filesChanged = 0, dirsAdded = 0, dirsRemoved = 0;
};
inline Diff Compare(const Tree& before, const Tree& after) {
    Diff d;
    for (auto& item : before) {
        auto it = after.find(item.first);
        if (it == after.end() || it->second.directory != item.second.directory) {
            (item.second.directory ? d.dirsRemoved : d.filesRemoved)++;
            if (it != after.end()) (it->second.directory ? d.dirsAdded : d.filesAdded)++;
        } else if (!item.second.directory && it->second.content != item.second.content) {
            d.filesChanged++;
        }
    }
    for (auto& item : after)
        if (!before.count(item.first)) (item.second.directory ? d.dirsAdded : d.filesAdded)++;
    return d;
}

// One entry's effect on the destination: a failed entry changes no file (a directory it created but
// could not open may stay); a restored one adds or replaces one thing at most; none removes anything.
inline std::string CheckEntryEffect(int result, const Tree& before, const Tree& after) {
    Diff d = Compare(before, after);
    if (d.filesRemoved || d.dirsRemoved) return "an entry removed something from the destination";
    for (auto& item : after)
        if (IsTempName(item.first)) return "temporary file left behind: " + item.first;
    if (result == RESULT_OK) {
        if (d.filesAdded + d.filesChanged + d.dirsAdded > 1)
            return "one entry changed more than one thing";
        return "";
    }
    if (d.filesAdded || d.filesChanged)
        return "a failed entry (result " + std::to_string(result) + ") added or changed a file";
    if (d.dirsAdded > (result == RESULT_CANNOT_CREATE ? 1 : 0))
        return "a failed entry created a directory";
    return "";
}

inline bool IsRunResult(int r) {
    return r == RESULT_END || r == RESULT_CANCELLED || r == RESULT_CANNOT_CREATE || r == RESULT_CORRUPT;
}

// Restores `box.archive` into `box.dest` until the reader stops (at most `maxEntries`), checking each
// entry's effect and at the end the outside. `ask` is the overwrite question (its user is the reader).
inline Outcome ExtractChecked(const Sandbox& box, const char16_t* password,
                              OverwriteQuestion ask = nullptr, int maxEntries = 100000) {
    Outcome o;
    std::string archive = box.archive.string();
    std::string dest = box.DestPath();
    {
        OwnedReader reader;
        reader.askOverwrite = ask;
        reader.questionUser = &reader;
        o.header = ReadArchiveHeaderFrom(&reader, archive.c_str());
        if (o.header != RESULT_OK && o.header != RESULT_CORRUPT) {
            o.violation = "header result " + std::to_string(o.header);
        } else if (o.header == RESULT_OK) {
            CipherContext ctx;
            o.passwordOk = CheckPassword(&ctx, password, reader.passwordCheckBlock);
            o.last = RESULT_BAD_PASSWORD;
            Tree before = Snapshot(box.dest);
            for (int i = 0; o.passwordOk && i < maxEntries; i++) {
                DeriveStreamKey(&ctx, password);
                int r = ExtractEntry(&reader, &ctx, dest.c_str());
                Tree after = Snapshot(box.dest);
                std::string bad = CheckEntryEffect(r, before, after);
                if (!bad.empty()) {
                    o.violation = "entry " + std::to_string(i) + ": " + bad;
                    break;
                }
                before.swap(after);
                o.last = r;
                if (r != RESULT_OK) {
                    if (!IsRunResult(r)) o.violation = "entry result " + std::to_string(r);
                    break;
                }
                o.entriesOk++;
            }
        }
    }
    if (o.violation.empty() && box.Outside() != box.outside)
        o.violation = "something outside the destination changed";
    return o;
}

}  // namespace sandbox
