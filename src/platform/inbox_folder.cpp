#include "inbox_folder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <fstream>

#include "text_decoding.h"

namespace kvad::platform {

namespace fs = std::filesystem;

namespace {

/// Enough of a file to find its byte-order mark and its XML declaration.
constexpr std::size_t kHeadBytes = 1024;
/// The piece of a file converted at a time.
constexpr std::size_t kPieceBytes = std::size_t{1} << 16U;

std::string Megabytes(std::size_t bytes) {
    return std::to_string(bytes / (std::size_t{1024} * 1024)) + " MiB";
}

[[noreturn]] void FailTooLarge(const fs::path& file, std::uintmax_t size, std::size_t maxText) {
    throw InboxError("the file " + Quoted(file.string()) + " (" + std::to_string(size) +
                     " bytes) holds more text than the " + Megabytes(maxText) +
                     " a document may have");
}

[[noreturn]] void FailUnreadable(const fs::path& file, const std::string& reason) {
    throw InboxError("the file " + Quoted(file.string()) + " cannot be read: " + reason);
}

/// An open file, its size and its reads, each failure told naming the file.
class InputFile {
  public:
    explicit InputFile(const fs::path& file) : path_(file) {
        std::error_code ec;
        size_ = fs::file_size(file, ec);
        if (ec) {
            FailUnreadable(file, Reason(ec));
        }
        errno = 0;
        in_.open(file, std::ios::binary);
        if (!in_) {
            FailUnreadable(
                file, Reason(std::error_code(errno != 0 ? errno : EIO, std::generic_category())));
        }
    }

    [[nodiscard]] std::uintmax_t Size() const noexcept { return size_; }

    /// Up to `count` more bytes; fewer only at the end of the file.
    std::string Read(std::size_t count) {
        std::string bytes(count, '\0');
        in_.read(bytes.data(), static_cast<std::streamsize>(count));
        if (in_.bad()) {
            FailUnreadable(path_, "a read error");
        }
        bytes.resize(static_cast<std::size_t>(in_.gcount()));
        return bytes;
    }

    /// The file again from its start.
    void Rewind() {
        in_.clear();
        in_.seekg(0);
    }

  private:
    fs::path path_;
    std::uintmax_t size_ = 0;
    std::ifstream in_;
};

/// The whole file as it is, when its bytes alone fit in the text a document may have.
std::string ReadBytes(InputFile& in, const fs::path& file, std::size_t maxText) {
    if (in.Size() > maxText) {
        FailTooLarge(file, in.Size(), maxText);
    }
    in.Rewind();
    return in.Read(static_cast<std::size_t>(in.Size()));
}

/// The file's text converted piece by piece from its encoding; its bytes unchanged when the
/// encoding is unknown or the bytes are not valid in it.
std::string ConvertedText(InputFile& in, const fs::path& file, const std::string& head,
                          const DocumentEncoding& encoding, std::size_t maxText) {
    // The text may take as many bytes as the file (four-byte characters of UTF-32), never more
    // than its limit: room for that much is made once.
    TextConverter converter(encoding.name, maxText, static_cast<std::size_t>(in.Size()));
    if (!converter.Known()) {
        return ReadBytes(in, file, maxText);
    }
    try {
        bool valid = converter.Add(std::string_view(head).substr(encoding.mark), false);
        for (std::string piece; valid && !(piece = in.Read(kPieceBytes)).empty();) {
            valid = converter.Add(piece, false);
        }
        if (valid && converter.Add({}, true)) {
            return converter.Take();
        }
    } catch (const TextTooLarge&) {
        FailTooLarge(file, in.Size(), maxText);
    }
    return ReadBytes(in, file, maxText);
}

} // namespace

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
            FailUnreadable(entry.path(), Reason(entryEc));
        }
        if (LocalTime(modified) >= since) {
            files.push_back({entry.path(), std::move(name), modified});
        }
    }
    if (ec) {
        throw InboxError("the folder " + Quoted(folder.string()) +
                         " cannot be read: " + Reason(ec));
    }
    std::sort(files.begin(), files.end(), [](const ReceivedFile& a, const ReceivedFile& b) {
        if (a.modified != b.modified) {
            return a.modified < b.modified;
        }
        return a.name < b.name;
    });
    return files;
}

std::string ReadDocumentText(const fs::path& file, std::size_t maxText) {
    InputFile in(file);
    std::string head = in.Read(kHeadBytes);
    const DocumentEncoding encoding = DetectEncoding(head);
    // The size the file had when it was opened: one that grows meanwhile is read as far as it
    // had come.
    const std::uintmax_t size = std::max<std::uintmax_t>(in.Size(), head.size());
    if (size - encoding.mark > std::uintmax_t{maxText} * encoding.bytesPerTextByte) {
        FailTooLarge(file, size, maxText);
    }
    if (encoding.name != "UTF-8") {
        return ConvertedText(in, file, head, encoding, maxText);
    }
    // UTF-8 is the text itself: read whole, without its mark.
    std::string text = head.substr(encoding.mark);
    text += in.Read(static_cast<std::size_t>(size - head.size()));
    return text;
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
        return "it does not exist";
    }
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted) {
        return "this user may not read it";
    }
    if (ec == std::errc::not_a_directory) {
        return "it is not a folder";
    }
    return ec.message();
}

std::string Quoted(std::string_view text) {
    return std::string("\"").append(text).append("\"");
}

} // namespace kvad::platform
