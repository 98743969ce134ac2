#include "tool/scan.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "tool/codepage.h"
#include "tool/entry_text.h"
#include "tool/error.h"
#include "tool/name_pattern.h"
#include "tool/system.h"
#include "payload/format.h"
#include "payload/reader.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

struct Scanner {
    const ScanOptions& options;
    fs::path output;
    ScanResult* result;
    std::vector<fs::path> folders;  // the folders being read, outermost first
};

void Unstore(Scanner& s, const fs::path& path, const std::string& utf8Name, const std::string& reason,
             const std::string& kept = std::string()) {
    s.result->unstorable.push_back({path.u8string(), utf8Name, reason, kept});
}

// Why Windows cannot take `component` (UTF-8, one level of a name) as a
// file or folder name; empty when it can.
std::string ComponentProblem(const std::string& component) {
    for (char c : component) {
        if (c == '\\') return "its name holds '\\', which Windows reads as a folder separator";
        if ((unsigned char)c < 0x20) return "its name holds a control character, which Windows does not allow";
        if (IsForbiddenNameCharacter(c))
            return std::string("its name holds '") + c + "', which Windows does not allow in names";
    }
    if (!IsSafeName(component.c_str())) {
        if (component.find_first_not_of(". ") == std::string::npos)
            return "its name is only dots and spaces, which Windows reads as a folder on the path";
        return "Windows takes its name for a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9)";
    }
    return std::string();
}

// The stored name in the code page, or why there is none.
bool ArchiveName(const std::string& utf8Name, int codepage, std::string* name, std::string* problem) {
    if (!Utf8ToCodepage(utf8Name, codepage, name)) {
        *problem = "its name cannot be written in code page " + std::to_string(codepage) +
                   " (another --codepage may hold it)";
        return false;
    }
    if (name->size() > MAX_NAME) {
        *problem = "its name is " + std::to_string(name->size()) + " bytes long in the archive, more than " +
                   std::to_string(MAX_NAME);
        return false;
    }
    return true;
}

void AddPath(Scanner& s, const fs::path& path, const std::string& component, const std::string& utf8Name,
             bool top, bool contents = true);

void AddDirectoryContents(Scanner& s, const fs::path& dir, const std::vector<std::string>& listed,
                          const std::string& utf8Name) {
    std::vector<std::string> children;
    for (const std::string& child : listed) {
        // An excluded name is never examined, nor held against the others.
        if (MatchesName(s.options.exclude, utf8Name + "\\" + child, !PLATFORM_FOLDS_CASE)) {
            s.result->totals.excluded++;
        } else {
            children.push_back(child);
        }
    }
    std::sort(children.begin(), children.end());
    // Windows ignores case in names: the first of two such names is stored.
    std::map<std::string, std::string> folded;
    s.folders.push_back(dir);
    for (const std::string& child : children) {
        auto added = folded.emplace(CaseFolded(child), child);
        fs::path childPath = dir / fs::u8path(child);
        if (!added.second) {
            Unstore(s, childPath, utf8Name + "\\" + child,
                    "its name differs only in case from '" + added.first->second +
                        "' beside it, which Windows does not tell apart",
                    (dir / fs::u8path(added.first->second)).u8string());
            continue;
        }
        AddPath(s, childPath, child, utf8Name + "\\" + child, false);
    }
    s.folders.pop_back();
}

// True when `path` is one of the folders being read (or the same folder
// reached another way): a link to it would lead round for ever.
bool IsOpenFolder(const Scanner& s, const fs::path& path) {
    for (const fs::path& folder : s.folders) {
        std::error_code ec;
        if (fs::equivalent(path, folder, ec)) return true;
    }
    return false;
}

void AddPath(Scanner& s, const fs::path& path, const std::string& component, const std::string& utf8Name,
             bool top, bool contents) {
    ScanTotals& totals = s.result->totals;
    PathInfo info;
    std::string error;
    bool examined = ExaminePath(path.u8string(), &info, &error);
    // Inside a tree a link is followed only when asked: by default the
    // archive holds what lies in the folders given, never what a link pulls
    // in from elsewhere. A path named on the command line is followed: the
    // user chose it.
    if (info.isLink && !top) {
        if (!s.options.followLinks) {
            totals.links++;
            s.result->links.push_back(path.u8string());
            return;
        }
        if (!examined) return Unstore(s, path, utf8Name, "it is " + error);
        if (info.isDirectory && IsOpenFolder(s, path))
            return Unstore(s, path, utf8Name, "it is a symbolic link to a folder that holds it (a loop)");
    }
    if (!examined) {
        if (top) Fail("cannot read '" + path.u8string() + "': " + error, "check the path and its permissions");
        return Unstore(s, path, utf8Name, "it cannot be examined: " + error);
    }
    if (!info.isDirectory && !info.isRegular) {
        if (top) Fail("'" + path.u8string() + "' is not a file or folder", "give files and folders");
        Warn("skipped '" + path.u8string() + "': not a file or folder");
        totals.special++;
        return;
    }
    WriterEntry entry;
    std::string problem = ComponentProblem(component);
    if (!problem.empty() || !ArchiveName(utf8Name, s.options.codepage, &entry.name, &problem))
        return Unstore(s, path, utf8Name, problem);
    entry.creationTime = info.creationTime;
    // Reading the inputs moves their access times, so recording them would
    // make every run differ from the last; the archive takes last write.
    entry.lastAccessTime = info.lastWriteTime;
    entry.lastWriteTime = info.lastWriteTime;
    if (info.isDirectory) {
        std::vector<std::string> children;
        if (contents && !ListDirectory(path.u8string(), &children, &error))
            return Unstore(s, path, utf8Name, "the folder cannot be read: " + error);
        // The read-only bit means something else on a Windows directory, so
        // directories carry only their own bit.
        entry.attributes = ATTR_DIRECTORY;
        s.result->entries.push_back(entry);
        totals.directories++;
        if (contents) AddDirectoryContents(s, path, children, utf8Name);
        return;
    }
    std::error_code ec;
    if (fs::equivalent(path, s.output, ec)) {
        Warn("skipped '" + path.u8string() + "': it is the archive being written");
        return;
    }
    entry.attributes = ATTR_ARCHIVE | (info.readOnly ? ATTR_READONLY : 0);
    entry.sourcePath = path.u8string();
    // Found now rather than half-way through writing the archive.
    FileHandle probe = PlatformOpenRead(entry.sourcePath.c_str());
    if (probe == NO_FILE) return Unstore(s, path, utf8Name, "the file cannot be opened for reading");
    PlatformClose(probe);
    s.result->entries.push_back(entry);
    totals.files++;
    totals.bytes += info.size;
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
        UsageFail("'" + given + "' has no name to store it under", "give a named file or folder");
    return name;
}

