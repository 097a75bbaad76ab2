#include "app/version_text.h"

#include <csv.h>
#include <gmp.h>
#include <libpq-fe.h>
#include <libxml/globals.h>
#include <pango/pango.h>
#include <sodium.h>
#include <sqlite3.h>

#include <CLI/Version.hpp>
#include <cairo.h>
#include <nlohmann/json_fwd.hpp>
#include <toml++/impl/version.h>

#include "sqlite/sqlite_database.h"

namespace nsoapp {
namespace {

/// libxml2 tells its version as one number, 20914 for 2.9.14.
std::string DottedLibxmlVersion(const char* number) {
    try {
        const int value = std::stoi(number);
        return std::to_string(value / 10000) + "." + std::to_string(value / 100 % 100) + "." +
               std::to_string(value % 100);
    } catch (const std::exception&) {
        return number;
    }
}

/// libpq tells its version as one number, 150005 for 15.5 (from version 10 on).
std::string DottedLibpqVersion(int number) {
    return std::to_string(number / 10000) + "." + std::to_string(number % 10000);
}

std::string Dotted(int major, int minor, int patch) {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

} // namespace

std::vector<LibraryVersion> LibraryVersions() {
    return {
        {"SQLite", sqlite3_libversion()},
        {"libxml2", DottedLibxmlVersion(xmlParserVersion)},
        {"libpq", DottedLibpqVersion(PQlibVersion())},
        {"cairo", cairo_version_string()},
        {"pango", pango_version_string()},
        {"GMP", gmp_version},
        {"libcsv", Dotted(CSV_MAJOR, CSV_MINOR, CSV_RELEASE)},
        {"CLI11", CLI11_VERSION},
        {"toml++", Dotted(TOML_LIB_MAJOR, TOML_LIB_MINOR, TOML_LIB_PATCH)},
        {"nlohmann/json", Dotted(NLOHMANN_JSON_VERSION_MAJOR, NLOHMANN_JSON_VERSION_MINOR,
                                 NLOHMANN_JSON_VERSION_PATCH)},
        {"libsodium", sodium_version_string()},
        {"cpp-httplib", KVAD_HTTPLIB_VERSION},
    };
}

std::string VersionText(const std::string& version) {
    std::string text = "nso " + version + " (writes database schema version " +
                       std::to_string(kvad::db::LatestSchemaVersion()) + ")";
    for (const LibraryVersion& library : LibraryVersions()) {
        text += "\n" + library.name + " " + library.version;
    }
    return text;
}

} // namespace nsoapp
