#include "literal_parameters.h"

#include <algorithm>
#include <array>
#include <functional>

#include "kvad_nso/date_time.h"
#include "quote_identifier.h"
#include "sql_scan.h"

namespace kvad::db {

namespace {

constexpr char kMarker = '\x01';
/// The marker of a date literal: a statement with a date in a place shares no shape with one
/// holding another kind of text there.
constexpr char kDateMarker = '\x02';
constexpr std::size_t kMaxDigits = 9;

/// The characters that go on a T-SQL word: IsWordChar, and '@' (a variable) or '#' (a
/// temporary table). A table, as the scan reads most of a statement's characters in words.
constexpr std::array<bool, 256> kTsqlWordChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[static_cast<std::size_t>(c)] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                             (c >= '0' && c <= '9') || c == '_' || c == '$' ||
                                             c == '@' || c == '#' || c >= 0x80;
    }
    return table;
}();

bool IsTsqlWordChar(char c) {
    return kTsqlWordChars[static_cast<unsigned char>(c)];
}

/// Moves `i` past a run closed by `close`, where a doubled `close` stands for itself; false
/// when the run is not closed.
bool SkipQuoted(std::string_view text, std::size_t& i, char close) {
    ++i;
    while (true) {
        const std::size_t found = text.find(close, i);
        if (found == std::string_view::npos) {
            return false;
        }
        if (found + 1 < text.size() && text[found + 1] == close) {
            i = found + 2;
            continue;
        }
        i = found + 1;
        return true;
    }
}

/// True for text at `i` that this scan does not read with certainty: a parameter, a comment (a
/// statement holding a marker is refused before the scan).
bool IsUncertain(std::string_view text, std::size_t i) {
    return text[i] == '?' || StartsComment(text, i);
}

/// Where the symbol at `i` ends: after one of the two-character operators, else after one
/// character.
std::size_t SymbolEnd(std::string_view text, std::size_t i) {
    static constexpr std::array<std::string_view, 6> kPairs = {"<>", "!=", "<=", ">=", "!<", "!>"};
    const std::string_view two = text.substr(i, 2);
    return i + (std::find(kPairs.begin(), kPairs.end(), two) != kPairs.end() ? 2 : 1);
}

/// The token at `i`, which is no blank; nullopt for a quoted run that is not closed.
std::optional<TokenSpan> TokenAt(std::string_view text, std::size_t i) {
    const char c = text[i];
    if (c == '\'' || c == '"' || c == '[') {
        std::size_t end = i;
        if (!SkipQuoted(text, end, c == '[' ? ']' : c)) {
            return std::nullopt;
        }
        return TokenSpan{c == '\'' ? TokenKind::String : TokenKind::Name, i, end};
    }
    if (StartsNumber(text, i)) {
        return TokenSpan{TokenKind::Number, i, NumberEnd(text, i)};
    }
    if (IsWordStart(c) || c == '@' || c == '#') {
        std::size_t end = i + 1;
        while (end < text.size() && IsTsqlWordChar(text[end])) {
            ++end;
        }
        return TokenSpan{TokenKind::Word, i, end};
    }
    return TokenSpan{TokenKind::Symbol, i, SymbolEnd(text, i)};
}

std::string_view TextOf(std::string_view text, const TokenSpan& token) {
    return text.substr(token.begin, token.end - token.begin);
}

bool IsComparison(std::string_view symbol) {
    // =, <, >, <>, !=, <=, >= (by characters: this is asked for every literal of a statement)
    if (symbol.size() == 1) {
        return symbol[0] == '=' || symbol[0] == '<' || symbol[0] == '>';
    }
    return symbol.size() == 2 && ((symbol[0] == '<' && (symbol[1] == '>' || symbol[1] == '=')) ||
                                  (symbol[1] == '=' && (symbol[0] == '!' || symbol[0] == '>')));
}

/// A whole number the parameter can stand for: digits only, no leading zero, int range.
bool IsPlainInteger(std::string_view number) {
    if (number.empty() || number.size() > kMaxDigits || (number.size() > 1 && number[0] == '0')) {
        return false;
    }
    for (const char c : number) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return true;
}

/// A '...' literal that reads as a code ('ART-5', 'ORD-2024-17'): a letter first, then letters,
/// digits and "-_./" only, within kMaxCodeLength. No such text is a date, a number or blank, nor
/// has a blank to trim, so the translation writes every one of them the same way.
bool IsPlainCode(std::string_view written) {
    if (written.size() < 3 || written.size() > kMaxCodeLength + 2) {
        return false;
    }
    const std::string_view inside = written.substr(1, written.size() - 2);
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (!letter(inside.front())) {
        return false;
    }
    return std::all_of(inside.begin(), inside.end(), [&](char c) {
        return letter(c) || IsDigit(c) || c == '-' || c == '_' || c == '.' || c == '/';
    });
}

