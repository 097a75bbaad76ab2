#pragma once
// Import layouts (IE25_TRACCIATI, IE26_TRACCIATICAMPI): which decoded column fills which column
// of an ERP order's tables.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/connection.h"

namespace kvad::host {

/// Why the import object cannot make a document (an unusable layout, an order it refuses), with
/// its outcome code.
class ImportRefusal : public std::runtime_error {
  public:
    ImportRefusal(std::int32_t code, const std::string& text)
        : std::runtime_error(text), code_(code) {}
    [[nodiscard]] std::int32_t Code() const noexcept { return code_; }

  private:
    std::int32_t code_;
};

/// One field of a layout: `column` of `table` takes the decoded column `source`.
struct LayoutField {
    std::string table;
    std::string column;
    std::string source;
    /// The source holds the SQL literal of a text (the decoded note: N'...' with its apostrophes
    /// doubled, or null), and the ERP column takes the text it stands for.
    bool sourceIsLiteral = false;
};

/// The ERP tables of an order, in the order they are written.
inline constexpr const char* kHeaderTables[] = {"DO11_DOCTESTATA", "DO12_DOCTESTARIF",
                                                "DO13_DOCPIEDE"};
inline constexpr const char* kLineTables[] = {"DO30_DOCCORPO", "DO31_DOCCORPOORD"};

struct ImportLayout {
    std::string code;
    std::vector<LayoutField> fields;

    /// The decoded column that fills `column`, or "" when the layout does not fill it.
    [[nodiscard]] std::string SourceOf(std::string_view column) const;
    /// The fields of one table, in layout order.
    [[nodiscard]] std::vector<LayoutField> FieldsOf(std::string_view table) const;
};

/// Outcome codes of layout problems.
namespace outcome {
inline constexpr std::int32_t kUnknownLayout = 2;
inline constexpr std::int32_t kInvalidLayout = 3;
} // namespace outcome

/// Text as a SQL string literal: between single quotes, its own single quotes doubled.
[[nodiscard]] std::string SqlQuoted(std::string_view text);

/// Reads and checks a layout: every table is one of an order's, every column exists in its
/// table and is not one the import object fills itself, every source column exists in the
/// decoded header (header tables) or lines (line tables), and the columns the import needs are
/// filled. Throws ImportRefusal; database errors propagate.
[[nodiscard]] ImportLayout LoadImportLayout(Connection& db, const std::string& code);

} // namespace kvad::host
