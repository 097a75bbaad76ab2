#pragma once
// File-system side of the folder inbox: which files a company folder holds, when they arrived,
// their text, and plain texts for the reasons a folder or file cannot be used.

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "kvad_nso/date_time.h"

namespace kvad::platform {

/// A failure of the folder inbox, with the text the service reports.
class InboxError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// A received file: a visible regular file of a company folder.
struct ReceivedFile {
    std::filesystem::path path;
    std::string name;
    std::filesystem::file_time_type modified;
};

/// True for a name that stays inside its folder and is not hidden: not empty, no "/" or NUL,
/// not starting with "." (which also rules out "." and "..").
[[nodiscard]] bool IsVisiblePlainName(std::string_view name) noexcept;

/// The files of `folder` modified at or after `since` (local time), sorted by modification
/// time, then name. Hidden files and anything that is not a regular file are skipped. Throws
/// InboxError naming the folder when it cannot be read.
[[nodiscard]] std::vector<ReceivedFile> ListReceivedFiles(const std::filesystem::path& folder,
                                                          const DateTime& since);

/// The text of a file in the encoding its first bytes give (see DetectEncoding), without a
/// byte-order mark; its bytes unchanged when they are in an encoding that cannot be read (the
/// reader of the text then finds them not to be UTF-8). Throws InboxError naming the file when
/// it cannot be read, or when its text would be larger than `maxText` bytes: before it is read
/// when its size says so, else as soon as the text grows past that size.
[[nodiscard]] std::string ReadDocumentText(const std::filesystem::path& file, std::size_t maxText);

/// A file time as local date and time, to the second.
[[nodiscard]] DateTime LocalTime(std::filesystem::file_time_type time);

/// The reason of a file-system error in plain words, for the common cases; the system's text
/// otherwise.
[[nodiscard]] std::string Reason(const std::error_code& ec);

/// Text in double quotes, for naming paths and ids in messages.
[[nodiscard]] std::string Quoted(std::string_view text);

} // namespace kvad::platform
