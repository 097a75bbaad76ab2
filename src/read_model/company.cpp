#include "kvad_nso/read_model/company.h"

#include "kvad_nso/codes.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "rows.h"

namespace kvad::read_model {

using detail::Code;

namespace {

/// The value trimmed; Refusal when it is blank or longer than `width` characters.
std::string Checked(const char* what, const std::string& value, std::size_t width) {
    std::string trimmed = Trim(value);
    if (trimmed.empty()) {
        throw Refusal(std::string("the ") + what + " must not be blank");
    }
    if (Utf8Length(trimmed) > width) {
        throw Refusal(std::string("the ") + what + " '" + trimmed + "' is longer than " +
                      std::to_string(width) + " characters");
    }
    return trimmed;
}

void WriteDocumentDefaults(Connection& db, std::int32_t company, const std::string& document,
                           const ConfigurationChanges& changes) {
    // The document code is bound as a parameter by the recordset; here it only selects.
    auto defaults =
        db.OpenRecordset("SELECT * FROM MG3G_DOCDITTA WHERE MG3G_DITTA_CG18 = " + Code(company) +
                         " AND MG3G_CODDOCUM_MG36 = " + detail::Quoted(document));
    if (defaults->Eof()) {
        defaults->AddNew();
        defaults->SetValue("MG3G_DITTA_CG18", company);
        defaults->SetValue("MG3G_CODDOCUM_MG36", document);
    }
    if (changes.section) {
        defaults->SetValue("MG3G_SEZDEFAULT", Checked("section", *changes.section, 10));
    }
    if (changes.warehouse) {
        defaults->SetValue("MG3G_DEPDEFAULT_MG58", Checked("warehouse", *changes.warehouse, 10));
    }
    defaults->Update();
}

LastRetrieval LastRetrievalOf(const Variant& outcome) {
    if (outcome.IsNull() || outcome.IsEmpty()) {
        return LastRetrieval::None;
    }
    return outcome.ToLong() == retrieval_outcome::kNewDocuments ? LastRetrieval::NewDocuments
                                                                : LastRetrieval::NothingNew;
}

} // namespace

bool CompanyRegistered(Connection& db, std::int32_t company) {
    return !db.Query("SELECT CG18_CODICE FROM CG18_DITTA WHERE CG18_CODICE = " + Code(company))
                ->Eof();
}

bool RegisterCompany(Connection& db, std::int32_t company, const std::string& vatNumber) {
    auto rs = db.OpenRecordset("SELECT * FROM CG18_DITTA WHERE CG18_CODICE = " + Code(company));
    if (!rs->Eof()) {
        return false;
    }
    rs->AddNew();
    rs->SetValue("CG18_CODICE", company);
    rs->SetValue("CG18_PARTIVA", vatNumber);
    rs->Update();
    return true;
}

bool HasConfiguration(Connection& db, std::int32_t company) {
    return !db.Query("SELECT IE90_DITTA_CG18 FROM IE90_CONFIGNSO WHERE IE90_DITTA_CG18 = " +
                     Code(company))
                ->Eof();
}

Configuration ReadConfiguration(CLSIE_NSO& nso) {
    Configuration configuration;
    auto row = detail::Db(nso).Query(
        "SELECT IE90_ESITO_IMPORT FROM IE90_CONFIGNSO WHERE IE90_DITTA_CG18 = " +
        detail::Company(nso));
    if (row->Eof()) {
        return configuration;
    }
    configuration.exists = true;
    configuration.lastRetrieval = LastRetrievalOf(row->Value("IE90_ESITO_IMPORT"));
    // Inizializza leaves Stato as it finds it when the configuration is whole: cleared first, it
    // tells about this configuration only.
    nso.SetStato(kaOK);
    nso.SetErrore(std::string());
    nso.Inizializza();
    configuration.document = nso.Param_CodiceDocumento();
    configuration.layout = nso.Param_Tracciato();
    configuration.hasDefaults =
        !configuration.document.empty() &&
        nso.RecuperaSezionaleDepositoDefault(configuration.document, configuration.section,
                                             configuration.warehouse);
    configuration.firstDate = nso.Param_DataImport();
    configuration.retrievalStart = nso.RetrievalStartDate();
    if (nso.Stato() != kaOK) {
        configuration.problem = nso.Errore().Text();
    }
    return configuration;
}

void WriteConfiguration(Connection& db, std::int32_t company, const ConfigurationChanges& changes) {
    auto config =
        db.OpenRecordset("SELECT * FROM IE90_CONFIGNSO WHERE IE90_DITTA_CG18 = " + Code(company));
    if (config->Eof()) {
        config->AddNew();
        config->SetValue("IE90_DITTA_CG18", company);
    }
    if (changes.document) {
        config->SetValue("IE90_CODDOCUM_MG3G", Checked("document code", *changes.document, 10));
    }
    if (changes.layout) {
        config->SetValue("IE90_TRACCIATO_IE25", Checked("import layout", *changes.layout, 20));
    }
    if (changes.firstDate) {
        config->SetValue("IE90_DATAORA_IMPORT", *changes.firstDate);
    }
    const std::string document = Trim(config->Value("IE90_CODDOCUM_MG3G").Text());
    const bool defaults = changes.section || changes.warehouse;
    if (defaults && document.empty()) {
        config->CancelUpdate();
        throw Refusal("a default section and warehouse belong to a document code: set the "
                      "document code too");
    }
    TransactionScope transaction(db);
    config->Update();
    if (defaults) {
        WriteDocumentDefaults(db, company, document, changes);
    }
    transaction.Commit();
}

} // namespace kvad::read_model
