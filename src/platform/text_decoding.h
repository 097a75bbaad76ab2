#pragma once
// A received file's bytes turned into text (UTF-8), the way an XML parser reads them: a
// byte-order mark first, then the layout of the first characters, then the XML declaration.

#include <string>

namespace kvad::platform {

/// The file's text and, when its bytes could not be turned into text, why.
struct DecodedText {
    /// UTF-8 text without a byte-order mark; the bytes unchanged when they could not be decoded
    /// (the reader of the text then finds them not to be UTF-8).
    std::string text;
    /// The encoding the bytes were read in ("UTF-8" when nothing says otherwise).
    std::string encoding;
    /// Empty when decoded; otherwise why not (an encoding iconv does not know, or bytes that are
    /// not valid in it).
    std::string problem;
};

/// Decodes a file following its byte-order mark (UTF-8, UTF-16 and UTF-32 in either byte order),
/// or, without one, the layout of "<?" in UTF-16 or UTF-32, or the encoding its XML declaration
/// names (ISO-8859-1, windows-1252 and whatever else iconv knows); UTF-8 otherwise.
[[nodiscard]] DecodedText DecodeDocument(const std::string& bytes);

} // namespace kvad::platform
