// lockbox: makes and inspects Lockbox self-extracting archives.
//   lockbox create -o OUT.exe [options] PATH...
//   lockbox list | test | extract ARCHIVE.exe [options]
#include <CLI/CLI.hpp>
#include <cstdio>
#include <sstream>

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

// Of `known`, the one `given` is most likely a typo of: at most two edits
// away, or begun by it; empty when none is.
std::string Nearest(const std::string& given, const std::vector<std::string>& known) {
    std::string nearest;
    size_t best = 3;
    for (const std::string& name : known) {
        size_t d = EditDistance(given, name);
        if (d < best || (!given.empty() && name.rfind(given, 0) == 0 && best > 0)) {
            best = std::min(d, best);
            nearest = name;
        }
    }
    return nearest;
}

std::vector<std::string> CommandNames(CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) names.push_back(sub->get_name());
    return names;
}

// What to say about a first argument that names no command.
std::string UnknownCommand(CLI::App& app, const std::string& given) {
    if (given.empty()) return "no command given (run 'lockbox help' for the commands)";
    std::string nearest = Nearest(given, CommandNames(app));
    return "'" + given + "' is not a lockbox command (" +
           (nearest.empty() ? std::string("") : "did you mean '" + nearest + "'? ") +
           "run 'lockbox help' for the commands)";
}

// The long options of `command`, with their dashes.
std::vector<std::string> LongOptions(const CLI::App* command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command->get_options())
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    return names;
}

// True when `text` begins with `prefix`; `*rest` is what follows it.
bool After(const std::string& text, const std::string& prefix, std::string* rest) {
    if (text.compare(0, prefix.size(), prefix) != 0) return false;
    *rest = text.substr(prefix.size());
    return true;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// An unexpected argument: an unknown option with the one it is likely a
// typo of, or the words that have no place.
std::string Unexpected(const std::string& list, const CLI::App* command) {
    std::istringstream words(list);
    std::vector<std::string> given;
    for (std::string word; words >> word;) given.push_back(word);
    for (const std::string& word : given) {
        if (word.size() < 2 || word[0] != '-') continue;
        std::string name = word.substr(0, word.find('='));
        std::string nearest = name.compare(0, 2, "--") == 0 ? Nearest(name, LongOptions(command)) : "";
        return "unknown option '" + name + "'" + (nearest.empty() ? "" : " (did you mean '" + nearest + "'?)");
    }
    std::string quoted;
    for (const std::string& word : given) quoted += (quoted.empty() ? "'" : ", '") + word + "'";
    return std::string(given.size() == 1 ? "unexpected argument " : "unexpected arguments ") + quoted;
}

// The parser's message in the tool's own words: an unknown option, a
// missing value, a value out of range or not among the choices.
std::string PlainWords(const std::string& message, const CLI::App* command) {
    std::string rest;
    if (After(message, "The following argument was not expected: ", &rest) ||
        After(message, "The following arguments were not expected: ", &rest))
        return Unexpected(rest, command);
    if (message == "A subcommand is required") return "no command given";
    if (EndsWith(message, " is required") && message.find(' ') == message.size() - 12)
        return "no " + message.substr(0, message.size() - 12) + " given";
    size_t colon = message.find(": ");
    if (colon == std::string::npos) return message;
    std::string option = message.substr(0, colon), said = message.substr(colon + 2);
    size_t at = said.find(" required ");
    if (at != std::string::npos && at > 0 && said.find_first_not_of("0123456789") == at && EndsWith(said, " missing"))
        return option + " must be followed by its " + said.substr(at + 10, said.size() - 8 - (at + 10));
    if (After(said, "At Most ", &rest) && (at = rest.find(" required but received ")) != std::string::npos)
        return option + " is given " + rest.substr(at + 23) + " times; give it once";
    if (After(said, "Value ", &rest) && (at = rest.rfind(" not in range ")) != std::string::npos) {
        std::string range = rest.substr(at + 14);
        size_t to = range.find(" to ");
        if (to != std::string::npos)
            return option + " takes a whole number from " + range.substr(0, to) + " to " + range.substr(to + 4) +
                   ", not '" + rest.substr(0, at) + "'";
    }
    if (EndsWith(said, "}") && (at = said.rfind(" not in {")) != std::string::npos) {
        std::string choices;
        for (char c : said.substr(at + 9, said.size() - 1 - (at + 9))) choices += c == ',' ? std::string(", ") : std::string(1, c);
        return option + " takes one of " + choices + ", not '" + said.substr(0, at) + "'";
    }
    return message;
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
    bool ownOption = command == "-h" || command == "--help" || command == "--version";
    if (command.empty() || (command[0] != '-' && !FindCommand(app, command)) || (command[0] == '-' && !ownOption)) {
        Print(stderr, "lockbox: %s\n", UnknownCommand(app, command).c_str());
        return EXIT_USAGE;
    }
    std::string helpCommand = command[0] == '-' ? "lockbox --help" : "lockbox " + command + " --help";
    SettleOptionalValues(&args);
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
        CLI::App* sub = FindCommand(app, command);
        Print(stderr, "lockbox: %s (see '%s')\n", PlainWords(e.what(), sub ? sub : &app).c_str(),
              helpCommand.c_str());
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
