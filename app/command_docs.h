#pragma once
// The manual page and the bash completion of nso, written from its command-line definitions so
// that they say what --help says and offer the commands and options nso takes.

#include <ostream>
#include <string>

namespace CLI {
class App;
} // namespace CLI

namespace nsoapp {

/// Writes nso(1) in roff: the global options, then each command with its --help description,
/// the rows of the README's command table about it (`readme` is the README's text; none when it
/// has no such table) and its options and arguments; the exit statuses, files and environment.
/// Throws std::runtime_error for a row of that table that names no command, so that the README
/// and the command line cannot drift apart unnoticed.
void WriteManualPage(std::ostream& out, const CLI::App& app, const std::string& version,
                     const std::string& readme);

/// Writes a bash completion script that defines `_nso` and registers it for `nso`: it completes
/// the commands, the options of the command being typed (the global ones too), the choices of an
/// option that has them, and file or folder names after an option or argument that takes one.
void WriteBashCompletion(std::ostream& out, const CLI::App& app);

} // namespace nsoapp
