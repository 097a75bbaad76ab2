#pragma once
// The bytes of a file a clerk wrote, made UTF-8 text: converted (through iconv) from the
// encoding named or the one a byte-order mark gives, else checked to be UTF-8.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kvad::host {

/// Bytes that are not text in their encoding, with where they stand: the line and the
/// character on it, both from 1 (0 for a fault that is not at one place, such as an encoding
/// that is not known).
class EncodingError : public std::runtime_error {
  public:
    EncodingError(std::size_t line, std::size_t character, const std::string& reason)
        : std::runtime_error(reason), line_(line), character_(character) {}
    [[nodiscard]] std::size_t Line() const noexcept { return line_; }
    [[nodiscard]] std::size_t Character() const noexcept { return character_; }

  private:
    std::size_t line_;
    std::size_t character_;
};

/// The text of a file's bytes, without a byte-order mark: converted from `encoding` when one is
/// named, else from the UTF-16 or UTF-32 its byte-order mark gives, else taken as UTF-8 (the
/// bytes themselves, moved). Throws EncodingError for an encoding iconv does not know, bytes
/// that are not valid in the encoding, and text that holds a NUL character.
[[nodiscard]] std::string TextOfFile(std::string bytes, const std::string& encoding);

/// A byte as a user reads it in a message: "0xE8".
[[nodiscard]] std::string ByteName(unsigned char byte);

} // namespace kvad::host