/// A '...' literal that reads as a GUID (8-4-4-4-12 hexadecimal digits): no date, number or
/// blank either, whatever its first character.
bool IsPlainGuid(std::string_view written) {
    constexpr std::size_t kGuidLength = 36;
    if (written.size() != kGuidLength + 2) {
        return false;
    }
    for (std::size_t i = 0; i < kGuidLength; ++i) {
        const char c = written[i + 1];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (dash ? c != '-' : !hex) {
            return false;
        }
    }
    return true;
}

/// A '...' literal that reads as a date and time as the translation writes them
/// ('2025-01-02 00:00:00': a real day and time of the years 1753 to 9999, those SQL Server's
/// datetime holds): a date column compared with any such text is compared with the text itself.
bool IsPlainDate(std::string_view written) {
    static constexpr std::string_view kShape = "'dddd-dd-dd dd:dd:dd'";
    if (written.size() != kShape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == 'd' ? !IsDigit(written[i]) : written[i] != kShape[i]) {
            return false;
        }
    }
    constexpr int kFirstYear = 1753;
    const std::string_view text = written.substr(1, kShape.size() - 2);
    const auto date = DateTime::ParseIso(text);
    return date && date->IsValid() && date->year >= kFirstYear && date->ToIso() == text;
}

/// The words a statement that reads or writes rows begins with.
bool IsDataStatementWord(std::string_view word) {
    return EqualsNoCase(word, "SELECT") || EqualsNoCase(word, "INSERT") ||
           EqualsNoCase(word, "UPDATE") || EqualsNoCase(word, "DELETE") ||
           EqualsNoCase(word, "WITH");
}

/// The content of a '...' literal, doubled quotes made single.
std::string UnquoteLiteral(std::string_view written) {
    const std::string_view inside = written.substr(1, written.size() - 2);
    std::string text;
    text.reserve(inside.size());
    std::size_t copied = 0;
    for (std::size_t quote = inside.find('\''); quote != std::string_view::npos;
         quote = inside.find('\'', copied)) {
        text.append(inside.substr(copied, quote + 1 - copied)); // one quote of the pair
        copied = quote + 2;
    }
    text.append(inside.substr(std::min(copied, inside.size())));
    return text;
}

std::int64_t ParseDigits(std::string_view digits) {
    std::int64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
    }
    return value;
}

/// True when the first token after `i` closes a value of a list: "," or ")".
bool EndsListValue(std::string_view text, std::size_t i) {
    while (i < text.size() && IsSqlBlank(text[i])) {
        ++i;
    }
    return i < text.size() && (text[i] == ',' || text[i] == ')');
}

/// True when the value at `at` stands alone in a list: after "," or after a "(" that opens no
/// call (no name before it), and before "," or ")".
bool IsListValueAt(std::string_view text, std::size_t at, std::size_t length) {
    std::size_t before = at;
    while (before > 0 && IsSqlBlank(text[before - 1])) {
        --before;
    }
    if (before == 0 || (text[before - 1] != ',' && text[before - 1] != '(')) {
        return false;
    }
    if (text[before - 1] == '(') {
        // A name before the parenthesis calls a function with it, unless it is VALUES.
        std::size_t end = before - 1;
        while (end > 0 && IsSqlBlank(text[end - 1])) {
            --end;
        }
        std::size_t start = end;
        while (start > 0 && IsTsqlWordChar(text[start - 1])) {
            --start;
        }
        const std::string_view name = text.substr(start, end - start);
        if ((!name.empty() && !EqualsNoCase(name, "VALUES")) ||
            (end > 0 && (text[end - 1] == '"' || text[end - 1] == ']'))) {
            return false;
        }
    }
    return EndsListValue(text, at + length);
}

bool IsWholeNumberAt(std::string_view text, std::size_t at, std::size_t length) {
    return (at == 0 || !IsDigit(text[at - 1])) &&
           (at + length >= text.size() || !IsDigit(text[at + length]));
}

} // namespace

