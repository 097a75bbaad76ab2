#include "app/demo_data.h"

#include <iostream>
#include <system_error>
#include <vector>

#include "host/master_data.h"
#include "kvad_nso/read_model/company.h"

// The build names where the data is installed, relative to the program's folder, and the source
// tree's examples for a program run from its build folder.
#ifndef KVAD_DATA_FROM_BINARY
#define KVAD_DATA_FROM_BINARY "../share/kvad-nso"
#endif
#ifndef KVAD_SOURCE_EXAMPLES
#define KVAD_SOURCE_EXAMPLES ""
#endif

namespace nsoapp {

std::optional<std::filesystem::path> ExampleInbox() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    std::vector<fs::path> candidates;
    if (!ec) {
        candidates.push_back(program.parent_path() / KVAD_DATA_FROM_BINARY / "examples" / "inbox");
    }
    if (*KVAD_SOURCE_EXAMPLES != '\0') {
        candidates.push_back(fs::path(KVAD_SOURCE_EXAMPLES) / "inbox");
    }
    for (const fs::path& candidate : candidates) {
        if (fs::is_directory(candidate, ec)) {
            return candidate.lexically_normal();
        }
    }
    return std::nullopt;
}

void LoadDemoData(kvad::Connection& db, const Settings& settings) {
    for (const auto& [file, rows] : kvad::host::LoadDemoMasterData(db, settings.company)) {
        std::cout << "demo master data: " << file << ", " << rows << " row(s)\n";
    }
    if (const std::optional<std::filesystem::path> inbox = ExampleInbox()) {
        std::cout << "the example orders are in " << inbox->string() << ": `nso --inbox "
                  << inbox->string() << " run` takes them in\n";
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
