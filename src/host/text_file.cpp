#include "text_file.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "kvad_nso/errors.h"

namespace kvad::host {
namespace {

constexpr std::int32_t kPathNotFound = 76;
constexpr std::int32_t kPdfFolder = 5;

/// A name that stays inside its folder: no separator, not "." or "..".
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace

std::string DefaultCacheDir() {
    namespace fs = std::filesystem;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/') {
        return (fs::path(xdg) / "kvad_nso").string();
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return (fs::path(home) / ".cache" / "kvad_nso").string();
    }
    return (fs::path(".cache") / "kvad_nso").string();
}

std::string FixedFolderPath(const HostConfig& config, std::int32_t folder) {
    if (folder != kPdfFolder) {
        throw VbError(vberr::kInvalidArgument,
                      "Fixed folder " + std::to_string(folder) + " is not configured");
    }
    std::filesystem::path root = config.cacheDir.empty() ? DefaultCacheDir() : config.cacheDir;
    return (root / ("folder" + std::to_string(folder))).string();
}

void StandInTextFile::InitializeFromFixedFolder(std::int32_t folder, const std::string& fileName) {
    std::filesystem::path dir = FixedFolderPath(*config_, folder);
    if (!IsPlainFileName(fileName)) {
        throw VbError(vberr::kInvalidArgument, "Invalid file name \"" + fileName + "\"");
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        throw VbError(kPathNotFound, "Path not found: " + dir.string() +
                                         (ec ? " (" + ec.message() + ")" : std::string()));
    }
    completeFileName_ = (dir / fileName).string();
}

std::string StandInTextFile::CompleteFileName() const {
    if (completeFileName_.empty()) {
        ThrowObjectNotSet();
    }
    return completeFileName_;
}

} // namespace kvad::host
