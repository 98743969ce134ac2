#include "pack/input_check.h"

#include <map>
#include <set>
#include "payload/name_key.h"
#include "payload/format.h"
#include "payload/reader.h"

namespace {

// Empty when `name` is acceptable as an entry or run-after name.
std::string NameProblem(const std::string& name) {
    if (name.empty()) return "is empty";
    if (name.size() > MAX_NAME)
        return "is " + std::to_string(name.size()) + " bytes long; the limit is " + std::to_string(MAX_NAME);
    if (name.find('\0') != std::string::npos) return "holds a NUL byte";
    if (!IsSafeName(name.c_str()))
        return "cannot be restored safely on Windows (it has a drive, a leading separator, a "
               "\"..\" or \".\" component, a device name such as CON or NUL, or one of "
               "< > \" | ? * or a control character)";
    std::string key = NameKey(name);
    if (key.back() == '\\' || key.find("\\\\") != std::string::npos) return "has an empty path component";
    return std::string();
}

}  // namespace

std::string QuoteName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) out += ((unsigned char)c < 0x20 || c == 0x7f) ? '?' : c;
    return out + "\"";
}

std::string CheckArchiveInput(const ArchiveSettings& settings, const std::vector<WriterEntry>& entries) {
    if (settings.title.size() > MAX_NAME)
        return "window title is " + std::to_string(settings.title.size()) + " bytes long; the limit is " +
               std::to_string(MAX_NAME);
    if (!settings.runAfter.empty()) {
        std::string problem = NameProblem(settings.runAfter);
        if (!problem.empty()) return "run-after name " + QuoteName(settings.runAfter) + " " + problem;
    }
    if (settings.level < -1 || settings.level > 12)
        return "compression level " + std::to_string(settings.level) + " is outside 0 to 12";
    if (settings.usePassword && settings.password.find(u'\0') != std::u16string::npos)
        return "password holds a NUL character";

    std::map<std::string, std::string> names;  // key -> the name first given
    std::set<std::string> directories;
    for (size_t i = 0; i < entries.size(); i++) {
        const WriterEntry& e = entries[i];
        std::string label = "entry " + std::to_string(i + 1) + " " + QuoteName(e.name);
        std::string problem = NameProblem(e.name);
        if (!problem.empty()) return label + ": name " + problem;
        std::string key = NameKey(e.name);
        bool isDirectory = (e.attributes & ATTR_DIRECTORY) != 0;
        if (isDirectory && (!e.data.empty() || !e.sourcePath.empty()))
            return label + ": a directory entry cannot carry data";
        size_t cut = key.rfind('\\');
        if (cut != std::string::npos && !directories.count(key.substr(0, cut)))
            return label + ": its directory " + QuoteName(e.name.substr(0, cut)) +
                   " is not listed before it as a directory entry";
        auto added = names.emplace(key, e.name);
        if (!added.second)
            return label + ": the name is the same on Windows as " + QuoteName(added.first->second) +
                   ", listed before it";
        if (isDirectory) directories.insert(key);
    }
    return std::string();
}
