#include "app/demo_data.h"

#include <iostream>

#include "host/master_data.h"
#include "kvad_nso/recordset.h"

namespace nsoapp {

void LoadDemoData(kvad::Connection& db, const Settings& settings) {
    for (const auto& [file, rows] : kvad::host::LoadDemoMasterData(db, settings.company)) {
        std::cout << "demo master data: " << file << ", " << rows << " row(s)\n";
    }
    auto config = db.OpenRecordset("SELECT * FROM IE90_CONFIGNSO WHERE IE90_DITTA_CG18 = " +
                                   std::to_string(settings.company));
    if (!config->Eof()) {
        return;
    }
    config->AddNew();
    config->SetValue("IE90_DITTA_CG18", settings.company);
    config->SetValue("IE90_CODDOCUM_MG3G", "OCL");
    config->SetValue("IE90_TRACCIATO_IE25", "NSO");
    config->SetValue("IE90_DATAORA_IMPORT", kvad::DateTime{2024, 1, 1});
    config->Update();
    std::cout << "configured company " << settings.company
              << ": document code OCL, import layout NSO, documents received since 31/12/2023\n";
}

} // namespace nsoapp
