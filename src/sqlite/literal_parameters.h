#pragma once
// Statements that differ only in the integers or codes they compare columns with ("... WHERE
// IE9A_ID_IE94 = 123", "... MG66_CODART = 'ART-5'"), or in a long text they assign (a
// document's XML), share one translation and one prepared statement: those values are taken out of
// the text and bound as parameters. A statement's shape is parameterized only when translating it
// with other values changes nothing but those values.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "sql_scan.h"
#include "sqlite_statement.h"

namespace kvad::db {

/// Text literals at least this long are parameters: no date, number or code is written so
/// long, so nothing in their content can change how the statement is translated.
inline constexpr std::size_t kLongLiteral = 1024;
/// Codes (a letter, then letters, digits and "-_./") up to this long are parameters too.
inline constexpr std::size_t kMaxCodeLength = 64;

/// The literals of a T-SQL statement that follow a comparison of (or assignment to) a column.
struct LiteralParameters {
    /// The statement with each of those literals replaced by a marker: the same for every
    /// statement that differs from it only in their values.
    std::string key;
    /// The literals' values, in the order written (a text without its quotes).
    std::vector<ParameterValue> values;
    /// Where each literal is in the statement (offset, length).
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    /// For each literal, whether it is a text of any content taken from an INSERT's VALUES
    /// list: it may stand for a parameter only where the translation writes it bare, as a
    /// value of the list (a text the translation converts, for a date or a number column,
    /// is converted by its content).
    std::vector<bool> bare;
    /// For each literal, whether it is a date compared with a column (its marker is a date's).
    std::vector<bool> dates;
    /// The key's hash (std::hash of the text) when the finder already had it; 0 when not.
    std::size_t keyHash = 0;
};

/// The literals of a SELECT, INSERT, UPDATE or DELETE statement that can be parameters,
/// written right after "=", "<>", "!=", "<", ">", "<=" or ">=" whose left side is a name: a
/// whole number of at most nine digits (no leading zero), a '...' code (a letter, then letters,
/// digits and "-_./", at most kMaxCodeLength), a '...' GUID (8-4-4-4-12 hexadecimal digits), or
/// a '...' text of kLongLiteral characters or more. Besides, the whole values of an INSERT's
/// VALUES list (a literal between "(" or "," and "," or ")"): such whole numbers, and texts of
/// any content, marked `bare`. Nullopt when there is none, or when the statement holds
/// comments, "?" or the marker.
[[nodiscard]] std::optional<LiteralParameters> FindLiteralParameters(std::string_view tsql);

/// FindLiteralParameters with a memory of the shapes it found. A statement of a shape found
/// before is read by comparing the text between the literals with the shape's and reading only
/// the literals, which gives what FindLiteralParameters gives: whether a literal is taken out is
/// decided by the tokens around it, which are the shape's own, and by the literal itself, which
/// is read as the scan reads it. Any other statement is scanned whole, and its shape kept.
class LiteralShapes {
  public:
    /// Keeps shapes whose key is at most `maxKey` long (a longer one is of no use to a caller
    /// that keeps no translation for it).
    explicit LiteralShapes(std::size_t maxKey) : maxKey_(maxKey) {}

    [[nodiscard]] std::optional<LiteralParameters> Find(std::string_view tsql);
    /// Statements read by a shape found before, so far.
    [[nodiscard]] std::size_t Matches() const noexcept { return matches_; }

  private:
    /// A statement's shape: the text before each literal taken out and after the last.
    struct Shape {
        std::string key;         ///< the key every statement of the shape has
        std::size_t keyHash = 0; ///< its hash
        std::vector<std::string> between;
        std::vector<TokenKind> kinds; ///< each literal's kind: a text or a number
        std::vector<bool> bare;       ///< each literal's `bare` (a text from a VALUES list)
        std::vector<bool> dates;      ///< each literal's `dates`
    };

    /// Shapes are found by the statement's first kStart characters, which their text before
    /// the first literal holds.
    static constexpr std::size_t kStart = 24;
    /// Shapes kept for statements of the same start, the latest first.
    static constexpr std::size_t kShapesPerStart = 8;
    /// Shapes kept; past this many the memory starts again.
    static constexpr std::size_t kMaxShapes = 512;

    [[nodiscard]] static std::optional<LiteralParameters> Match(std::string_view tsql,
                                                                const Shape& shape);
    void Keep(std::string_view tsql, const LiteralParameters& found);

    std::size_t maxKey_;
    std::unordered_map<std::size_t, std::vector<Shape>> byStart_; ///< by the start's hash
    std::size_t shapes_ = 0;                                      ///< in byStart_
    std::size_t matches_ = 0;
};

/// The statement with its literals replaced, one by one, by `replacements`.
[[nodiscard]] std::string ReplaceLiterals(std::string_view tsql, const LiteralParameters& literals,
                                          const std::vector<std::string>& replacements);

/// Literals to write in place of the statement's ones, each different from the others, of the
/// same kind (number or text) and found nowhere in `tsql`: a translation of the statement
/// written with them shows where each literal went.
[[nodiscard]] std::vector<std::string> SentinelValues(std::string_view tsql,
                                                      const LiteralParameters& literals);

/// The translation of the statement written with `sentinels` turned into a statement with
/// parameters ?1, ?2, ... in their place, checked against the translation of the statement as
/// written (`original`, with `written` the literals as written there): nullopt unless each
/// sentinel appears exactly once (a number as a whole number, a `bare` one as a value of a
/// list: after "," or a "(" that opens no call, before "," or ")"), and putting the literals
/// back in their places gives `original` exactly.
[[nodiscard]] std::optional<std::string> ParameterizedSql(const std::string& original,
                                                          const std::vector<std::string>& written,
                                                          const std::string& withSentinels,
                                                          const std::vector<std::string>& sentinels,
                                                          const std::vector<bool>& bare);

} // namespace kvad::db
