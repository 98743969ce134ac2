#include "tool/name_pattern.h"

#include <string_view>

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

// The pieces of `text` between its separators: "a\\b\\" gives "a", "b", "".
std::vector<std::string_view> Components(std::string_view text) {
    std::vector<std::string_view> parts;
    for (size_t from = 0;;) {
        size_t at = text.find('\\', from);
        parts.push_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) return parts;
        from = at + 1;
    }
}

// Matches one component against a pattern without separators. Greedy: a
// '*' first takes nothing and, when the rest fails, one more character of
// the text, and only the last '*' seen ever takes more. An earlier one never
// needs to, since whatever it could take the last one can take as well; so
// the work is at most the pattern's length times the text's, not one try
// per way of sharing the text among the stars.
bool MatchComponent(std::string_view p, std::string_view t, bool foldCase) {
    size_t pi = 0, ti = 0;
    size_t star = std::string_view::npos, resume = 0;  // last '*' and where its run ends
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            resume = ti;
        } else if (pi < p.size() && (p[pi] == '?' || p[pi] == t[ti] || (foldCase && Lower(p[pi]) == Lower(t[ti])))) {
            pi++;
            ti++;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            ti = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') pi++;
    return pi == p.size();
}

// True when the components from `first` on match `parts` one by one.
bool MatchesAt(const std::vector<std::string_view>& parts, const std::vector<std::string_view>& components,
               size_t first, bool foldCase = true) {
    for (size_t i = 0; i < parts.size(); i++)
        if (!MatchComponent(parts[i], components[first + i], foldCase)) return false;
    return true;
}

}  // namespace

// As '*' and '?' never take a separator and a separator in the pattern
// matches only one in the text, a match pairs the components of both.
bool GlobMatch(const std::string& pattern, const std::string& text) {
    std::vector<std::string_view> parts = Components(pattern), components = Components(text);
    return parts.size() == components.size() && MatchesAt(parts, components, 0);
}

// A pattern of k + 1 components matches a run of k + 1 components of the
// name: the name itself, a folder it lies in, or a tail of either. Each
// component meets each part of the pattern at most once, so the work stays
// within the sizes of pattern and name multiplied, whatever the stars.
bool MatchesName(const std::vector<std::string>& patterns, const std::string& name, bool exactLiterals) {
    std::vector<std::string_view> components = Components(name);
    for (const std::string& pattern : patterns) {
        bool foldCase = !exactLiterals || pattern.find_first_of("*?") != std::string::npos;
        std::vector<std::string_view> parts = Components(pattern);
        if (parts.size() > components.size()) continue;
        for (size_t first = 0; first + parts.size() <= components.size(); first++)
            if (MatchesAt(parts, components, first, foldCase)) return true;
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
