// lockbox: makes and inspects Lockbox self-extracting archives.
//   lockbox create -o OUT.exe [options] PATH...
//   lockbox list | test | extract ARCHIVE.exe [options]
#include <CLI/CLI.hpp>
#include <cstdio>

#include "tool/interrupt_cleanup.h"
#include "tool/commands.h"
#include "tool/console.h"
#include "tool/error.h"
#include "tool/system.h"

namespace {

// How many single-character edits turn `a` into `b`.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++) row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// What to say about a first argument that names no command.
std::string UnknownCommand(CLI::App& app, const std::string& given) {
    if (given.empty()) return "no command given (run 'lockbox help' for the commands)";
    std::string nearest;
    size_t best = 3;  // farther than two edits is no likely typo
    for (const CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
        size_t d = EditDistance(given, sub->get_name());
        if (d < best || (sub->get_name().rfind(given, 0) == 0 && !given.empty())) {
            best = std::min(d, best);
            nearest = sub->get_name();
        }
    }
    return "'" + given + "' is not a lockbox command (" +
           (nearest.empty() ? std::string("") : "did you mean '" + nearest + "'? ") +
           "run 'lockbox help' for the commands)";
}

// The command `name`; null when there is none of that name.
CLI::App* FindCommand(CLI::App& app, const std::string& name) {
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; }))
        if (sub->get_name() == name) return sub;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    // Ctrl-C and its kin remove the temporary files of the run.
    OnInterrupt(RemoveListedFiles);
    MapLargeBuffers();
    CLI::App app{"lockbox " LOCKBOX_VERSION
                 ": makes password-protected self-extracting archives for Windows, and "
                 "lists, tests and extracts them.",
                 "lockbox"};
    app.set_version_flag("--version", "lockbox " LOCKBOX_VERSION);
    // Words for people rather than the parser's own (the commands share the formatter).
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.get_formatter()->label("Positionals", "Arguments");
    app.require_subcommand(1);
    app.footer("Run 'lockbox help COMMAND' or 'lockbox COMMAND --help' for the options of a command.\n"
               "Exit status: 0 success, 1 failure, 2 usage error.");

    CommandRun run;
    AddCreateCommand(&app, &run);
    AddListCommand(&app, &run);
    AddTestCommand(&app, &run);
    AddExtractCommand(&app, &run);
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) sub->group("Commands");

    std::vector<std::string> args = Utf8Arguments(argc, argv);
    // The command is the first argument; an option there can only be one of
    // lockbox's own (--help, --version).
    std::string command = args.empty() ? std::string() : args[0];
    if (command == "help") {
        CLI::App* about = args.size() > 1 ? FindCommand(app, args[1]) : &app;
        if (!about) {
            Print(stderr, "lockbox: %s\n", UnknownCommand(app, args[1]).c_str());
            return EXIT_USAGE;
        }
        WriteText(stdout, about->help(about == &app ? "" : "lockbox"));
        return EXIT_OK;
    }
    if (command.empty() || (command[0] != '-' && !FindCommand(app, command))) {
        Print(stderr, "lockbox: %s\n", UnknownCommand(app, command).c_str());
        return EXIT_USAGE;
    }
    std::string helpCommand = command[0] == '-' ? "lockbox --help" : "lockbox " + command + " --help";
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
        Print(stderr, "lockbox: %s (see '%s')\n", e.what(), helpCommand.c_str());
        return EXIT_USAGE;
    } catch (const ToolError& e) {
        Print(stderr, "lockbox: %s\n", e.what());
        return e.exitCode;
    }
    try {
        return run ? run() : EXIT_USAGE;
    } catch (const ToolError& e) {
        Print(stderr, "lockbox: %s\n", e.what());
        return e.exitCode;
    } catch (const std::exception& e) {
        Print(stderr, "lockbox: internal error: %s (please report this)\n", e.what());
        return EXIT_FAILED;
    }
}