namespace {

/// A literal a parameter can stand for: its value, and how it is marked.
struct TakenLiteral {
    ParameterValue value;
    bool bare = false; ///< a text of any content from a VALUES list
    bool date = false; ///< a date compared with a column
};

/// The literal as a parameter's value when a parameter can stand for it; `listed` for a whole
/// value of a VALUES list.
std::optional<TakenLiteral> Classify(std::string_view tsql, const TokenSpan& literal, bool listed) {
    const std::string_view written = TextOf(tsql, literal);
    TakenLiteral taken;
    taken.date = !listed && literal.kind == TokenKind::String && IsPlainDate(written);
    if (literal.kind == TokenKind::Number && IsPlainInteger(written)) {
        taken.value = ParseDigits(written);
    } else if (literal.kind == TokenKind::String && listed) {
        // Any text, codes too: the column it goes into decides whether it is converted.
        taken.value = UnquoteLiteral(written);
        taken.bare = true;
    } else if (literal.kind == TokenKind::String &&
               (written.size() >= kLongLiteral + 2 || IsPlainCode(written) ||
                IsPlainGuid(written) || taken.date)) {
        taken.value = UnquoteLiteral(written);
    } else {
        return std::nullopt;
    }
    return taken;
}

/// Adds a literal taken out of the statement to `literals`, all but the key.
void AddValue(const TokenSpan& literal, TakenLiteral&& taken, LiteralParameters& literals) {
    if (literals.values.empty()) {
        // Room for a statement's usual few literals at once: most have one to four.
        constexpr std::size_t kUsualLiterals = 4;
        literals.values.reserve(kUsualLiterals);
        literals.spans.reserve(kUsualLiterals);
        literals.bare.reserve(kUsualLiterals);
        literals.dates.reserve(kUsualLiterals);
    }
    literals.values.push_back(std::move(taken.value));
    literals.spans.emplace_back(literal.begin, literal.end - literal.begin);
    literals.bare.push_back(taken.bare);
    literals.dates.push_back(taken.date);
}

/// Adds a literal taken out of the statement to `literals`, the text before it to the key.
void AddLiteral(std::string_view tsql, const TokenSpan& literal, TakenLiteral&& taken,
                LiteralParameters& literals, std::size_t& copied) {
    if (literals.key.empty()) {
        literals.key.reserve(tsql.size());
    }
    literals.key.append(tsql.substr(copied, literal.begin - copied));
    literals.key += taken.date ? kDateMarker : kMarker;
    copied = literal.end;
    AddValue(literal, std::move(taken), literals);
}

/// Takes `literal` out of the statement into `literals` when it is a value a parameter can
/// stand for; `listed` for a whole value of a VALUES list.
void TakeLiteral(std::string_view tsql, const TokenSpan& literal, bool listed,
                 LiteralParameters& literals, std::size_t& copied) {
    if (auto taken = Classify(tsql, literal, listed)) {
        AddLiteral(tsql, literal, std::move(*taken), literals, copied);
    }
}

/// True when the token after `left` and `op` follows a comparison of (or assignment to) a
/// name: "A_ID = ", "[B] <> ".
bool IsComparedValue(std::string_view tsql, const TokenSpan& left, const TokenSpan& op) {
    return op.kind == TokenKind::Symbol &&
           (left.kind == TokenKind::Word || left.kind == TokenKind::Name) &&
           IsComparison(TextOf(tsql, op));
}

/// Where the scan is among the statement's parentheses and its VALUES list.
struct ListPlace {
    int depth = 0;        ///< parentheses open
    int valuesDepth = -1; ///< parentheses open where VALUES was read; -1 before it

    /// True for a literal (a string or a number) that is a whole value of a VALUES row: right
    /// after the row's "(" or a ",", and before "," or ")".
    [[nodiscard]] bool IsListValue(std::string_view tsql, const TokenSpan& token,
                                   const TokenSpan& op) const {
        return valuesDepth >= 0 && depth == valuesDepth + 1 && op.kind == TokenKind::Symbol &&
               (TextOf(tsql, op) == "(" || TextOf(tsql, op) == ",") &&
               EndsListValue(tsql, token.end);
    }

