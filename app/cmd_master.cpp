// "nso master": the ERP master data that decoding reads, loaded from CSV files and listed.
#include <iostream>
#include <string>

#include "app/commands.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "app/work_lock.h"
#include "host/master_data.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

constexpr std::size_t kWidestCell = 40;

void PrintKinds() {
    std::cout << "Kinds of master data, in the order they refer to each other (key columns "
                 "marked *, required +):\n";
    for (const kvad::host::MasterKind& kind : kvad::host::MasterKinds()) {
        std::cout << "  " << Padded(kind.name, 18) << " " << kind.meaning << "\n"
                  << "  " << std::string(18, ' ') << " ";
        std::string columns;
        for (const kvad::host::MasterColumn& column : kind.columns) {
            columns += (columns.empty() ? "" : ", ") + column.name +
                       (column.key        ? "*"
                        : column.required ? "+"
                                          : "");
        }
        std::cout << columns << "\n";
    }
}

} // namespace

void RunMasterList(const Settings& settings, const std::string& kind, const std::string& search) {
    if (kind.empty()) {
        PrintKinds();
        return;
    }
    Session session = OpenSession(settings);
    const kvad::host::MasterListing listing =
        kvad::host::ListMasterData(*session.db, settings.company, kind, search);
    std::vector<std::size_t> widths;
    for (const std::string& column : listing.columns) {
        widths.push_back(kvad::Utf8Length(column));
    }
    for (const auto& row : listing.rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], std::min(kvad::Utf8Length(row[i]), kWidestCell));
        }
    }
    const auto print = [&](const std::vector<std::string>& row) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += Padded(row[i], widths[i]) + (i + 1 < row.size() ? "  " : "");
        }
        std::cout << kvad::RightTrim(line) << "\n";
    };
    print(listing.columns);
    for (const auto& row : listing.rows) {
        print(row);
    }
    std::cout << listing.rows.size() << " row(s) of " << kind << " for company " << settings.company
              << (search.empty() ? "" : " containing '" + search + "'") << "\n";
}

void RunMasterLoad(const Settings& settings, const MasterLoadOptions& options) {
    Session session = OpenSession(settings);
    // Decoding reads the master data: not changed while an order is processed or imported.
    const WorkLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Clerk,
                    "nso master load", options.waitSeconds);
    const std::size_t rows = kvad::host::LoadMasterDataFile(
        *session.db, settings.company, options.kind, options.file, options.encoding);
    std::cout << "loaded " << rows << " row(s) of " << options.kind << " from " << options.file
              << " for company " << settings.company << "\n";
}

} // namespace nsoapp
