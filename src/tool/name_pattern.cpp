#include "tool/name_pattern.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

bool Match(const char* p, const char* t) {
    for (; *p; p++, t++) {
        if (*p == '*') {
            // Try every length of the run, shortest first, within one component.
            for (;; t++) {
                if (Match(p + 1, t)) return true;
                if (!*t || *t == '\\') return false;
            }
        }
        if (!*t || (*p == '?' ? *t == '\\' : Lower(*p) != Lower(*t))) return false;
    }
    return !*t;
}

}  // namespace

bool GlobMatch(const std::string& pattern, const std::string& text) { return Match(pattern.c_str(), text.c_str()); }

bool MatchesName(const std::vector<std::string>& patterns, const std::string& name) {
    for (const std::string& pattern : patterns) {
        bool whole = pattern.find('\\') != std::string::npos;
        // Every folder the name lies in, and the name itself: a prefix that
        // ends at a separator or at the end.
        for (size_t end = 0; end <= name.size(); end++) {
            if (end < name.size() && name[end] != '\\') continue;
            std::string prefix = name.substr(0, end);
            // Each tail of the prefix that starts at a component; without a
            // separator in the pattern, only the last component.
            size_t last = prefix.rfind('\\');
            size_t start = last == std::string::npos ? 0 : last + 1;
            if (!whole) {
                if (GlobMatch(pattern, prefix.substr(start))) return true;
                continue;
            }
            for (size_t from = 0; from <= prefix.size(); from++) {
                if (from > 0 && prefix[from - 1] != '\\') continue;
                if (GlobMatch(pattern, prefix.substr(from))) return true;
            }
        }
    }
    return false;
}

std::vector<std::string> PatternsOf(const std::vector<std::string>& typed) {
    std::vector<std::string> patterns;
    for (std::string pattern : typed) {
        for (char& c : pattern)
            if (c == '/') c = '\\';
        while (pattern.size() > 1 && pattern.back() == '\\') pattern.pop_back();
        patterns.push_back(pattern);
    }
    return patterns;
}

std::set<std::string> SelectedNames(const std::vector<std::string>& patterns, const std::vector<std::string>& names) {
    std::set<std::string> selected;
    for (const std::string& name : names) {
        if (!MatchesName(patterns, name)) continue;
        selected.insert(name);
        for (size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1))
            selected.insert(name.substr(0, at));
    }
    return selected;
}
