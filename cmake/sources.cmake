# Every library's source files, listed once, for the main build and the fuzz
# build. Paths are relative to the repository root; the includer prefixes them.
# A platform-specific file appears in the list of its platform only.

set(LOCKBOX_CRYPTO_SOURCES
    src/crypto/aes.cpp
    src/crypto/aes_tables.cpp
    src/crypto/cipher.cpp
    src/crypto/key_stretch.cpp
    src/crypto/md5.cpp)
# The AES instructions where the target is x86; a stand-in elsewhere.
set(LOCKBOX_CRYPTO_X86 src/crypto/aes_instructions_x86.cpp)
set(LOCKBOX_CRYPTO_OTHER src/crypto/aes_instructions_none.cpp)

# wide_path.cpp: UTF-8 <-> UTF-16 and long paths, for the tool's side.
set(LOCKBOX_PLATFORM_WIN32 src/platform/win32.cpp src/platform/pbkdf2_win32.cpp src/platform/wide_path.cpp)
set(LOCKBOX_PLATFORM_POSIX src/platform/posix.cpp src/platform/pbkdf2_openssl.cpp)
# The paths of the two Windows platform libraries: in the ANSI code page
# (the extractor, the Windows tests) or in UTF-8 through the wide calls (the tool).
set(LOCKBOX_PATHS_ANSI src/platform/win32_ansi_paths.cpp)
set(LOCKBOX_PATHS_WIDE src/platform/win32_wide_paths.cpp)

# The archive reader, shared by the extractor and the tool.
set(LOCKBOX_PAYLOAD_SOURCES
    src/payload/entry_data.cpp
    src/payload/entry_extract.cpp
    src/payload/entry_head.cpp
    src/payload/header.cpp
    src/payload/locate.cpp
    src/payload/names.cpp
    src/payload/output.cpp
    src/payload/resource_lookup.cpp)

# Command-line splitting and window layout arithmetic: portable, host-tested.
set(LOCKBOX_PORTABLE_SOURCES
    src/app/command_line.cpp
    src/ui/layout.cpp)

# The extractor proper (Windows only).
set(LOCKBOX_STUB_SOURCES
    src/app/globals.cpp
    src/launcher/startup.cpp
    src/launcher/zlib_crc.cpp
    src/run/run.cpp
    src/ui/main_window.cpp
    src/ui/overwrite_dialog.cpp
    src/ui/resources.rc
    src/ui/run_in_window.cpp)

# The archive writer, the stub's resource editor and the pictures it places.
set(LOCKBOX_PACK_SOURCES
    src/pack/compress_pool.cpp
    src/pack/entry_compress.cpp
    src/pack/entry_source.cpp
    src/pack/input_check.cpp
    src/pack/output_sink.cpp
    src/pack/piece_stream.cpp
    src/pack/header_encoding.cpp
    src/pack/pictures.cpp
    src/pack/program_info.cpp
    src/pack/resources.cpp
    src/pack/spill.cpp
    src/pack/temp_file.cpp
    src/pack/writer.cpp)

# Extraction with several files inflated at once, driving the reader.
set(LOCKBOX_EXTRACT_SOURCES
    src/extract/parallel_extract.cpp)

# The lockbox command-line tool: its library, and the program's main.
set(LOCKBOX_TOOL_MAIN src/tool/main.cpp)
set(LOCKBOX_TOOL_SOURCES
    src/tool/archive.cpp
    src/tool/codepage.cpp
    src/tool/console.cpp
    src/tool/create.cpp
    src/tool/entry_text.cpp
    src/tool/error.cpp
    src/tool/examine.cpp
    src/tool/extract.cpp
    src/tool/interrupt_cleanup.cpp
    src/tool/jobs.cpp
    src/tool/json_report.cpp
    src/tool/name_pattern.cpp
    src/tool/password.cpp
    src/tool/progress.cpp
    src/tool/scan.cpp
    src/tool/signing.cpp)
# Windows: no OpenSSL, so a signature is seen but not checked.
set(LOCKBOX_TOOL_WIN32 src/tool/system_win32.cpp src/tool/signature_none.cpp)
set(LOCKBOX_TOOL_POSIX src/tool/system_posix.cpp src/tool/signature_openssl.cpp)
