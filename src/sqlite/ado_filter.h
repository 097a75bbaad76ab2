#pragma once
// ADO filter text ("TMP_IMG_SEL = 1", "ID_PADRE = NULL AND (A = 2 OR A = 4)") parsed once and
// evaluated on rows.

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "kvad_nso/variant.h"

namespace kvad::db {

struct RowSet;

/// A parsed filter: comparisons (= <> < > <= >= LIKE) of a field with a literal ('text' with
/// doubled quotes, #date#, number, NULL, TRUE, FALSE), joined by AND and OR, grouped by
/// parentheses. "= NULL" tests for Null, "<> NULL" for a value; text compares case-insensitively;
/// LIKE takes * or % as wildcards.
class AdoFilter {
  public:
    /// Parentheses nest at most this deep.
    static constexpr int kMaxNesting = 100;

    /// Parses the text against the recordset's fields. Throws VbError 3001 for text that is
    /// not a filter (or nests parentheses deeper than kMaxNesting) and VbError 3265 for an
    /// unknown field.
    [[nodiscard]] static AdoFilter Parse(std::string_view text, const RowSet& fields);

    /// True when the row's values pass (`values` by field; only the Columns() are read).
    /// Throws VbError 3001 when a field's value cannot be compared with its literal (text that
    /// is not a number against a number field).
    [[nodiscard]] bool Matches(const std::vector<const Variant*>& values) const;
    /// The fields the filter compares.
    [[nodiscard]] std::vector<int> Columns() const;
    /// The field and text of "field = 'text'" when the filter is that comparison, or a run of
    /// ANDs that starts with it: a row whose field is Null or another text (ignoring case)
    /// fails it, and nothing after it in the run is read.
    [[nodiscard]] std::optional<std::pair<int, std::string_view>> LeadingTextMatch() const;

  private:
    enum class Op { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual, Like };
    /// A comparison, or every operand of one run of ANDs or ORs: evaluation nests only as deep
    /// as the parentheses, however long the run.
    struct Node {
        enum class Kind { Compare, And, Or };
        Kind kind = Kind::Compare;
        int column = -1;
        Op op = Op::Equal;
        Variant literal;
        std::vector<int> operands;
    };
    class Parser;

    [[nodiscard]] bool Evaluate(int node, const std::vector<const Variant*>& values) const;
    [[nodiscard]] static bool Compare(const Variant& field, Op op, const Variant& literal);

    std::vector<Node> nodes_;
    int root_ = -1;
};

} // namespace kvad::db
