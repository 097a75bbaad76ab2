#pragma once
/// A company's set-up, read and written: its registration among the ERP's companies and its
/// import configuration (IE90_CONFIGNSO) with the default section and warehouse of its document
/// code (MG3G_DOCDITTA). The writes are what a host does before the component can work for the
/// company; each is whole or not at all.

#include <cstdint>
#include <optional>
#include <string>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/connection.h"
#include "kvad_nso/date_time.h"
#include "kvad_nso/variant.h"

namespace kvad::read_model {

/// Whether `company` is one of the ERP's companies (CG18_DITTA).
[[nodiscard]] bool CompanyRegistered(Connection& db, std::int32_t company);

/// Registers `company` with its VAT number (without the country prefix) unless it is already
/// registered; true when it was registered now.
bool RegisterCompany(Connection& db, std::int32_t company, const std::string& vatNumber);

/// Whether `company` has an import configuration row.
[[nodiscard]] bool HasConfiguration(Connection& db, std::int32_t company);

/// What the last retrieval found (IE90_ESITO_IMPORT).
enum class LastRetrieval { None, NewDocuments, NothingNew };

/// The component's company's import configuration as the component reads it (Inizializza).
struct Configuration {
    bool exists = false;      ///< the company has a configuration row
    std::string document;     ///< ERP document code of the imported orders, "" when missing
    std::string layout;       ///< import layout code, "" when missing
    bool hasDefaults = false; ///< the document code has a default section and warehouse
    std::string section;
    std::string warehouse;
    Variant firstDate;      ///< Param_DataImport: the last retrieval, or the first date given
    Variant retrievalStart; ///< the first day the next retrieval lists documents from
    LastRetrieval lastRetrieval = LastRetrieval::None;
    std::string problem; ///< the component's account of what is missing (Errore), "" when none
};

/// Reads the configuration through the component (Inizializza, RecuperaSezionaleDepositoDefault,
/// RetrievalStartDate), which leaves it in the Param_ properties; Stato and Errore are cleared
/// first, and then tell what is missing.
[[nodiscard]] Configuration ReadConfiguration(CLSIE_NSO& nso);

/// Changes to a company's configuration; a value left out stays as it is.
struct ConfigurationChanges {
    std::optional<std::string> document;  ///< up to 10 characters, not blank
    std::optional<std::string> layout;    ///< up to 20 characters, not blank
    std::optional<DateTime> firstDate;    ///< documents received from the day before it
    std::optional<std::string> section;   ///< of the document code, up to 10 characters
    std::optional<std::string> warehouse; ///< of the document code, up to 10 characters
};

/// Writes the changes in one transaction, making the configuration row when the company has
/// none. Throws Refusal, writing nothing, for a blank or too long value, or for a section or
/// warehouse without a document code (given or stored).
void WriteConfiguration(Connection& db, std::int32_t company, const ConfigurationChanges& changes);

} // namespace kvad::read_model
