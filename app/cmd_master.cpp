// "nso master": the ERP master data that decoding reads, loaded from CSV files and listed.
#include <iostream>
#include <memory>
#include <string>

#include "app/commands.h"
#include "app/session.h"
#include "app/terminal_text.h"
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

void List(const Settings& settings, const std::string& kind, const std::string& search) {
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

struct LoadOptions {
    std::string kind;
    std::string file;
    std::string encoding;
};

void Load(const Settings& settings, const LoadOptions& options) {
    Session session = OpenSession(settings);
    const std::string& kind = options.kind;
    const std::string& file = options.file;
    const std::size_t rows =
        kvad::host::LoadMasterDataFile(*session.db, settings.company, kind, file, options.encoding);
    std::cout << "loaded " << rows << " row(s) of " << kind << " from " << file << " for company "
              << settings.company << "\n";
}

} // namespace

void AddMasterCommand(CLI::App& app, Settings& settings) {
    CLI::App* master = app.add_subcommand(
        "master", "The ERP master data that decoding reads: load it from CSV files, list it");
    master->require_subcommand(1);

    CLI::App* load = master->add_subcommand(
        "load", "Load a CSV file of one kind (all rows or none; `nso master list` names the "
                "kinds and their columns)");
    auto loadOptions = std::make_shared<LoadOptions>();
    load->add_option("KIND", loadOptions->kind, "Kind of master data (customers, items, ...)")
        ->required();
    load->add_option("FILE", loadOptions->file,
                     "CSV file with a header row naming its columns (at most 16 MiB)")
        ->required();
    load->add_option("--encoding", loadOptions->encoding,
                     "The file's encoding when it is not UTF-8 and has no byte-order mark "
                     "(ISO-8859-1, windows-1252, UTF-16LE, ... as `iconv -l` names them)")
        ->type_name("NAME");
    load->callback([&settings, loadOptions] { Load(settings, *loadOptions); });

    CLI::App* list = master->add_subcommand(
        "list", "Show the master data of a kind as a table (without KIND: the kinds)");
    auto listKind = std::make_shared<std::string>();
    auto search = std::make_shared<std::string>();
    list->add_option("KIND", *listKind, "Kind of master data");
    list->add_option("--search", *search, "Only rows with a cell containing TEXT (any case)")
        ->type_name("TEXT");
    list->callback([&settings, listKind, search] { List(settings, *listKind, *search); });
}

} // namespace nsoapp
