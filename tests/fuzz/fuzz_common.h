// What the fuzz targets and the seed generator share: stub, password, the header the entry fuzzer
// puts before its input, and one sandbox per process.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/sandbox.h"
#include "pack/writer.h"
#include "support/pe_image.h"

namespace fuzz {

inline const char16_t* Password() { return u"fuzz\u00e9"; }

inline std::vector<uint8_t> Stub() { return TwoSectionStub(); }

inline ArchiveSettings Settings() {
    ArchiveSettings s;
    s.title = "Fuzz";
    s.password = Password();
    return s;
}

// Stub and header of an archive without entries, made by the writer.
inline const std::vector<uint8_t>& HeaderPrefix() {
    static std::vector<uint8_t> prefix = [] {
        std::vector<uint8_t> out;
        WriteResult r = WriteArchiveToMemory(Stub(), Settings(), {}, &out);
        if (!r.ok) {
            fprintf(stderr, "writer refused an empty archive: %s\n", r.error.c_str());
            abort();
        }
        return out;
    }();
    return prefix;
}

inline void RemoveBox();

// The process's sandbox, under $LOCKBOX_FUZZ_TMP, $TMPDIR or /tmp; removed
// when the process exits normally.
inline sandbox::Sandbox& Box() {
    static sandbox::Sandbox box;
    static bool made = false;
    if (!made) {
        const char* base = getenv("LOCKBOX_FUZZ_TMP");
        if (!base || !*base) base = getenv("TMPDIR");
        if (!base || !*base) base = "/tmp";
        if (!box.Create(base, std::to_string(getpid()))) {
            fprintf(stderr, "cannot create a sandbox under %s\n", base);
            abort();
        }
        made = true;
        atexit(RemoveBox);
    }
    return box;
}

inline void RemoveBox() { Box().Remove(); }

[[noreturn]] inline void Fail(const std::string& what) {
    fprintf(stderr, "INVARIANT BROKEN: %s\n", what.c_str());
    abort();
}

}  // namespace fuzz
