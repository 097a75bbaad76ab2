#include "literal_parameters.h"

#include <algorithm>
#include <array>

#include "quote_identifier.h"

namespace kvad::db {

namespace {

constexpr char kMarker = '\x01';
constexpr std::size_t kMaxDigits = 9;

struct Token {
    enum class Kind { Word, Name, String, Number, Symbol };
    Kind kind;
    std::size_t begin;
    std::size_t end;
};

bool IsWordStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '@' || c == '#' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool IsWordChar(char c) {
    return IsWordStart(c) || (c >= '0' && c <= '9') || c == '$';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
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

/// The statement's tokens; nullopt for text this scan does not read with certainty (comments,
/// unclosed quotes, parameters, the marker).
std::optional<std::vector<Token>> Scan(std::string_view text) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        const std::size_t begin = i;
        if (c == kMarker || c == '?' || (c == '-' && i + 1 < text.size() && text[i + 1] == '-') ||
            (c == '/' && i + 1 < text.size() && text[i + 1] == '*')) {
            return std::nullopt;
        }
        if (c == '\'' || c == '"' || c == '[') {
            if (!SkipQuoted(text, i, c == '[' ? ']' : c)) {
                return std::nullopt;
            }
            tokens.push_back({c == '\'' ? Token::Kind::String : Token::Kind::Name, begin, i});
        } else if (IsDigit(c) || (c == '.' && i + 1 < text.size() && IsDigit(text[i + 1]))) {
            while (i < text.size() && (IsWordStart(text[i]) || IsDigit(text[i]) || text[i] == '.' ||
                                       ((text[i] == '+' || text[i] == '-') &&
                                        (text[i - 1] == 'e' || text[i - 1] == 'E')))) {
                ++i;
            }
            tokens.push_back({Token::Kind::Number, begin, i});
        } else if (IsWordStart(c)) {
            while (i < text.size() && IsWordChar(text[i])) {
                ++i;
            }
            tokens.push_back({Token::Kind::Word, begin, i});
        } else {
            static constexpr std::array<std::string_view, 6> kPairs = {
                "<>", "!=", "<=", ">=", "!<", "!>"};
            std::size_t length = 1;
            for (std::string_view pair : kPairs) {
                if (text.substr(i, 2) == pair) {
                    length = 2;
                    break;
                }
            }
            i += length;
            tokens.push_back({Token::Kind::Symbol, begin, i});
        }
    }
    return tokens;
}

std::string_view TextOf(std::string_view text, const Token& token) {
    return text.substr(token.begin, token.end - token.begin);
}

bool IsComparison(std::string_view symbol) {
    return symbol == "=" || symbol == "<>" || symbol == "!=" || symbol == "<" || symbol == ">" ||
           symbol == "<=" || symbol == ">=";
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

bool StartsDataStatement(std::string_view text, const std::vector<Token>& tokens) {
    for (const Token& token : tokens) {
        if (token.kind == Token::Kind::Symbol && TextOf(text, token) == ";") {
            continue;
        }
        if (token.kind != Token::Kind::Word) {
            return false;
        }
        const std::string_view word = TextOf(text, token);
        return EqualsNoCase(word, "SELECT") || EqualsNoCase(word, "INSERT") ||
               EqualsNoCase(word, "UPDATE") || EqualsNoCase(word, "DELETE") ||
               EqualsNoCase(word, "WITH");
    }
    return false;
}

/// The content of a '...' literal, doubled quotes made single.
std::string Unquote(std::string_view written) {
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

bool IsWholeNumberAt(std::string_view text, std::size_t at, std::size_t length) {
    return (at == 0 || !IsDigit(text[at - 1])) &&
           (at + length >= text.size() || !IsDigit(text[at + length]));
}

} // namespace

std::optional<LiteralParameters> FindLiteralParameters(std::string_view tsql) {
    const auto tokens = Scan(tsql);
    if (!tokens || !StartsDataStatement(tsql, *tokens)) {
        return std::nullopt;
    }
    LiteralParameters literals;
    std::size_t copied = 0;
    for (std::size_t i = 2; i < tokens->size(); ++i) {
        const Token& literal = (*tokens)[i];
        const Token& op = (*tokens)[i - 1];
        const Token& left = (*tokens)[i - 2];
        if (op.kind != Token::Kind::Symbol || !IsComparison(TextOf(tsql, op)) ||
            (left.kind != Token::Kind::Word && left.kind != Token::Kind::Name)) {
            continue;
        }
        const std::string_view written = TextOf(tsql, literal);
        if (literal.kind == Token::Kind::Number && IsPlainInteger(written)) {
            literals.values.emplace_back(ParseDigits(written));
        } else if (literal.kind == Token::Kind::String && written.size() >= kLongLiteral + 2) {
            literals.values.emplace_back(Unquote(written));
        } else {
            continue;
        }
        literals.key.append(tsql.substr(copied, literal.begin - copied));
        literals.key += kMarker;
        copied = literal.end;
        literals.spans.emplace_back(literal.begin, literal.end - literal.begin);
    }
    if (literals.values.empty()) {
        return std::nullopt;
    }
    literals.key.append(tsql.substr(copied));
    return literals;
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
    for (const ParameterValue& value : literals.values) {
        while (true) {
            candidate += 1013;
            std::string text = std::holds_alternative<std::int64_t>(value)
                                   ? std::to_string(candidate)
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
                                            const std::vector<std::string>& sentinels) {
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
            (number && !IsWholeNumberAt(withSentinels, at, sentinels[s].size()))) {
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
