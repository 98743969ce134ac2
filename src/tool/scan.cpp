#include "tool/scan.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "tool/codepage.h"
#include "tool/error.h"
#include "tool/name_pattern.h"
#include "tool/system.h"
#include "payload/format.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

struct Scanner {
    int codepage;
    const std::vector<std::string>* exclude;  // PatternsOf, matched against UTF-8 names
    fs::path output;
    ScanTotals* totals;
    std::vector<WriterEntry>* entries;
};

std::string ArchiveName(const std::string& utf8Name, int codepage) {
    std::string name;
    if (!Utf8ToCodepage(utf8Name, codepage, &name))
        Fail("the name '" + utf8Name + "' cannot be written in code page " +
                 std::to_string(codepage),
             "rename it, or choose another --codepage");
    if (name.size() > MAX_NAME)
        Fail("the name '" + utf8Name + "' is " + std::to_string(name.size()) +
                 " bytes long in the archive, more than " + std::to_string(MAX_NAME),
             "shorten the path or move it higher up");
    return name;
}

void AddPath(Scanner& s, const fs::path& path, const std::string& utf8Name, bool top);

void AddDirectoryContents(Scanner& s, const fs::path& dir, const std::string& utf8Name) {
    std::vector<std::string> children;
    std::string error;
    if (!ListDirectory(dir.u8string(), &children, &error))
        Fail("cannot read directory '" + dir.u8string() + "': " + error, "check its permissions");
    std::sort(children.begin(), children.end());
    // Windows ignores case in names: one of two such files would be lost.
    std::map<std::string, std::string> folded;
    for (const std::string& child : children) {
        auto added = folded.emplace(CaseFolded(child), child);
        if (!added.second)
            Fail("'" + added.first->second + "' and '" + child + "' in '" + dir.u8string() +
                     "' differ only in case, which Windows does not tell apart",
                 "rename one of them");
    }
    for (const std::string& child : children) {
        // Windows reads '\' as a separator: the name would change its meaning.
        if (child.find('\\') != std::string::npos)
            Fail("the name '" + (dir / fs::u8path(child)).u8string() + "' holds '\\', which Windows reads "
                 "as a folder separator", "rename it");
        AddPath(s, dir / fs::u8path(child), utf8Name + "\\" + child, false);
    }
}

void AddPath(Scanner& s, const fs::path& path, const std::string& utf8Name, bool top) {
    // An excluded folder is not even read.
    if (MatchesName(*s.exclude, utf8Name)) {
        s.totals->excluded++;
        return;
    }
    PathInfo info;
    std::string error;
    bool examined = ExaminePath(path.u8string(), &info, &error);
    // Inside a tree no link is followed, whatever it points to: the archive
    // holds what lies in the folders given, never what a link pulls in from
    // elsewhere (or loops back to). A path named on the command line is
    // followed: the user chose it.
    if (info.isLink && !top) {
        Warn("skipped '" + path.u8string() + "': a symbolic link (links inside a folder are not followed)");
        s.totals->skipped++;
        return;
    }
    if (!examined) Fail("cannot read '" + path.u8string() + "': " + error, "check the path and its permissions");
    if (!info.isDirectory && !info.isRegular) {
        if (top) Fail("'" + path.u8string() + "' is not a file or directory", "give files and directories");
        Warn("skipped '" + path.u8string() + "': not a file or directory");
        s.totals->skipped++;
        return;
    }
    WriterEntry entry;
    entry.name = ArchiveName(utf8Name, s.codepage);
    entry.creationTime = info.creationTime;
    // Reading the inputs moves their access times, so recording them would
    // make every run differ from the last; the archive takes last write.
    entry.lastAccessTime = info.lastWriteTime;
    entry.lastWriteTime = info.lastWriteTime;
    if (info.isDirectory) {
        // The read-only bit means something else on a Windows directory, so
        // directories carry only their own bit.
        entry.attributes = ATTR_DIRECTORY;
        s.entries->push_back(entry);
        s.totals->directories++;
        AddDirectoryContents(s, path, utf8Name);
    } else {
        std::error_code ec;
        if (fs::equivalent(path, s.output, ec)) {
            Warn("skipped '" + path.u8string() + "': it is the archive being written");
            return;
        }
        entry.attributes = ATTR_ARCHIVE | (info.readOnly ? ATTR_READONLY : 0);
        entry.sourcePath = path.u8string();
        // Found now rather than half-way through writing the archive.
        FileHandle probe = PlatformOpenRead(entry.sourcePath.c_str());
        if (probe == NO_FILE) Fail("cannot open '" + path.u8string() + "' for reading", "check its permissions");
        PlatformClose(probe);
        s.entries->push_back(entry);
        s.totals->files++;
        s.totals->bytes += info.size;
    }
}

// The name under which a given path appears at the top of the archive.
std::string TopName(const std::string& given) {
    fs::path p = fs::u8path(given).lexically_normal();
    if (p.filename().empty()) p = p.parent_path();
    std::string name = p.filename().u8string();
    if (name.empty() || name == "." || name == "..") {
        std::error_code ec;
        fs::path full = fs::weakly_canonical(fs::absolute(p, ec), ec);
        name = full.filename().u8string();
    }
    if (name.empty() || name == "." || name == "..")
        UsageFail("'" + given + "' has no name to store it under", "give a named file or directory");
    return name;
}

}  // namespace

std::vector<WriterEntry> ScanInputs(const std::vector<std::string>& paths, int codepage,
                                    const std::string& output, const std::vector<std::string>& exclude,
                                    ScanTotals* totals) {
    std::vector<WriterEntry> entries;
    Scanner s{codepage, &exclude, fs::u8path(output), totals, &entries};
    std::map<std::string, std::string> tops;  // case-folded name -> name
    for (const std::string& given : paths) {
        std::string name = TopName(given);
        auto added = tops.emplace(CaseFolded(name), name);
        if (!added.second)
            UsageFail("two inputs are named '" + added.first->second + "' and '" + name +
                          "', which Windows takes for one",
                      "give paths with different names");
        AddPath(s, fs::u8path(given), name, true);
    }
    return entries;
}
