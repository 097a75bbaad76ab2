#pragma once
// The nso command line: the global options, the subcommands with their options and help, and how
// a failure becomes an exit status. The one part of nso that defines the command line; the
// manual page and the shell completion are written from the same definitions.

#include <ostream>
#include <string>

namespace nsoapp {

/// Parses the command line, resolves the settings, runs the subcommand named and returns nso's
/// exit status; `version` is what --version prints after "nso ".
[[nodiscard]] int RunCommandLine(int argc, char** argv, const char* version);

/// A text written from the command line's definitions.
enum class CommandLineText {
    ManualPage,     ///< nso(1) in roff
    BashCompletion, ///< a bash completion script for nso
};

/// Writes `text` for nso `version`; `readme` is the README's text, whose command table gives the
/// manual page its longer description of each command.
void WriteCommandLineText(std::ostream& out, CommandLineText text, const char* version,
                          const std::string& readme);

} // namespace nsoapp
