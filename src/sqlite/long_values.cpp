#include "long_values.h"

#include <unistd.h>

#include "kvad_nso/errors.h"
#include "sqlite_error.h"

namespace kvad::db {

LongValues::~LongValues() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::optional<std::uint32_t> LongValues::Keep(std::string_view text) {
    if (text.size() < kMinBytes || unusable_) {
        return std::nullopt;
    }
    if (inRows_ + text.size() <= kInRowsBytes) {
        inRows_ += text.size();
        return std::nullopt;
    }
    if (file_ == nullptr) {
        file_ = std::tmpfile(); // removed by the system when closed
        if (file_ == nullptr) {
            unusable_ = true;
            return std::nullopt;
        }
        // Texts are appended through a large buffer: few writes for many rows.
        std::setvbuf(file_, nullptr, _IOFBF, std::size_t{1} << 20);
    }
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
        unusable_ = true; // a full disk: the texts from here on stay in their rows
        return std::nullopt;
    }
    unflushed_ = true;
    spans_.emplace_back(end_, text.size());
    end_ += text.size();
    return static_cast<std::uint32_t>(spans_.size() - 1);
}

std::string LongValues::Read(std::uint32_t handle) {
    const auto [offset, size] = spans_.at(handle);
    if (unflushed_) {
        if (std::fflush(file_) != 0) {
            throw DbError("A long value of the recordset cannot be read back from its file.",
                          "HY000", std::string(), kProviderSource);
        }
        unflushed_ = false;
    }
    std::string text(size, '\0');
    std::size_t read = 0;
    while (read < size) {
        const ssize_t n = pread(fileno(file_), text.data() + read, size - read,
                                static_cast<off_t>(offset + read));
        if (n <= 0) {
            throw DbError("A long value of the recordset cannot be read back from its file.",
                          "HY000", std::string(), kProviderSource);
        }
        read += static_cast<std::size_t>(n);
    }
    return text;
}

} // namespace kvad::db
