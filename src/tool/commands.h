// The subcommands of lockbox. Each Add*Command registers its subcommand and
// options on `app`; when the user picks it, `*run` is set to a function that
// carries it out and returns the exit code (failures are thrown as
// ToolError).
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace CLI { class App; }

using CommandRun = std::function<int()>;

void AddCreateCommand(CLI::App* app, CommandRun* run);
void AddListCommand(CLI::App* app, CommandRun* run);
void AddTestCommand(CLI::App* app, CommandRun* run);
void AddExtractCommand(CLI::App* app, CommandRun* run);

// Gives an option whose value may be left out the value it takes alone
// when the next argument is not one it accepts: `--open-folder PATH` keeps
// PATH as a path. `args` are the command's, first to last.
void SettleOptionalValues(std::vector<std::string>* args);

// --codepage, shared by every command: names and title are stored in it.
const int DEFAULT_CODEPAGE = 1252;
// `forCreate`: the help of create (where it is recorded) rather than of the readers.
void AddCodepageOption(CLI::App* app, int* codepage, bool forCreate);

// The optional name patterns after the archive of list, test and extract.
void AddNamesOption(CLI::App* app, std::vector<std::string>* names);
