// "nso config": shows and sets a company's import configuration (document code, import layout,
// first retrieval date) and the default section and warehouse of its document code.
#include <iostream>
#include <optional>
#include <stdexcept>

#include "app/commands.h"
#include "app/session.h"
#include "app/work_lock.h"
#include "kvad_nso/read_model/company.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

using kvad::read_model::Configuration;
using kvad::read_model::LastRetrieval;

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

std::string LastOutcome(LastRetrieval last) {
    switch (last) {
    case LastRetrieval::None:
        return "no retrieval yet";
    case LastRetrieval::NewDocuments:
        return "new documents stored";
    case LastRetrieval::NothingNew:
        return "nothing new";
    }
    return "";
}

void ShowConfiguration(Session& session, const Settings& settings) {
    const Configuration config = kvad::read_model::ReadConfiguration(*session.nso);
    std::cout << "Company " << settings.company << " (inbox folder IT" << settings.companyVat
              << ")\n";
    if (!config.exists) {
        std::cout << "  no configuration yet: `nso config set --document CODE --layout CODE` "
                     "writes one\n";
        return;
    }
    std::cout << "  document code:  " << (config.document.empty() ? "(missing)" : config.document);
    if (config.hasDefaults) {
        std::cout << "  (section " << (config.section.empty() ? "-" : config.section)
                  << ", warehouse " << (config.warehouse.empty() ? "-" : config.warehouse) << ")";
    } else if (!config.document.empty()) {
        std::cout << "  (no default section and warehouse: `nso config set --section S "
                     "--warehouse W`)";
    }
    std::cout << "\n  import layout:  " << (config.layout.empty() ? "(missing)" : config.layout)
              << "\n";
    std::cout << "  next retrieval: documents received since "
              << config.retrievalStart.ToDate().ToText()
              << " (last retrieval or first date: " << config.firstDate.Text() << ")\n";
    std::cout << "  last outcome:   " << LastOutcome(config.lastRetrieval) << "\n";
    if (!config.problem.empty()) {
        std::cout << "  warning: " << config.problem << "\n";
    }
}

void SetConfiguration(Session& session, const Settings& settings, const ConfigOptions& options) {
    RequireWritable(session, settings);
    // Processing and import read the configuration: not changed while they run.
    const WorkLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Clerk,
                    "nso config set", options.waitSeconds);
    kvad::read_model::ConfigurationChanges changes;
    if (options.from) {
        changes.firstDate = kvad::DateTime::Parse(kvad::Trim(*options.from));
        if (!changes.firstDate) {
            throw std::runtime_error("--from '" + *options.from +
                                     "' is not a date (dd/mm/yyyy or yyyy-mm-dd)");
        }
    }
    if (options.document) {
        changes.document = Required("--document", *options.document, 10);
    }
    if (options.layout) {
        changes.layout = Required("--layout", *options.layout, 20);
    }
    if (options.section) {
        changes.section = Required("--section", *options.section, 10);
    }
    if (options.warehouse) {
        changes.warehouse = Required("--warehouse", *options.warehouse, 10);
    }
    if ((changes.section || changes.warehouse) && !changes.document &&
        kvad::read_model::ReadConfiguration(*session.nso).document.empty()) {
        throw std::runtime_error("--section and --warehouse belong to a document code: give "
                                 "--document too");
    }
    kvad::read_model::WriteConfiguration(*session.db, settings.company, changes);
    ShowConfiguration(session, settings);
}

} // namespace

void RunConfig(const Settings& settings, const ConfigOptions& options) {
    Session session = OpenSession(settings);
    if (options.set) {
        SetConfiguration(session, settings, options);
    } else {
        ShowConfiguration(session, settings);
    }
}

} // namespace nsoapp
