// How Windows compares two stored names, for the writer's duplicate check
// and for parallel extraction's "same file in flight" check.
#pragma once
#include <string>

// `name` with '/' turned into '\\' and ASCII letters into lower case: two
// names with one key name one file on Windows.
std::string NameKey(const std::string& name);
