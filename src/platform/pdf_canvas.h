#pragma once
// A PDF document being drawn page by page: wrapped and aligned text in a font that covers
// accented and non-Latin letters, lines and shaded boxes. Coordinates are points from the top
// left corner of the page. cairo and pango stay behind this header.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kvad::platform {

enum class Align { Left, Center, Right };

/// How a piece of text looks.
struct TextStyle {
    double size = 8; ///< points
    bool bold = false;
    bool italic = false;
    double grey = 0; ///< 0 black, 1 white
};

/// A piece of text with its look; a block of text is a list of them.
struct Span {
    std::string text;
    TextStyle style;
};
using RichText = std::vector<Span>;

/// Where and how a block of text is laid out.
struct TextBox {
    double width = 0;
    Align align = Align::Left;
    double maxHeight = 0; ///< above 0: longer text is cut there with an ellipsis
};

class PdfCanvas {
  public:
    /// The font family every text is set in.
    static constexpr const char* kFontFamily = "DejaVu Sans";

    /// Starts a document of pages of this size (points), with its title in the metadata.
    /// Throws std::runtime_error when the font family is not installed.
    PdfCanvas(double pageWidth, double pageHeight, const std::string& title);
    PdfCanvas(const PdfCanvas&) = delete;
    PdfCanvas& operator=(const PdfCanvas&) = delete;
    PdfCanvas(PdfCanvas&&) = delete;
    PdfCanvas& operator=(PdfCanvas&&) = delete;
    ~PdfCanvas();

    /// The height a block takes when laid out in `box`.
    [[nodiscard]] double Height(const RichText& text, const TextBox& box);
    /// The width of one line of text, unwrapped.
    [[nodiscard]] double Width(const std::string& text, const TextStyle& style);
    /// Draws a block with its top left corner at (x, y); returns its height.
    double Draw(double x, double y, const RichText& text, const TextBox& box);

    void Line(double x1, double y1, double x2, double y2, double lineWidth, double grey);
    void FillRect(double x, double y, double width, double height, double grey);
    void StrokeRect(double x, double y, double width, double height, double lineWidth, double grey);

    /// Ends the current page; drawing goes on on a new one.
    void EndPage();
    /// Ends the document and returns its bytes. Throws std::runtime_error when cairo failed.
    [[nodiscard]] std::vector<std::uint8_t> Finish();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// A block of one look.
[[nodiscard]] inline RichText Plain(std::string text, const TextStyle& style) {
    return RichText{Span{std::move(text), style}};
}

} // namespace kvad::platform
