#pragma once
// The nso command line: the global options, the subcommands with their options and help, and how
// a failure becomes an exit status. The one part of nso that knows the command-line library.

namespace nsoapp {

/// Parses the command line, resolves the settings, runs the subcommand named and returns nso's
/// exit status; `version` is what --version prints after "nso ".
[[nodiscard]] int RunCommandLine(int argc, char** argv, const char* version);

} // namespace nsoapp