    /// Follows the word VALUES and the parentheses.
    void Note(std::string_view tsql, const TokenSpan& token) {
        constexpr std::size_t kValuesLength = 6;
        if (token.kind == TokenKind::Word) {
            if (token.end - token.begin == kValuesLength &&
                EqualsNoCase(TextOf(tsql, token), "VALUES")) {
                valuesDepth = depth;
            }
        } else if (token.kind == TokenKind::Symbol && token.end - token.begin == 1) {
            depth += tsql[token.begin] == '(' ? 1 : tsql[token.begin] == ')' ? -1 : 0;
        }
    }
};

/// The two tokens before a token, and whether there were two.
struct Before {
    TokenSpan left;
    TokenSpan op;
    bool two = false;
};

/// Takes `token` out when it is a literal in a place a parameter can stand for it: compared
/// with a name, or a whole value of a VALUES row. Only strings and numbers are judged.
void TakeIfValue(std::string_view tsql, const TokenSpan& token, const Before& before,
                 const ListPlace& place, LiteralParameters& literals, std::size_t& copied) {
    if (token.kind != TokenKind::String && token.kind != TokenKind::Number) {
        return;
    }
    if (before.two && IsComparedValue(tsql, before.left, before.op)) {
        TakeLiteral(tsql, token, false, literals, copied);
    } else if (place.IsListValue(tsql, token, before.op)) {
        TakeLiteral(tsql, token, true, literals, copied);
    }
}

} // namespace

std::optional<LiteralParameters> FindLiteralParameters(std::string_view tsql) {
    // One pass over the tokens: each is judged by the two before it. Text this scan does not
    // read with certainty (comments, unclosed quotes, parameters, the marker) gives nothing.
    // Two memchr passes: find_first_of would call memchr once per character of the statement,
    // which carries a whole document when it stores one.
    if (tsql.find(kMarker) != std::string_view::npos ||
        tsql.find(kDateMarker) != std::string_view::npos) {
        return std::nullopt; // the key could not tell the marker from the text's own
    }
    LiteralParameters literals;
    std::size_t copied = 0;
    TokenSpan left{TokenKind::Symbol, 0, 0};
    TokenSpan op{TokenKind::Symbol, 0, 0};
    std::size_t read = 0;
    bool dataStatement = false;
    ListPlace place;
    std::size_t i = 0;
    while (i < tsql.size()) {
        if (IsSqlBlank(tsql[i])) {
            ++i;
            continue;
        }
        if (IsUncertain(tsql, i)) {
            return std::nullopt;
        }
        const auto token = TokenAt(tsql, i);
        if (!token) {
            return std::nullopt;
        }
        i = token->end;
        if (!dataStatement) {
            // The first token but leading ";" says whether the statement reads or writes rows.
            const bool semicolon = token->kind == TokenKind::Symbol && TextOf(tsql, *token) == ";";
            if (!semicolon) {
                if (token->kind != TokenKind::Word || !IsDataStatementWord(TextOf(tsql, *token))) {
                    return std::nullopt;
                }
                dataStatement = true;
            }
        }
        TakeIfValue(tsql, *token, {left, op, read >= 2}, place, literals, copied);
        place.Note(tsql, *token);
        left = op;
        op = *token;
        ++read;
    }
    if (literals.values.empty()) {
        return std::nullopt;
    }
    literals.key.append(tsql.substr(copied));
    return literals;
}

std::optional<LiteralParameters> LiteralShapes::Find(std::string_view tsql) {
    if (tsql.size() >= kStart && tsql.find(kMarker) == std::string_view::npos &&
        tsql.find(kDateMarker) == std::string_view::npos) {
        const auto bucket = byStart_.find(std::hash<std::string_view>{}(tsql.substr(0, kStart)));
        if (bucket != byStart_.end()) {
            for (const Shape& shape : bucket->second) {
                if (auto matched = Match(tsql, shape)) {
                    ++matches_;
                    return matched;
                }
            }
        }
    }
    auto found = FindLiteralParameters(tsql);
    if (found) {
        Keep(tsql, *found);
    }
    return found;
}

std::optional<LiteralParameters> LiteralShapes::Match(std::string_view tsql, const Shape& shape) {
    LiteralParameters literals;
    std::size_t at = 0;
    for (std::size_t k = 0; k < shape.kinds.size(); ++k) {
        const std::string& before = shape.between[k];
        if (tsql.compare(at, before.size(), before) != 0) {
            return std::nullopt;
        }
        at += before.size();
        if (at >= tsql.size()) {
            return std::nullopt;
        }
        // The literal, read as the scan reads a token; it must be of the shape's kind and be
        // taken out as the shape's was.
        const auto token = TokenAt(tsql, at);
        if (!token || token->kind != shape.kinds[k]) {
            return std::nullopt;
        }
        auto taken = Classify(tsql, *token, shape.bare[k]);
        if (!taken || taken->bare != shape.bare[k] || taken->date != shape.dates[k]) {
            return std::nullopt;
        }
        AddValue(*token, std::move(*taken), literals);
        at = token->end;
    }
    if (tsql.substr(std::min(at, tsql.size())) != shape.between.back()) {
        return std::nullopt;
    }
    // The text around the literals is the shape's, and so is the key.
    literals.key = shape.key;
    literals.keyHash = shape.keyHash;
    return literals;
}

