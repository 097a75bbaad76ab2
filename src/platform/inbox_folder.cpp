#include "inbox_folder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>

namespace kvad::platform {

namespace fs = std::filesystem;

bool IsVisiblePlainName(std::string_view name) noexcept {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::vector<ReceivedFile> ListReceivedFiles(const fs::path& folder, const DateTime& since) {
    std::vector<ReceivedFile> files;
    std::error_code ec;
    auto it = fs::directory_iterator(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::string name = entry.path().filename().string();
        if (!IsVisiblePlainName(name)) {
            continue;
        }
        std::error_code entryEc;
        if (!entry.is_regular_file(entryEc)) {
            // Sub-folders, devices, and links that lead nowhere are not received documents.
            continue;
        }
        const auto modified = entry.last_write_time(entryEc);
        if (entryEc == std::errc::no_such_file_or_directory) {
            continue; // removed while the folder was being read
        }
        if (entryEc) {
            throw InboxError("File " + Quoted(entry.path().string()) +
                             " non leggibile: " + Reason(entryEc));
        }
        if (LocalTime(modified) >= since) {
            files.push_back({entry.path(), std::move(name), modified});
        }
    }
    if (ec) {
        throw InboxError("Cartella " + Quoted(folder.string()) + " non leggibile: " + Reason(ec));
    }
    std::sort(files.begin(), files.end(), [](const ReceivedFile& a, const ReceivedFile& b) {
        if (a.modified != b.modified) {
            return a.modified < b.modified;
        }
        return a.name < b.name;
    });
    return files;
}

std::string ReadFileBytes(const fs::path& file, std::size_t maxBytes) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec) {
        throw InboxError("File " + Quoted(file.string()) + " non leggibile: " + Reason(ec));
    }
    if (size > maxBytes) {
        throw InboxError("File " + Quoted(file.string()) + " troppo grande (" +
                         std::to_string(size) + " byte, limite " + std::to_string(maxBytes) +
                         " byte)");
    }
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        const int error = errno != 0 ? errno : EIO;
        throw InboxError("File " + Quoted(file.string()) + " non leggibile: " +
                         Reason(std::error_code(error, std::generic_category())));
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(size));
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw InboxError("File " + Quoted(file.string()) + " non leggibile: errore di lettura");
    }
    return content;
}

DateTime LocalTime(fs::file_time_type time) {
    const auto sys = std::chrono::file_clock::to_sys(time);
    const std::time_t seconds = static_cast<std::time_t>(
        std::chrono::floor<std::chrono::seconds>(sys).time_since_epoch().count());
    std::tm local{};
    localtime_r(&seconds, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string Reason(const std::error_code& ec) {
    if (ec == std::errc::no_such_file_or_directory) {
        return "non esiste";
    }
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted) {
        return "accesso negato";
    }
    if (ec == std::errc::not_a_directory) {
        return "non è una cartella";
    }
    return ec.message();
}

std::string Quoted(std::string_view text) {
    return std::string("\"").append(text).append("\"");
}

} // namespace kvad::platform
