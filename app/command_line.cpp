#include "app/command_line.h"

#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/command_docs.h"
#include "app/commands.h"
#include "app/database.h"
#include "app/failure.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/version_text.h"

namespace nsoapp {
namespace {

/// What nso is, in one line: the first line of --help and the manual page's name line.
constexpr const char* kProgramSummary =
    "nso: brings public-administration purchase orders received through the NSO into the ERP's "
    "sales orders";

/// A settings file that cannot be used: a usage error, reported before any command runs.
class SettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The global options; each one given on the command line replaces its setting.
struct Overrides {
    std::string settingsFile;
    std::string database;
    std::int32_t company = 0;
    std::string companyVat;
    std::int32_t userId = 0;
    std::string userName;
    std::string inbox;
    std::string platformUser;
    std::string platformPassword;
    std::string cacheDir;
    std::string viewer;
};

class GlobalOptions {
  public:
    explicit GlobalOptions(CLI::App& app) {
        app.add_option("--settings", values_.settingsFile,
                       std::string("Settings file (default: $NSO_SETTINGS, ./nso.toml, "
                                   "~/.config/kvad_nso/nso.toml, ") +
                           SystemSettingsFile() + ")")
            ->type_name("FILE");
        Add(app, "--db", values_.database,
            "Database file, or postgresql:// URI of a server database (its password from the "
            "settings file, PGPASSWORD, a service file or ~/.pgpass)",
            "FILE|URI", [](Settings& s, const Overrides& o) {
                RefuseCommandLinePassword(o.database);
                s.database = o.database;
            });
        Add(app, "--company", values_.company, "ERP company code", "N",
            [](Settings& s, const Overrides& o) { s.company = o.company; });
        Add(app, "--company-vat", values_.companyVat, "Company VAT number (without IT)", "VAT",
            [](Settings& s, const Overrides& o) { s.companyVat = o.companyVat; });
        Add(app, "--user-id", values_.userId, "Id of the ERP user", "N",
            [](Settings& s, const Overrides& o) { s.userId = o.userId; });
        Add(app, "--user", values_.userName, "Name of the ERP user", "NAME",
            [](Settings& s, const Overrides& o) { s.userName = o.userName; });
        Add(app, "--inbox", values_.inbox, "Root folder of the folder-inbox platform", "DIR",
            [](Settings& s, const Overrides& o) { s.inbox = o.inbox; });
        Add(app, "--platform-user", values_.platformUser, "Document platform user", "USER",
            [](Settings& s, const Overrides& o) { s.platformUser = o.platformUser; });
        Add(app, "--platform-password", values_.platformPassword, "Document platform password",
            "PASSWORD",
            [](Settings& s, const Overrides& o) { s.platformPassword = o.platformPassword; });
        Add(app, "--cache-dir", values_.cacheDir, "Cache folder (PDF previews)", "DIR",
            [](Settings& s, const Overrides& o) { s.cacheDir = o.cacheDir; });
        Add(app, "--viewer", values_.viewer, "Program that opens PDF files", "PROGRAM",
            [](Settings& s, const Overrides& o) { s.viewer = o.viewer; });
        verbose_ = app.add_flag("--verbose");
        verbose_->description("Show the component's and the database's own text beneath a "
                              "failure, and more of what was done");
    }

    /// Reads the settings file, then lets every option given replace its setting.
    void Resolve(Settings& settings) const {
        try {
            LoadSettingsFile(settings, values_.settingsFile);
        } catch (const std::exception& e) {
            throw SettingsError(e.what());
        }
        for (const auto& [option, apply] : appliers_) {
            if (option->count() > 0) {
                apply(settings, values_);
            }
        }
        settings.verbose = verbose_->count() > 0;
    }

  private:
    using Apply = void (*)(Settings&, const Overrides&);

    template <class T>
    void Add(CLI::App& app, const std::string& name, T& value, const std::string& help,
             const std::string& typeName, Apply apply) {
        auto* option = app.add_option(name, value, help)->type_name(typeName);
        appliers_.emplace_back(option, apply);
    }

