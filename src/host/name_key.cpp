#include "host/name_key.h"

std::string NameKey(const std::string& name) {
    std::string key = name;
    for (char& c : key) {
        if (c == '/') c = '\\';
        else if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    }
    return key;
}
