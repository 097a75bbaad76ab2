#pragma once
// A received file's bytes turned into text (UTF-8), the way an XML parser reads them: a
// byte-order mark first, then the layout of the first characters, then the XML declaration.
// The bytes are converted piece by piece, so that no more text than a document may have is
// ever held.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kvad::platform {

/// The encoding a file's first bytes give.
struct DocumentEncoding {
    std::string name = "UTF-8"; ///< "UTF-8" when nothing says otherwise
    std::size_t mark = 0;       ///< bytes of a byte-order mark, which the text leaves out
    /// The most bytes of the file one byte of its text can take: 1 in UTF-8 and the one-byte
    /// encodings, 2 in UTF-16, 4 in UTF-32 and any other encoding.
    std::size_t bytesPerTextByte = 1;
};

/// The encoding of a file that begins with `head` (its first kilobyte is enough): its
/// byte-order mark (UTF-8, UTF-16 and UTF-32 in either byte order), or without one the layout
/// of "<?" in UTF-16 or UTF-32, or the encoding its XML declaration names (ISO-8859-1,
/// windows-1252 and whatever else iconv knows); UTF-8 otherwise.
[[nodiscard]] DocumentEncoding DetectEncoding(std::string_view head);

/// Text that would be larger than the converter may hold.
class TextTooLarge : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// Converts bytes of one encoding to UTF-8, piece by piece (a character cut between two pieces
/// is joined), holding at most `maxText` bytes of text.
class TextConverter {
  public:
    /// `expected`: about how much text is coming (room is made for it at once, up to
    /// `maxText`, so that the text never grows by copying itself).
    TextConverter(const std::string& from, std::size_t maxText, std::size_t expected);
    TextConverter(const TextConverter&) = delete;
    TextConverter& operator=(const TextConverter&) = delete;
    TextConverter(TextConverter&&) = delete;
    TextConverter& operator=(TextConverter&&) = delete;
    ~TextConverter();

    /// False for an encoding iconv does not know.
    [[nodiscard]] bool Known() const noexcept;
    /// Converts the next piece (`last` for the final one); false when the bytes are not valid
    /// in the encoding. Throws TextTooLarge when the text grows past its limit.
    bool Add(std::string_view bytes, bool last);
    /// The text converted so far.
    [[nodiscard]] std::string Take() { return std::move(text_); }

  private:
    void* cd_;
    std::size_t maxText_;
    std::string pending_; ///< the start of a character cut at the end of the last piece
    std::string text_;
};

} // namespace kvad::platform