    Overrides values_;
    std::vector<std::pair<CLI::Option*, Apply>> appliers_;
    CLI::Option* verbose_ = nullptr;
};

/// --wait SECONDS of a command that takes the company's clerk lock (`run` takes the retrieval
/// lock too).
void AddClerkWait(CLI::App* command, double& seconds,
                  const std::string& what = "processes, corrects or imports") {
    command
        ->add_option("--wait", seconds,
                     "Seconds to wait while another command of the company that " + what +
                         " orders runs (default 10)")
        ->type_name("SECONDS");
}

/// --batch CHAINS of a command that goes through the chains batch by batch.
void AddBatch(CLI::App* command, std::size_t& chains, const std::string& what) {
    command
        ->add_option("--batch", chains,
                     "Chains " + what +
                         " at a time; the memory the command needs grows with it "
                         "(default " +
                         std::to_string(kDefaultBatchChains) + ")")
        ->type_name("CHAINS")
        ->check(CLI::Range(std::size_t{1}, std::size_t{1000000}));
}

/// The values every subcommand's options are read into; they live until the command has run.
struct CommandValues {
    InitOptions init;
    std::string initDatabase;
    DbCopyOptions dbCopy;
    ConfigOptions config;
    FetchOptions fetch;
    ListOptions list;
    PdfOptions pdf;
    MasterLoadOptions masterLoad;
    std::string masterListKind;
    std::string masterSearch;
    DecodeOptions decode;
    ProcessOptions process;
    ShowOptions show;
    EditOptions edit;
    MessagesOptions messages;
    ImportOptions import;
    OrdersOptions orders;
    RunOptions run;
    ServeOptions serve;
    UserOptions user;
};

void AddInit(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* init =
        app.add_subcommand("init", "Create the database file or bring its schema up to date");
    // Kept apart from the settings: main resolves them after parsing, and an option given to
    // the command itself wins over the settings file.
    CLI::Option* db =
        init->add_option("--db", v.initDatabase,
                         "Database file or postgresql:// URI (default: the settings')")
            ->type_name("FILE|URI");
    init->add_flag("--demo", v.init.demo,
                   "Also load the demo master data (examples/master) and configure the company "
                   "when it has no configuration");
    AddClerkWait(init, v.init.waitSeconds);
    // Failures propagate to main, which prints "nso: <message>" and exits with 1.
    init->callback([&settings, &v, db] {
        if (db->count() > 0) {
            RefuseCommandLinePassword(v.initDatabase);
            v.init.database = v.initDatabase;
        }
        RunInit(settings, v.init);
    });
}

void AddDb(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* db = app.add_subcommand("db", "Move the database (`db copy` to a server database)");
    db->require_subcommand(1);
    CLI::App* copy = db->add_subcommand(
        "copy", "Copy the database file into an empty PostgreSQL database, every row and id kept");
    copy->add_option("--to", v.dbCopy.to,
                     "The server database, postgresql://...; its password from PGPASSWORD, a "
                     "service file or ~/.pgpass")
        ->type_name("URI")
        ->required();
    copy->callback([&settings, &v] { RunDbCopy(settings, v.dbCopy); });
}

void AddConfig(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* config = app.add_subcommand(
        "config", "Show the company's import configuration (`config set` changes it)");
    CLI::App* set = config->add_subcommand("set", "Set the company's import configuration");
    set->add_option("--document", v.config.document, "ERP document code of imported orders");
    set->add_option("--layout", v.config.layout, "Import layout code");
    set->add_option("--from", v.config.from,
                    "First retrieval date, dd/mm/yyyy (documents received from the day before)");
    set->add_option("--section", v.config.section, "Default section of the document code");
    set->add_option("--warehouse", v.config.warehouse, "Default warehouse of the document code");
    AddClerkWait(set, v.config.waitSeconds);
    config->callback([&settings, &v, set] {
        v.config.set = set->parsed();
        RunConfig(settings, v.config);
    });
}

void AddFetch(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* fetch =
        app.add_subcommand("fetch", "Retrieve the company's new documents from the platform");
    fetch->add_flag("--retry-missing", v.fetch.retryMissing,
                    "Download again the registered documents whose XML was never stored");
    fetch
        ->add_option("--wait", v.fetch.waitSeconds,
                     "Seconds to wait while another retrieval of the company runs (default 10)")
        ->type_name("SECONDS");
    fetch->add_flag("--watch", v.fetch.watch,
                    "Keep watching the inbox and fetch new documents as they arrive, until "
                    "interrupted");
    fetch->callback([&settings, &v] { RunFetch(settings, v.fetch); });
}

void AddList(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* list = app.add_subcommand("list", "List the chains of received documents");
    CLI::Option* processed =
        list->add_flag("--processed", v.list.processed, "Only chains already processed");
    CLI::Option* all = list->add_flag("--all", v.list.all, "Every chain, processed or not");
    list->add_flag("--to-process")->description("Only chains still to process (the default)");
    processed->excludes(all);
    CLI::Option* limit =
        list->add_option("--limit", v.list.limit,
                         "Show at most N chains, the latest first (0: all; on a terminal the "
                         "default is " +
                             std::to_string(kTerminalLimit) + ")")
            ->type_name("N")
            ->check(CLI::NonNegativeNumber);
    list->add_flag("--json", v.list.json, "Print the list as one JSON document");
    list->callback([&settings, &v, limit] {
        v.list.limitGiven = limit->count() > 0;
        RunList(settings, v.list);
    });
}

void AddPdf(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* pdf = app.add_subcommand(
        "pdf", "Write a received order as a printable PDF and print the file's path");
    pdf->add_option("ORDER", v.pdf.order,
                    "Register id of the document, or its order number when only one document "
                    "has it")
        ->required();
    pdf->add_option("--out", v.pdf.out,
                    "Write to this file (replaced if it exists) instead of the preview folder")
        ->type_name("FILE");
    pdf->add_flag("--open", v.pdf.open, "Open the PDF in the configured viewer");
    pdf->callback([&settings, &v] { WritePdf(settings, v.pdf); });
}

void AddSettings(CLI::App& app, const Settings& settings) {
    auto* command = app.add_subcommand(
        "settings", "Print the settings in use (password masked) and the file they came from");
    command->callback([&settings] { PrintSettings(settings); });
}

void AddMaster(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* master = app.add_subcommand(
        "master", "The ERP master data that decoding reads: load it from CSV files, list it");
    master->require_subcommand(1);

    CLI::App* load = master->add_subcommand(
        "load", "Load a CSV file of one kind (all rows or none; `nso master list` names the "
                "kinds and their columns)");
    load->add_option("KIND", v.masterLoad.kind, "Kind of master data (customers, items, ...)")
        ->required();
    load->add_option("FILE", v.masterLoad.file,
                     "CSV file with a header row naming its columns (at most 16 MiB)")
        ->required();
    load->add_option("--encoding", v.masterLoad.encoding,
                     "The file's encoding when it is not UTF-8 and has no byte-order mark "
                     "(ISO-8859-1, windows-1252, UTF-16LE, ... as `iconv -l` names them)")
        ->type_name("NAME");
    AddClerkWait(load, v.masterLoad.waitSeconds);
    load->callback([&settings, &v] { RunMasterLoad(settings, v.masterLoad); });

    CLI::App* list = master->add_subcommand(
        "list", "Show the master data of a kind as a table (without KIND: the kinds)");
    list->add_option("KIND", v.masterListKind, "Kind of master data");
    list->add_option("--search", v.masterSearch, "Only rows with a cell containing TEXT (any case)")
        ->type_name("TEXT");
    list->callback([&settings, &v] { RunMasterList(settings, v.masterListKind, v.masterSearch); });
}

void AddDecode(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* decode = app.add_subcommand(
        "decode", "Decode registered orders into the ERP's codes and show the result");
    decode
        ->add_option("ORDER", v.decode.orders,
                     "Register ids of the orders (IE91_ID), or order numbers that only one "
                     "document has")
        ->required();
    decode->add_flag("--force", v.decode.force,
                     "Decode again from scratch an order that already has decoded lines (they are "
                     "kept otherwise, with any correction made to them)");
    AddClerkWait(decode, v.decode.waitSeconds);
    decode->callback([&settings, &v] { RunDecode(settings, v.decode); });
}

void AddProcess(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* process = app.add_subcommand(
        "process", "Process chains of received orders and show them for review before import");
    process->add_option("CHAIN", v.process.chains,
                        "Register id or order number of a document of the chain");
    CLI::Option* all = process->add_flag("--all", v.process.all,
                                         "Every chain still to process that can be "
                                         "selected");
    process->add_flag("--latest-only", v.process.latestOnly,
                      "Import only the latest document of each chain (default: the whole chain)");
    all->excludes(process->get_option("CHAIN"));
    process->add_flag("--json", v.process.json, "Print the orders as one JSON document");
    AddBatch(process, v.process.batchChains, "processed");
    AddClerkWait(process, v.process.waitSeconds);
    process->callback([&settings, &v] { RunProcess(settings, v.process); });
}

void AddShow(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* show = app.add_subcommand("show", "Show a processed order for review");
    show->add_option("ORDER", v.show.order, "Register id of the document, or its order number")
        ->required();
    show->add_flag("--json", v.show.json, "Print the order as one JSON document");
    show->callback([&settings, &v] { RunShow(settings, v.show); });
}

void AddEdit(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* edit = app.add_subcommand(
        "edit", "Correct decoded values of a processed order and verify it again");
    edit->add_option("ORDER", v.edit.order, "Register id of the document, or its order number")
        ->required();
    edit->add_option("FIELD=VALUE", v.edit.assignments,
                     "Values to set (an empty VALUE clears it), by short name or column name")
        ->required();
    edit->add_option("--line", v.edit.line, "Correct this line instead of the header")
        ->type_name("N");
    AddClerkWait(edit, v.edit.waitSeconds);
    edit->footer(EditFieldsHelp());
    edit->callback([&settings, &v] { RunEdit(settings, v.edit); });
}

void AddMessages(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* messages =
        app.add_subcommand("messages", "List the messages of the orders' error log");
    messages->add_option("ORDER", v.messages.order,
                         "Register id or order number of one document (default: every order)");
    messages->add_option("--phase", v.messages.phase, "Only the messages of one phase")
        ->check(CLI::IsMember({"all", "verification", "decoding", "import"}))
        ->default_str("all");
    messages->add_flag("--json", v.messages.json, "Print the messages as one JSON document");
    messages->callback([&settings, &v] { RunMessages(settings, v.messages); });
}

void AddImport(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* import =
        app.add_subcommand("import", "Make ERP orders of processed chains of received orders");
    import->add_option("CHAIN", v.import.chains,
                       "Register id or order number of a document of the chain");
    CLI::Option* all = import->add_flag("--all", v.import.all,
                                        "Every chain still to process that can be selected");
    import->add_flag("--latest-only", v.import.latestOnly,
                     "Import only the latest document of each chain, as `nso process "
                     "--latest-only` processed it (default: the whole chain)");
    all->excludes(import->get_option("CHAIN"));
    import->add_flag("--json", v.import.json, "Print what the import did as one JSON document");
    AddBatch(import, v.import.batchChains, "imported");
    AddClerkWait(import, v.import.waitSeconds);
    import->callback([&settings, &v] { RunImport(settings, v.import);
});
} // namespace

void AddOrders(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* orders = app.add_subcommand("orders", "List the ERP orders made by the imports");
    orders
        ->add_option("--search", v.orders.search,
                     "Only orders whose document, customer, NSO order or a line's item or "
                     "description contains TEXT")
        ->type_name("TEXT");
    orders->add_flag("--lines", v.orders.lines, "Show each order's lines");
    orders->add_flag("--json", v.orders.json, "Print the orders as one JSON document");
    orders->callback([&settings, &v] { RunOrders(settings, v.orders); });
}

void AddServe(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* serve = app.add_subcommand(
        "serve", "Serve the clerk's screens to a browser (chains, review, import, ERP orders)");
    serve
        ->add_option("--listen", v.serve.listen,
                     "Address and port to listen on (default: the setting listen, "
                     "127.0.0.1:8080); any address but 127.0.0.1 or ::1 requires a login")
        ->type_name("ADDRESS:PORT");
    serve->add_flag("--watch", v.serve.watch,
                    "Fetch new documents as they arrive in the folder inbox");
    serve->add_flag("--login", v.serve.login, "Require a login on 127.0.0.1 too");
    serve->callback([&settings, &v] { RunServe(settings, v.serve); });

    CLI::App* user = app.add_subcommand("user", "Clerks who may log in to `nso serve`");
    user->require_subcommand(1);
    CLI::App* add = user->add_subcommand(
        "add", "Add a clerk, or give one a new password (read from standard input)");
    add->add_option("NAME", v.user.name, "The clerk's user name")->required();
    add->callback([&settings, &v] { RunUserAdd(settings, v.user); });
}

void AddRun(CLI::App& app, const Settings& settings, CommandValues& v) {
    CLI::App* run = app.add_subcommand(
        "run", "Fetch, process and import in one command: the main job as a scheduler runs it");
    run->add_flag("--latest-only", v.run.latestOnly,
                  "Import only the latest document of each chain (default: the whole chain)");
    AddClerkWait(run, v.run.waitSeconds, "fetches, processes, corrects or imports");
    run->add_flag("--json", v.run.json, "Print the summary as one JSON document");
    AddBatch(run, v.run.batchChains, "processed and imported");
    run->footer("Exit status: 0 done, 1 a phase failed (the message says why), 2 bad command "
                "line, 3 documents could not be loaded, 4 orders are left for a clerk.");
    run->callback([&settings, &v] { RunMainJob(settings, v.run); });
}

void PrintNextSteps(const Settings& settings) {
    std::error_code ec;
    if (!IsServerDatabase(settings.database) && !std::filesystem::exists(settings.database, ec)) {
        std::cout << "\nNext steps: `nso init` creates the database " << settings.database
                  << "; `nso settings` shows the settings in use.\n";
        return;
    }
    std::cout << "\nNext steps: `nso config` shows the company's configuration, `nso fetch` "
                 "brings new orders, `nso list` shows their chains; `nso <command> --help` tells "
                 "more about a command.\n";
}

int Fail(int code, const std::string& message, bool json = false) {
    if (json) {
        PrintFailureJson(message, code);
    }
    std::cerr << "nso: " << message << "\n";
    return code;
}

/// Whether the subcommand given was given --json: its failure is then a JSON document too.
bool JsonAsked(const CLI::App& app) {
    for (const CLI::App* command : app.get_subcommands()) {
        const CLI::Option* json = command->get_option_no_throw("--json");
        if (json != nullptr && json->count() > 0) {
            return true;
        }
    }
    return false;
}

/// nso's command line: the global options and every subcommand with the values they fill. Built
/// alike to run a command and to write the manual page and the completion from it.
class CommandLine {
  public:
    explicit CommandLine(const char* version) : options_(app_) {
        app_.name("nso");
        app_.description(kProgramSummary);
        app_.set_version_flag("--version", VersionText(version));
        app_.require_subcommand(0, 1);
        app_.fallthrough(); // global options may also follow the subcommand
        // Runs once the command line is parsed and before any subcommand's callback.
        app_.parse_complete_callback([this] { options_.Resolve(settings_); });
        AddCommands(app_, settings_, values_);
    }

