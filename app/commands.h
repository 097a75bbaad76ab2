#pragma once
// The nso command's subcommands. Each registers itself on the CLI and runs against the
// settings that main resolved (settings file, then options) before any subcommand runs.
// A subcommand reports failure by throwing: kvad::Error or any std::exception ends nso with
// exit code 1 and "nso: <message>" on stderr; CLI::RuntimeError(code) ends it quietly with that
// code.

#include <string>

#include <CLI/CLI.hpp>

#include "app/settings.h"

namespace nsoapp {

/// Registers "nso init".
void AddInitCommand(CLI::App& app, Settings& settings);

/// Registers "nso config" and "nso config set": a company's import configuration.
void AddConfigCommand(CLI::App& app, Settings& settings);

/// Registers "nso fetch": retrieves new documents from the document platform.
void AddFetchCommand(CLI::App& app, Settings& settings);

/// Registers "nso list": the chains of received documents.
void AddListCommand(CLI::App& app, Settings& settings);

/// Registers "nso pdf": a received order as a printable PDF.
void AddPdfCommand(CLI::App& app, Settings& settings);

/// Registers "nso master load" and "nso master list": the ERP master data decoding reads.
void AddMasterCommand(CLI::App& app, Settings& settings);

/// Registers "nso decode": decodes registered orders and shows the result.
void AddDecodeCommand(CLI::App& app, Settings& settings);

/// Registers "nso process": processes chains and shows their orders for review.
void AddProcessCommand(CLI::App& app, Settings& settings);

/// Registers "nso show": one processed order for review.
void AddShowCommand(CLI::App& app, Settings& settings);

/// Registers "nso edit": corrects decoded values of a processed order and verifies it again.
void AddEditCommand(CLI::App& app, Settings& settings);

/// Registers "nso messages": the error log of the orders.
void AddMessagesCommand(CLI::App& app, Settings& settings);

/// Registers "nso import": makes ERP orders of processed chains.
void AddImportCommand(CLI::App& app, Settings& settings);

/// Registers "nso orders": the ERP orders the imports made.
void AddOrdersCommand(CLI::App& app, Settings& settings);

/// Registers "nso run": fetch, process and import in one command.
void AddRunCommand(CLI::App& app, Settings& settings);

/// Registers "nso settings": prints the resolved settings and the file they came from.
void AddSettingsCommand(CLI::App& app, Settings& settings);

} // namespace nsoapp
