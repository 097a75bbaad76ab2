#pragma once
// The nso command's subcommands. Each registers itself on the CLI and runs against the
// settings that main resolved (settings file, then options).

#include <string>

#include <CLI/CLI.hpp>

#include "app/settings.h"

namespace nsoapp {

/// Registers "nso init".
void AddInitCommand(CLI::App& app, Settings& settings);

} // namespace nsoapp
