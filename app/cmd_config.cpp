// "nso config": shows and sets a company's import configuration (document code, import layout,
// first retrieval date) and the default section and warehouse of its document code.
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>

#include "app/commands.h"
#include "app/session.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

struct ConfigChanges {
    std::optional<std::string> document;
    std::optional<std::string> layout;
    std::optional<std::string> from;
    std::optional<std::string> section;
    std::optional<std::string> warehouse;
};

std::string Required(const std::string& option, const std::string& value, std::size_t maxLength) {
    std::string trimmed = kvad::Trim(value);
    if (trimmed.empty()) {
        throw std::runtime_error(option + " must not be blank");
    }
    if (kvad::Utf8Length(trimmed) > maxLength) {
        throw std::runtime_error(option + " '" + trimmed + "' is longer than " +
                                 std::to_string(maxLength) + " characters");
    }
    return trimmed;
}

void Show(Session& session, const Settings& settings) {
    auto& db = *session.db;
    auto row = db.Query("SELECT * FROM IE90_CONFIGNSO WHERE IE90_DITTA_CG18 = " +
                        std::to_string(settings.company));
    std::cout << "Company " << settings.company << " (inbox folder IT" << settings.companyVat
              << ")\n";
    if (row->Eof()) {
        std::cout << "  no configuration yet: `nso config set --document CODE --layout CODE` "
                     "writes one\n";
        return;
    }
    session.nso->Inizializza();
    kvad::CLSIE_NSO& nso = *session.nso;
    const std::string document = nso.Param_CodiceDocumento();
    std::string section;
    std::string warehouse;
    const bool defaults =
        !document.empty() && nso.RecuperaSezionaleDepositoDefault(document, section, warehouse);
    std::cout << "  document code:  " << (document.empty() ? "(missing)" : document);
    if (defaults) {
        std::cout << "  (section " << (section.empty() ? "-" : section) << ", warehouse "
                  << (warehouse.empty() ? "-" : warehouse) << ")";
    } else if (!document.empty()) {
        std::cout << "  (no default section and warehouse: `nso config set --section S "
                     "--warehouse W`)";
    }
    std::cout << "\n  import layout:  "
              << (nso.Param_Tracciato().empty() ? "(missing)" : nso.Param_Tracciato()) << "\n";
    std::cout << "  next retrieval: documents received since "
              << nso.RetrievalStartDate().ToDate().ToText()
              << " (last retrieval or first date: " << nso.Param_DataImport().Text() << ")\n";
    const kvad::Variant outcome = row->Value("IE90_ESITO_IMPORT");
    std::cout << "  last outcome:   "
              << (outcome.IsNull()        ? "no retrieval yet"
                  : outcome.ToLong() == 1 ? "new documents stored"
                                          : "nothing new")
              << "\n";
    if (session.nso->Stato() != kvad::kaOK) {
        std::cout << "  warning: " << session.nso->Errore().Text() << "\n";
    }
}

void Set(Session& session, const Settings& settings, const ConfigChanges& changes) {
    auto& db = *session.db;
    RequireWritable(session, settings);
    std::optional<kvad::DateTime> from;
    if (changes.from) {
        from = kvad::DateTime::Parse(kvad::Trim(*changes.from));
        if (!from) {
            throw std::runtime_error("--from '" + *changes.from +
                                     "' is not a date (dd/mm/yyyy or yyyy-mm-dd)");
        }
    }
    const std::string company = std::to_string(settings.company);
    auto config =
        db.OpenRecordset("SELECT * FROM IE90_CONFIGNSO WHERE IE90_DITTA_CG18 = " + company);
    if (config->Eof()) {
        config->AddNew();
        config->SetValue("IE90_DITTA_CG18", settings.company);
    }
    if (changes.document) {
        config->SetValue("IE90_CODDOCUM_MG3G", Required("--document", *changes.document, 10));
    }
    if (changes.layout) {
        config->SetValue("IE90_TRACCIATO_IE25", Required("--layout", *changes.layout, 20));
    }
    if (from) {
        config->SetValue("IE90_DATAORA_IMPORT", *from);
    }
    std::string document = config->Value("IE90_CODDOCUM_MG3G").Text();
    if ((changes.section || changes.warehouse) && kvad::Trim(document).empty()) {
        throw std::runtime_error("--section and --warehouse belong to a document code: give "
                                 "--document too");
    }
    kvad::TransactionScope transaction(db);
    config->Update();
    if (changes.section || changes.warehouse) {
        // The document code is bound as a parameter by the recordset; here it only selects.
        auto defaults = db.OpenRecordset(
            "SELECT * FROM MG3G_DOCDITTA WHERE MG3G_DITTA_CG18 = " + company +
            " AND MG3G_CODDOCUM_MG36 = '" + kvad::ReplaceAll(document, "'", "''") + "'");
        if (defaults->Eof()) {
            defaults->AddNew();
            defaults->SetValue("MG3G_DITTA_CG18", settings.company);
            defaults->SetValue("MG3G_CODDOCUM_MG36", document);
        }
        if (changes.section) {
            defaults->SetValue("MG3G_SEZDEFAULT", Required("--section", *changes.section, 10));
        }
        if (changes.warehouse) {
            defaults->SetValue("MG3G_DEPDEFAULT_MG58",
                               Required("--warehouse", *changes.warehouse, 10));
        }
        defaults->Update();
    }
    transaction.Commit();
    Show(session, settings);
}

} // namespace

void AddConfigCommand(CLI::App& app, Settings& settings) {
    CLI::App* config = app.add_subcommand(
        "config", "Show the company's import configuration (`config set` changes it)");
    CLI::App* set = config->add_subcommand("set", "Set the company's import configuration");
    auto changes = std::make_shared<ConfigChanges>();
    set->add_option("--document", changes->document, "ERP document code of imported orders");
    set->add_option("--layout", changes->layout, "Import layout code");
    set->add_option("--from", changes->from,
                    "First retrieval date, dd/mm/yyyy (documents received from the day before)");
    set->add_option("--section", changes->section, "Default section of the document code");
    set->add_option("--warehouse", changes->warehouse, "Default warehouse of the document code");
    config->callback([&settings, set, changes] {
        Session session = OpenSession(settings);
        if (set->parsed()) {
            Set(session, settings, *changes);
        } else {
            Show(session, settings);
        }
    });
}

} // namespace nsoapp