// The components of a path from --files-from, which is stored under the
// path as written: without "." and without a leading root (as tar does);
// false for a path that climbs with "..", which no stored name may.
bool ListedComponents(const std::string& line, std::vector<std::string>* parts) {
    fs::path p = fs::u8path(line).lexically_normal().relative_path();
    for (const fs::path& part : p) {
        std::string text = part.u8string();
        if (text == "..") return false;
        if (!text.empty() && text != ".") parts->push_back(text);
    }
    return true;
}

// Adds the paths listed by --files-from, each under its own path, with the
// folders above it as entries of their own. A path that lies in a listed
// folder is stored with that folder, once; one already stored is skipped.
void AddListed(Scanner& s, const std::vector<std::string>& lines) {
    struct Listed {
        std::string line, name;
        std::vector<std::string> parts;
        fs::path root;  // where the parts start on disk: "/" for an absolute path
    };
    std::vector<Listed> listed;
    std::set<std::string> names;
    for (const std::string& line : lines) {
        Listed l{line, "", {}, fs::u8path(line).root_path()};
        if (!ListedComponents(line, &l.parts))
            UsageFail("'" + line + "' from --files-from climbs out of the current folder with '..'",
                      "list paths below the current folder, as 'find .' prints them");
        if (l.parts.empty()) UsageFail("'" + line + "' from --files-from names no file", "list files and folders");
        for (const std::string& part : l.parts) l.name += (l.name.empty() ? "" : "\\") + part;
        names.insert(l.name);
        listed.push_back(l);
    }
    // Every name stored so far, case-folded: Windows takes two that differ
    // only in case for one.
    std::vector<WriterEntry>& entries = s.result->entries;
    std::map<std::string, std::string> stored;
    size_t known = 0;
    auto learn = [&] {
        for (; known < entries.size(); known++) {
            std::string name = CodepageToUtf8(entries[known].name, s.options.codepage);
            stored.emplace(CaseFolded(name), name);
        }
    };
    for (const Listed& l : listed) {
        bool covered = false;
        for (size_t at = l.name.find('\\'); at != std::string::npos && !covered; at = l.name.find('\\', at + 1))
            covered = names.count(l.name.substr(0, at)) > 0;
        if (covered || MatchesName(s.options.exclude, l.name, !PLATFORM_FOLDS_CASE)) {
            s.result->totals.excluded += covered ? 0 : 1;
            continue;
        }
        learn();
        fs::path path = l.root;
        std::string name;
        for (size_t i = 0; i < l.parts.size(); i++) {
            path /= fs::u8path(l.parts[i]);
            name += (i ? "\\" : "") + l.parts[i];
            auto found = stored.find(CaseFolded(name));
            if (found != stored.end() && found->second == name) continue;
            if (found != stored.end()) {
                std::string kept = WithPlatformSeparators(found->second);
                Unstore(s, path, name, "its name differs only in case from '" + kept + "', which Windows does not tell apart",
                        kept);
                break;
            }
            size_t before = s.result->unstorable.size();
            AddPath(s, path, l.parts[i], name, true, i + 1 == l.parts.size());
            learn();
            if (s.result->unstorable.size() != before) break;
        }
    }
}

}  // namespace

ScanResult ScanInputs(const std::vector<std::string>& paths, const std::vector<std::string>& listed,
                      const ScanOptions& options) {
    ScanResult result;
    Scanner s{options, fs::u8path(options.output), &result, {}};
    std::map<std::string, std::string> tops;  // case-folded name -> name
    for (const std::string& given : paths) {
        std::string name = TopName(given);
        auto added = tops.emplace(CaseFolded(name), name);
        if (!added.second)
            UsageFail("two inputs are named '" + added.first->second + "' and '" + name +
                          "', which Windows takes for one",
                      "give paths with different names");
        if (MatchesName(options.exclude, name, !PLATFORM_FOLDS_CASE)) {
            result.totals.excluded++;
            continue;
        }
        AddPath(s, fs::u8path(given), name, name, true);
    }
    AddListed(s, listed);
    return result;
}
