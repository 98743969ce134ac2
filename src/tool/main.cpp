// lockbox: makes and inspects Lockbox self-extracting archives.
//   lockbox create -o OUT.exe [options] PATH...
//   lockbox list | test | extract ARCHIVE.exe [options]
#include <CLI/CLI.hpp>
#include <cstdio>

#include "host/interrupt_cleanup.h"
#include "tool/commands.h"
#include "tool/error.h"
#include "tool/system.h"

int main(int argc, char** argv) {
    // Ctrl-C and its kin remove the temporary files of the run.
    OnInterrupt(RemoveListedFiles);
    CLI::App app{"lockbox " LOCKBOX_VERSION
                 ": makes password-protected self-extracting archives for Windows, and "
                 "lists, tests and extracts them.",
                 "lockbox"};
    app.set_version_flag("--version", "lockbox " LOCKBOX_VERSION);
    app.require_subcommand(1);
    app.footer("Run 'lockbox COMMAND --help' for the options of a command.\n"
               "Exit status: 0 success, 1 failure, 2 usage error.");

    CommandRun run;
    AddCreateCommand(&app, &run);
    AddListCommand(&app, &run);
    AddTestCommand(&app, &run);
    AddExtractCommand(&app, &run);

    std::vector<std::string> args = Utf8Arguments(argc, argv);
    std::reverse(args.begin(), args.end());  // CLI11 takes them last first
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "lockbox: %s (see 'lockbox --help')\n", e.what());
        return EXIT_USAGE;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "lockbox: %s\n", e.what());
        return e.exitCode;
    }
    try {
        return run ? run() : EXIT_USAGE;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "lockbox: %s\n", e.what());
        return e.exitCode;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lockbox: internal error: %s (please report this)\n", e.what());
        return EXIT_FAILED;
    }
}
