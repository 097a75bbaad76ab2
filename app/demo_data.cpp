#include "app/demo_data.h"

#include <iostream>

#include "host/master_data.h"
#include "kvad_nso/read_model/company.h"

namespace nsoapp {

void LoadDemoData(kvad::Connection& db, const Settings& settings) {
    for (const auto& [file, rows] : kvad::host::LoadDemoMasterData(db, settings.company)) {
        std::cout << "demo master data: " << file << ", " << rows << " row(s)\n";
    }
    if (kvad::read_model::HasConfiguration(db, settings.company)) {
        return;
    }
    kvad::read_model::ConfigurationChanges changes;
    changes.document = "OCL";
    changes.layout = "NSO";
    changes.firstDate = kvad::DateTime{2024, 1, 1};
    kvad::read_model::WriteConfiguration(db, settings.company, changes);
    std::cout << "configured company " << settings.company
              << ": document code OCL, import layout NSO, documents received since 31/12/2023\n";
}

} // namespace nsoapp
