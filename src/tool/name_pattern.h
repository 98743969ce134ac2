// Shell-style patterns for names as the archive stores them: `--exclude` of
// create, and the names that choose entries in list, test and extract.
#pragma once
#include <set>
#include <string>
#include <vector>

// True when `text` matches `pattern`: '*' stands for any run of characters
// and '?' for one, neither crossing a '\'; ASCII letters match in either
// case, as Windows compares names.
bool GlobMatch(const std::string& pattern, const std::string& text);

// True when the name `name` ('\' separators, UTF-8) or a folder it lies in
// matches one of `patterns` (PatternsOf). A pattern without
// a separator is held against each component (".git", "*.tmp"); one with a
// separator against the whole name and every tail of it that starts at a
// component ("secrets\*" matches "top\secrets\key.txt"). ASCII letters
// match in either case, except with `exactLiterals` in a pattern without '*'
// or '?': create's --exclude where the file system tells case apart, so that
// a path given exactly leaves out one of two names that differ only in case.
bool MatchesName(const std::vector<std::string>& patterns, const std::string& name, bool exactLiterals = false);

// Patterns as the user typed them, '/' or '\\' between components, with '\\'
// (the archive's separator) and no trailing separator ("docs/" names the
// folder). Names and patterns are compared in UTF-8.
std::vector<std::string> PatternsOf(const std::vector<std::string>& typed);

// The entries that a selection by `patterns` keeps, given the stored names of
// all entries in archive order: those that match (with everything in a
// matching folder) and every folder above one of them.
std::set<std::string> SelectedNames(const std::vector<std::string>& patterns, const std::vector<std::string>& names);
