// A test's scratch directory: a unique name under the temporary directory (or `base`), removed with
// everything in it, read-only files included, when the object goes away.
#pragma once
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

class ScratchDir {
public:
    explicit ScratchDir(const std::string& base = std::string()) {
#ifdef _WIN32
        char temp[MAX_PATH];
        DWORD n = GetTempPathA(MAX_PATH, temp);
        std::string root = !base.empty() ? base + "\\" : n ? std::string(temp, n) : std::string(".\\");
        static unsigned counter = 0;
        for (int i = 0; i < 1000 && path_.empty(); i++) {
            std::string p = root + "lbtest-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(counter++);
            if (CreateDirectoryA(p.c_str(), NULL)) path_ = p;
        }
#else
        const char* tmp = getenv("TMPDIR");
        std::string root = !base.empty() ? base : std::string(tmp && *tmp ? tmp : "/tmp");
        std::string pattern = root + "/lbtest-XXXXXX";
        if (mkdtemp(&pattern[0])) path_ = pattern;
#endif
    }
    ~ScratchDir() {
        if (!path_.empty()) RemoveTree(path_);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // Native path of the directory (no trailing separator); empty on failure.
    const std::string& path() const { return path_; }

    // Native path of `relative` inside it ('\' or '/' become the native separator); also `dir / name`.
    std::string Native(const std::string& relative) const {
        std::string r = relative;
#ifndef _WIN32
        for (char& c : r) {
            if (c == '\\') c = '/';
        }
        return path_ + "/" + r;
#else
        for (char& c : r) {
            if (c == '/') c = '\\';
        }
        return path_ + "\\" + r;
#endif
    }

    std::string operator/(const std::string& relative) const { return Native(relative); }

private:
#ifdef _WIN32
    static void RemoveTree(const std::string& dir) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name == "." || name == "..") continue;
                std::string child = dir + "\\" + name;
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    // A link: remove it, never what it points to.
                    if (!RemoveDirectoryA(child.c_str())) DeleteFileA(child.c_str());
                } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(child);
                } else {
                    DeleteFileA(child.c_str());
                }
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(dir.c_str());
    }
#else
    static int RemoveOne(const char* path, const struct stat*, int type, struct FTW*) {
        if (type == FTW_DP) {
            rmdir(path);
            return 0;
        }
        unlink(path);
        return 0;
    }
    static void RemoveTree(const std::string& dir) {
        // Directories restored without write permission cannot be emptied.
        chmod(dir.c_str(), 0700);
        nftw(dir.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
    }
#endif

    std::string path_;
};
