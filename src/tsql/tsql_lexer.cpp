#include "tsql_lexer.h"

#include <array>

#include "kvad_nso/text.h"
#include "tsql_error.h"

namespace kvad::db::tsql {

namespace {

[[nodiscard]] constexpr bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

// Bytes of multi-byte UTF-8 characters count as letters, as SQL Server accepts accented names.
[[nodiscard]] constexpr bool IsWordStart(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '#' || c == '@' ||
           static_cast<unsigned char>(c) >= 0x80;
}

[[nodiscard]] constexpr bool IsWordChar(char c) noexcept {
    return IsWordStart(c) || IsDigit(c) || c == '$';
}

[[nodiscard]] constexpr bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// A character for a message: itself between quotes when printable, else its code.
[[nodiscard]] std::string Describe(char c) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x20 && code < 0x7F) {
        return std::string("'") + c + "'";
    }
    constexpr std::string_view kHex = "0123456789ABCDEF";
    return std::string("0x") + kHex[code >> 4U] + kHex[code & 0x0FU];
}

class Lexer {
  public:
    explicit Lexer(std::string_view text) : text_(text) {}

    std::vector<Token> Run() {
        std::vector<Token> tokens;
        tokens.reserve(text_.size() / 6 + 2);
        while (true) {
            SkipBlanksAndComments();
            if (pos_ >= text_.size()) {
                break;
            }
            tokens.push_back(Next());
        }
        Token end;
        end.kind = TokenKind::End;
        end.offset = text_.size();
        tokens.push_back(std::move(end));
        return tokens;
    }

  private:
    [[nodiscard]] char At(std::size_t i) const noexcept {
        return i < text_.size() ? text_[i] : '\0';
    }

    [[noreturn]] void Fail(const std::string& what, std::size_t at) const {
        Refuse(what + " at offset " + std::to_string(at), text_);
    }

    void SkipBlanksAndComments() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (IsBlank(c)) {
                ++pos_;
            } else if (c == '-' && At(pos_ + 1) == '-') {
                while (pos_ < text_.size() && text_[pos_] != '\n') {
                    ++pos_;
                }
            } else if (c == '/' && At(pos_ + 1) == '*') {
                SkipBlockComment();
            } else {
                return;
            }
        }
    }

    // T-SQL block comments nest.
    void SkipBlockComment() {
        const std::size_t start = pos_;
        int depth = 0;
        while (pos_ < text_.size()) {
            if (text_[pos_] == '/' && At(pos_ + 1) == '*') {
                ++depth;
                pos_ += 2;
            } else if (text_[pos_] == '*' && At(pos_ + 1) == '/') {
                --depth;
                pos_ += 2;
                if (depth == 0) {
                    return;
                }
            } else {
                ++pos_;
            }
        }
        Fail("unterminated comment", start);
    }

    Token Next() {
        Token token;
        token.offset = pos_;
        const char c = text_[pos_];
        if ((c == 'N' || c == 'n') && At(pos_ + 1) == '\'') {
            ++pos_;
            token.kind = TokenKind::String;
            token.national = true;
            token.text = ReadDelimited('\'', "string literal");
        } else if (c == '\'') {
            token.kind = TokenKind::String;
            token.text = ReadDelimited('\'', "string literal");
        } else if (c == '[') {
            token.kind = TokenKind::Quoted;
            token.text = ReadDelimited(']', "bracketed identifier");
        } else if (c == '"') {
            token.kind = TokenKind::Quoted;
            token.text = ReadDelimited('"', "quoted identifier");
        } else if (IsDigit(c) || (c == '.' && IsDigit(At(pos_ + 1)))) {
            token.kind = TokenKind::Number;
            token.text = ReadNumber();
        } else if (IsWordStart(c)) {
            token.kind = TokenKind::Word;
            const std::size_t start = pos_;
            while (pos_ < text_.size() && IsWordChar(text_[pos_])) {
                ++pos_;
            }
            token.text = std::string(text_.substr(start, pos_ - start));
        } else {
            token.kind = TokenKind::Symbol;
            token.text = ReadSymbol();
        }
        if (token.kind == TokenKind::Quoted && token.text.empty()) {
            Fail("empty delimited identifier", token.offset);
        }
        return token;
    }

    // Reads open ... close where a doubled close character stands for itself.
    std::string ReadDelimited(char close, const char* what) {
        const std::size_t start = pos_;
        std::string value;
        ++pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            // SQLite would end the statement there: the text after it would be lost.
            if (c == '\0') {
                Fail(std::string("NUL character in a ") + what, pos_);
            }
            if (c == close) {
                if (At(pos_ + 1) == close) {
                    value.push_back(close);
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return value;
            }
            value.push_back(c);
            ++pos_;
        }
        Fail(std::string("unterminated ") + what, start);
    }

    std::string ReadNumber() {
        const std::size_t start = pos_;
        while (IsDigit(At(pos_))) {
            ++pos_;
        }
        if (At(pos_) == '.') {
            ++pos_;
            while (IsDigit(At(pos_))) {
                ++pos_;
            }
        }
        if (At(pos_) == 'e' || At(pos_) == 'E') {
            std::size_t p = pos_ + 1;
            if (At(p) == '+' || At(p) == '-') {
                ++p;
            }
            if (IsDigit(At(p))) {
                pos_ = p;
                while (IsDigit(At(pos_))) {
                    ++pos_;
                }
            }
        }
        // A letter ends the number, as in T-SQL, where "= 2ORDER BY" reads as "= 2 ORDER BY";
        // a hexadecimal literal or a second decimal point is refused.
        const bool hex =
            pos_ == start + 1 && text_[start] == '0' && (At(pos_) == 'x' || At(pos_) == 'X');
        if (hex || At(pos_) == '.') {
            Fail("malformed number", start);
        }
        return std::string(text_.substr(start, pos_ - start));
    }

    std::string ReadSymbol() {
        static constexpr std::array<std::string_view, 6> kTwoChar = {
            "<>", "!=", "<=", ">=", "!<", "!>"};
        const std::string_view rest = text_.substr(pos_);
        for (const std::string_view sym : kTwoChar) {
            if (rest.starts_with(sym)) {
                pos_ += 2;
                return std::string(sym);
            }
        }
        static constexpr std::string_view kOneChar = "(),.;*+-/%=<>~&|^";
        const char c = text_[pos_];
        if (kOneChar.find(c) == std::string_view::npos) {
            Fail("unexpected character " + Describe(c), pos_);
        }
        ++pos_;
        return std::string(1, c);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace

bool Token::IsWord(std::string_view keyword) const noexcept {
    return kind == TokenKind::Word && EqualsNoCase(text, keyword);
}

bool Token::IsSymbol(std::string_view symbol) const noexcept {
    return kind == TokenKind::Symbol && text == symbol;
}

std::vector<Token> Tokenize(std::string_view text) {
    return Lexer(text).Run();
}

} // namespace kvad::db::tsql