    [[nodiscard]] CLI::App& App() noexcept { return app_; }
    [[nodiscard]] const Settings& CurrentSettings() const noexcept { return settings_; }

  private:
    static void AddCommands(CLI::App& app, const Settings& settings, CommandValues& values) {
        AddInit(app, settings, values);
        AddDb(app, settings, values);
        AddConfig(app, settings, values);
        AddFetch(app, settings, values);
        AddList(app, settings, values);
        AddPdf(app, settings, values);
        AddSettings(app, settings);
        AddMaster(app, settings, values);
        AddDecode(app, settings, values);
        AddProcess(app, settings, values);
        AddShow(app, settings, values);
        AddEdit(app, settings, values);
        AddMessages(app, settings, values);
        AddImport(app, settings, values);
        AddOrders(app, settings, values);
        AddRun(app, settings, values);
        AddServe(app, settings, values);
    }

    CLI::App app_;
    Settings settings_;
    GlobalOptions options_;
    CommandValues values_;
};

} // namespace nsoapp

int RunCommandLine(int argc, char** argv, const char* version) {
    CommandLine commandLine(version);
    CLI::App& app = commandLine.App();
    const Settings& settings = commandLine.CurrentSettings();
    try {
        app.parse(argc, argv);
    } catch (const ExitStatus& status) {
        return status.Code();
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e); // --help, --version
        }
        return Fail(kExitUsage, std::string(e.what()) + "\nRun with --help for more information.");
    } catch (const SettingsError& e) {
        return Fail(kExitUsage, e.what(), JsonAsked(app));
    } catch (const std::exception& e) {
        return ReportFailure(e, settings.verbose, settings.database, JsonAsked(app));
    }

    if (app.get_subcommands().empty()) {
        std::cout << app.help();
        PrintNextSteps(settings);
    }
    return kExitOk;
}

void WriteCommandLineText(std::ostream& out, CommandLineText text, const char* version,
                          const std::string& readme) {
    CommandLine commandLine(version);
    if (text == CommandLineText::ManualPage) {
        WriteManualPage(out, commandLine.App(), version, readme);
        return;
    }
    WriteBashCompletion(out, commandLine.App());
}

} // namespace nsoapp
