// nso: the command-line host of the KVAD_NSO component.

#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

#include "app/commands.h"
#include "app/failure.h"
#include "app/settings.h"

namespace {

using nsoapp::kExitFailed;
using nsoapp::kExitUsage;

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
                       "Settings file (default: $NSO_SETTINGS, ./nso.toml, "
                       "~/.config/kvad_nso/nso.toml)")
            ->type_name("FILE");
        Add(app, "--db", values_.database, "Database file", "FILE",
            [](nsoapp::Settings& s, const Overrides& o) { s.database = o.database; });
        Add(app, "--company", values_.company, "ERP company code", "N",
            [](nsoapp::Settings& s, const Overrides& o) { s.company = o.company; });
        Add(app, "--company-vat", values_.companyVat, "Company VAT number (without IT)", "VAT",
            [](nsoapp::Settings& s, const Overrides& o) { s.companyVat = o.companyVat; });
        Add(app, "--user-id", values_.userId, "Id of the ERP user", "N",
            [](nsoapp::Settings& s, const Overrides& o) { s.userId = o.userId; });
        Add(app, "--user", values_.userName, "Name of the ERP user", "NAME",
            [](nsoapp::Settings& s, const Overrides& o) { s.userName = o.userName; });
        Add(app, "--inbox", values_.inbox, "Root folder of the folder-inbox platform", "DIR",
            [](nsoapp::Settings& s, const Overrides& o) { s.inbox = o.inbox; });
        Add(app, "--platform-user", values_.platformUser, "Document platform user", "USER",
            [](nsoapp::Settings& s, const Overrides& o) { s.platformUser = o.platformUser; });
        Add(app, "--platform-password", values_.platformPassword, "Document platform password",
            "PASSWORD", [](nsoapp::Settings& s, const Overrides& o) {
                s.platformPassword = o.platformPassword;
            });
        Add(app, "--cache-dir", values_.cacheDir, "Cache folder (PDF previews)", "DIR",
            [](nsoapp::Settings& s, const Overrides& o) { s.cacheDir = o.cacheDir; });
        Add(app, "--viewer", values_.viewer, "Program that opens PDF files", "PROGRAM",
            [](nsoapp::Settings& s, const Overrides& o) { s.viewer = o.viewer; });
        verbose_ = app.add_flag("--verbose");
        verbose_->description("Show the component's and the database's own text beneath a "
                              "failure, and more of what was done");
    }

    /// Reads the settings file, then lets every option given replace its setting.
    void Resolve(nsoapp::Settings& settings) const {
        try {
            nsoapp::LoadSettingsFile(settings, values_.settingsFile);
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
    using Apply = void (*)(nsoapp::Settings&, const Overrides&);

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

void PrintNextSteps(const nsoapp::Settings& settings) {
    std::error_code ec;
    if (!std::filesystem::exists(settings.database, ec)) {
        std::cout << "\nNext steps: `nso init` creates the database " << settings.database
                  << "; `nso settings` shows the settings in use.\n";
        return;
    }
    std::cout << "\nNext steps: `nso config` shows the company's configuration, `nso fetch` "
                 "brings new orders, `nso list` shows their chains; `nso <command> --help` tells "
                 "more about a command.\n";
}

int Fail(int code, const std::string& message) {
    std::cerr << "nso: " << message << "\n";
    return code;
}

int Run(int argc, char** argv) {
    CLI::App app{"nso: brings public-administration purchase orders received through the NSO "
                 "into the ERP's sales orders",
                 "nso"};
    app.set_version_flag("--version", std::string("nso ") + KVAD_VERSION);
    app.require_subcommand(0, 1);
    app.fallthrough(); // global options may also follow the subcommand

    nsoapp::Settings settings;
    GlobalOptions options(app);
    // Runs once the command line is parsed and before any subcommand's callback.
    app.parse_complete_callback([&] { options.Resolve(settings); });

    nsoapp::AddInitCommand(app, settings);
    nsoapp::AddConfigCommand(app, settings);
    nsoapp::AddFetchCommand(app, settings);
    nsoapp::AddListCommand(app, settings);
    nsoapp::AddPdfCommand(app, settings);
    nsoapp::AddSettingsCommand(app, settings);
    nsoapp::AddMasterCommand(app, settings);
    nsoapp::AddDecodeCommand(app, settings);
    nsoapp::AddProcessCommand(app, settings);
    nsoapp::AddShowCommand(app, settings);
    nsoapp::AddEditCommand(app, settings);
    nsoapp::AddMessagesCommand(app, settings);
    nsoapp::AddImportCommand(app, settings);
    nsoapp::AddOrdersCommand(app, settings);
    nsoapp::AddRunCommand(app, settings);

    try {
        app.parse(argc, argv);
    } catch (const CLI::RuntimeError& e) {
        return e.get_exit_code();
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e); // --help, --version
        }
        return Fail(kExitUsage, std::string(e.what()) + "\nRun with --help for more information.");
    } catch (const SettingsError& e) {
        return Fail(kExitUsage, e.what());
    } catch (const std::exception& e) {
        return nsoapp::ReportFailure(e, settings.verbose, settings.database);
    }

    if (app.get_subcommands().empty()) {
        std::cout << app.help();
        PrintNextSteps(settings);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        return Fail(kExitFailed, e.what());
    } catch (...) {
        return Fail(kExitFailed, "unexpected failure");
    }
}
