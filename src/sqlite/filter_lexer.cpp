#include "filter_lexer.h"

#include <cctype>

#include "recordset_errors.h"

namespace kvad::db {

namespace {

bool IsFilterNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$' || c == '#' ||
           c == '@' || static_cast<unsigned char>(c) >= 0x80;
}

bool StartsFilterNumber(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '+' ||
           c == '$';
}

/// A 'text' literal from its opening quote at `i`, doubled quotes made single; `i` ends after
/// the closing quote.
std::string ReadFilterString(std::string_view text, std::size_t& i) {
    std::string content;
    for (++i; i < text.size(); ++i) {
        if (text[i] != '\'') {
            content += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\'') {
            content += '\'';
            ++i;
        } else {
            ++i;
            return content;
        }
    }
    ThrowBadArguments();
}

/// What lies between the opening character at `i` and the next `close` (a #date# or a
/// [name]); `i` ends after `close`.
std::string ReadDelimited(std::string_view text, std::size_t& i, char close) {
    const auto end = text.find(close, i + 1);
    if (end == std::string_view::npos) {
        ThrowBadArguments();
    }
    std::string content(text.substr(i + 1, end - i - 1));
    i = end + 1;
    return content;
}

/// A number with its sign; a currency sign before the digits is allowed and left out.
std::string ReadFilterNumber(std::string_view text, std::size_t& i) {
    std::string number;
    if (text[i] == '-' || text[i] == '+') {
        number += text[i++];
    }
    if (i < text.size() && text[i] == '$') {
        ++i;
    }
    const auto exponentSign = [&](std::size_t at) {
        return (text[at] == '+' || text[at] == '-') && (text[at - 1] == 'e' || text[at - 1] == 'E');
    };
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) != 0 ||
                               text[i] == '.' || exponentSign(i))) {
        number += text[i++];
    }
    return number;
}

/// A comparison symbol: =, <, >, <=, >= or <>.
std::string ReadComparison(std::string_view text, std::size_t& i) {
    const char c = text[i++];
    std::string symbol(1, c);
    if (i < text.size() && c != '=' && (text[i] == '=' || (c == '<' && text[i] == '>'))) {
        symbol += text[i++];
    }
    return symbol;
}

std::string ReadFilterName(std::string_view text, std::size_t& i) {
    const std::size_t begin = i;
    while (i < text.size() && IsFilterNameChar(text[i])) {
        ++i;
    }
    return std::string(text.substr(begin, i - begin));
}

/// The token at `i`, which is no blank; `i` ends after it.
FilterToken ReadFilterToken(std::string_view text, std::size_t& i) {
    using Kind = FilterToken::Kind;
    const char c = text[i];
    switch (c) {
    case '\'':
        return {Kind::String, ReadFilterString(text, i)};
    case '#':
        return {Kind::Date, ReadDelimited(text, i, '#')};
    case '[':
        return {Kind::Name, ReadDelimited(text, i, ']')};
    case '<':
    case '>':
    case '=':
        return {Kind::Symbol, ReadComparison(text, i)};
    case '(':
    case ')':
        ++i;
        return {Kind::Symbol, std::string(1, c)};
    default:
        break;
    }
    if (StartsFilterNumber(c)) {
        return {Kind::Number, ReadFilterNumber(text, i)};
    }
    if (IsFilterNameChar(c)) {
        return {Kind::Name, ReadFilterName(text, i)};
    }
    ThrowBadArguments();
}

} // namespace

std::vector<FilterToken> LexFilter(std::string_view text) {
    std::vector<FilterToken> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i])) != 0) {
            ++i;
            continue;
        }
        tokens.push_back(ReadFilterToken(text, i));
    }
    tokens.emplace_back();
    return tokens;
}

} // namespace kvad::db
