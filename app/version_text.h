#pragma once
// What `nso --version` tells: nso's version, the schema version it writes and the versions of
// the libraries it runs on.

#include <string>
#include <vector>

namespace nsoapp {

/// A library nso runs on, with its version.
struct LibraryVersion {
    std::string name;
    std::string version;
};

/// The libraries nso runs on: a shared library's version as the loaded library reports it, a
/// header-only one's as it was compiled in. A database backend adds its client library here.
[[nodiscard]] std::vector<LibraryVersion> LibraryVersions();

/// The text of `nso --version` for nso `version`: its version and the schema version it writes
/// on the first line, then a library a line.
[[nodiscard]] std::string VersionText(const std::string& version);

} // namespace nsoapp