void LiteralShapes::Keep(std::string_view tsql, const LiteralParameters& found) {
    if (found.spans.empty() || found.spans.front().first < kStart || found.key.size() > maxKey_) {
        return; // a literal within the start (the start would not find the shape), or too long
    }
    Shape shape;
    std::size_t end = 0;
    for (std::size_t k = 0; k < found.spans.size(); ++k) {
        const auto [at, length] = found.spans[k];
        shape.between.emplace_back(tsql.substr(end, at - end));
        shape.kinds.push_back(tsql[at] == '\'' ? TokenKind::String : TokenKind::Number);
        end = at + length;
    }
    shape.between.emplace_back(tsql.substr(end));
    shape.key = found.key;
    shape.keyHash = std::hash<std::string_view>{}(found.key);
    shape.bare = found.bare;
    shape.dates = found.dates;
    if (shapes_ >= kMaxShapes) {
        byStart_.clear();
        shapes_ = 0;
    }
    std::vector<Shape>& shapes = byStart_[std::hash<std::string_view>{}(tsql.substr(0, kStart))];
    if (shapes.size() >= kShapesPerStart) {
        shapes.pop_back();
        --shapes_;
    }
    shapes.insert(shapes.begin(), std::move(shape));
    ++shapes_;
}

std::string ReplaceLiterals(std::string_view tsql, const LiteralParameters& literals,
                            const std::vector<std::string>& replacements) {
    std::string text;
    text.reserve(tsql.size() + 16 * replacements.size());
    std::size_t copied = 0;
    for (std::size_t i = 0; i < literals.spans.size(); ++i) {
        const auto [at, length] = literals.spans[i];
        text.append(tsql.substr(copied, at - copied));
        text += replacements[i];
        copied = at + length;
    }
    text.append(tsql.substr(copied));
    return text;
}

std::vector<std::string> SentinelValues(std::string_view tsql, const LiteralParameters& literals) {
    std::vector<std::string> sentinels;
    // Ten-digit values within the int range and words of no language, unlike any value a
    // statement writes.
    std::int64_t candidate = 2000000011;
    int year = 1800;
    for (std::size_t i = 0; i < literals.values.size(); ++i) {
        const ParameterValue& value = literals.values[i];
        // A date compared with a column stands for dates only: its sentinel is a date too.
        const bool date = i < literals.dates.size() && literals.dates[i];
        while (true) {
            candidate += 1013;
            std::string text = std::holds_alternative<std::int64_t>(value)
                                   ? std::to_string(candidate)
                               : date ? "'" + std::to_string(++year) + "-03-07 11:13:17'"
                                      : "'kvad" + std::to_string(candidate) + "zq'";
            if (tsql.find(text) == std::string_view::npos) {
                sentinels.push_back(std::move(text));
                break;
            }
        }
    }
    return sentinels;
}

std::optional<std::string> ParameterizedSql(const std::string& original,
                                            const std::vector<std::string>& written,
                                            const std::string& withSentinels,
                                            const std::vector<std::string>& sentinels,
                                            const std::vector<bool>& bare) {
    if (withSentinels.find('?') != std::string::npos) {
        return std::nullopt;
    }
    // Where each sentinel went, in text order.
    std::vector<std::pair<std::size_t, std::size_t>> places; // offset, sentinel index
    for (std::size_t s = 0; s < sentinels.size(); ++s) {
        const std::size_t at = withSentinels.find(sentinels[s]);
        const bool number = IsDigit(sentinels[s].front());
        if (at == std::string::npos ||
            withSentinels.find(sentinels[s], at + 1) != std::string::npos ||
            (number && !IsWholeNumberAt(withSentinels, at, sentinels[s].size())) ||
            (s < bare.size() && bare[s] &&
             !IsListValueAt(withSentinels, at, sentinels[s].size()))) {
            return std::nullopt;
        }
        places.emplace_back(at, s);
    }
    std::sort(places.begin(), places.end());
    std::string restored;
    std::string parameterized;
    std::size_t copied = 0;
    for (const auto& [at, s] : places) {
        const std::string_view between(withSentinels.data() + copied, at - copied);
        restored.append(between).append(written[s]);
        parameterized.append(between).append("?" + std::to_string(s + 1));
        copied = at + sentinels[s].size();
    }
    restored.append(withSentinels, copied);
    parameterized.append(withSentinels, copied);
    if (restored != original) {
        return std::nullopt;
    }
    return parameterized;
}

} // namespace kvad::db
