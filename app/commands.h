#pragma once
// The nso command's subcommands, each a plain option struct and the routine that runs it against
// the settings that main resolved (settings file, then options). Only app/command_line.cpp knows
// the command line: it fills these structs and calls these routines.
// A subcommand reports failure by throwing: kvad::Error or any std::exception ends nso with
// exit code 1 and "nso: <message>" on stderr; ExitStatus(code) ends it quietly with that code.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/settings.h"

namespace nsoapp {

/// Ends nso with an exit status, having said all there is to say (the summary of a fetch or a
/// run that names what is left to do).
class ExitStatus {
  public:
    explicit ExitStatus(int code) noexcept : code_(code) {}
    [[nodiscard]] int Code() const noexcept { return code_; }

  private:
    int code_;
};

/// "nso init": the database file made or brought up to date, the settings' company registered.
struct InitOptions {
    std::optional<std::string> database; ///< --db given to the command itself
    bool demo = false;
    double waitSeconds = 10; ///< while another command of the clerk's half runs
};
void RunInit(const Settings& settings, const InitOptions& options);

/// "nso db copy --to URI": the settings' database file copied into an empty server database.
struct DbCopyOptions {
    std::string to; ///< the server database (postgresql://...)
};
void RunDbCopy(const Settings& settings, const DbCopyOptions& options);

/// "nso config" and "nso config set": a company's import configuration.
struct ConfigOptions {
    bool set = false; ///< `config set`: write the values given, then show
    std::optional<std::string> document;
    std::optional<std::string> layout;
    std::optional<std::string> from;
    std::optional<std::string> section;
    std::optional<std::string> warehouse;
    double waitSeconds = 10; ///< `config set`: while another command of the clerk's half runs
};
void RunConfig(const Settings& settings, const ConfigOptions& options);

/// "nso fetch": retrieves new documents from the document platform.
struct FetchOptions {
    bool retryMissing = false;
    bool watch = false; ///< keep fetching what arrives in the folder inbox until interrupted
    double waitSeconds = 10;
};
void RunFetch(const Settings& settings, const FetchOptions& options);

/// Chains `nso list` shows on a terminal when no --limit is given: a screenful, not thousands.
inline constexpr std::size_t kTerminalLimit = 50;

/// "nso list": the chains of received documents.
struct ListOptions {
    bool processed = false;
    bool all = false;
    bool json = false;
    std::size_t limit = 0;
    bool limitGiven = false;
};
void RunList(const Settings& settings, const ListOptions& options);

/// "nso pdf": a received order as a printable PDF.
struct PdfOptions {
    std::string order;
    std::string out;
    bool open = false;
};
void WritePdf(const Settings& settings, const PdfOptions& options);

/// "nso master load" and "nso master list": the ERP master data decoding reads.
struct MasterLoadOptions {
    std::string kind;
    std::string file;
    std::string encoding;
    double waitSeconds = 10;
};
void RunMasterLoad(const Settings& settings, const MasterLoadOptions& options);
void RunMasterList(const Settings& settings, const std::string& kind, const std::string& search);

/// "nso decode": decodes registered orders and shows the result.
struct DecodeOptions {
    std::vector<std::string> orders;
    bool force = false;
    double waitSeconds = 10;
};
void RunDecode(const Settings& settings, const DecodeOptions& options);

/// Chains `nso run`, `nso process` and `nso import` process and import at a time by default.
/// The recordsets of a batch hold its orders' headers and lines (about 65 KB per order of 20
/// lines), so the batch, not the backlog, sets the memory a command needs.
inline constexpr std::size_t kDefaultBatchChains = 500;

/// "nso process": processes chains and shows their orders for review.
struct ProcessOptions {
    std::vector<std::string> chains;
    bool all = false;
    bool latestOnly = false;
    bool json = false;
    double waitSeconds = 10;
    std::size_t batchChains = kDefaultBatchChains; ///< chains processed at a time
};
void RunProcess(const Settings& settings, const ProcessOptions& options);

/// "nso show": one processed order for review.
struct ShowOptions {
    std::string order;
    bool json = false;
};
void RunShow(const Settings& settings, const ShowOptions& options);

/// "nso edit": corrects decoded values of a processed order and verifies it again.
struct EditOptions {
    std::string order;
    std::optional<std::int32_t> line;
    std::vector<std::string> assignments;
    double waitSeconds = 10;
};
void RunEdit(const Settings& settings, const EditOptions& options);
/// The editable fields, header then line, for the help of "nso edit".
[[nodiscard]] std::string EditFieldsHelp();

/// "nso messages": the error log of the orders.
struct MessagesOptions {
    std::string order;
    std::string phase = "all";
    bool json = false;
};
void RunMessages(const Settings& settings, const MessagesOptions& options);

/// "nso import": makes ERP orders of processed chains.
struct ImportOptions {
    std::vector<std::string> chains;
    bool all = false;
    bool latestOnly = false;
    bool json = false;
    double waitSeconds = 10;
    std::size_t batchChains = kDefaultBatchChains; ///< chains imported at a time
};
void RunImport(const Settings& settings, const ImportOptions& options);

/// "nso orders": the ERP orders the imports made.
struct OrdersOptions {
    std::string search;
    bool lines = false;
    bool json = false;
};
void RunOrders(const Settings& settings, const OrdersOptions& options);

/// "nso run": fetch, process and import in one command.
struct RunOptions {
    bool latestOnly = false;
    bool json = false;
    double waitSeconds = 10;
    std::size_t batchChains = kDefaultBatchChains; ///< chains processed and imported at a time
};
void RunMainJob(const Settings& settings, const RunOptions& options);

/// "nso serve": the web host for clerks (app/web).
struct ServeOptions {
    std::string listen; ///< address:port; "" takes the settings' `listen`
    bool watch = false; ///< fetch new documents as they arrive in the folder inbox
    bool login = false; ///< require a login even on 127.0.0.1
};
void RunServe(const Settings& settings, const ServeOptions& options);

/// "nso user add": a clerk who may log in to the web host (app/web).
struct UserOptions {
    std::string name;
};
void RunUserAdd(const Settings& settings, const UserOptions& options);

/// "nso settings": prints the resolved settings and the file they came from.
void PrintSettings(const Settings& settings);

} // namespace nsoapp
