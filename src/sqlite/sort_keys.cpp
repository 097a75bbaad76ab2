#include "sort_keys.h"

#include <cctype>
#include <string>

#include "quote_identifier.h"
#include "recordset_errors.h"
#include "row_set.h"

namespace kvad::db {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    return text;
}

SortKey ParseKey(std::string_view part, const RowSet& fields) {
    part = TrimBlanks(part);
    if (part.empty()) {
        ThrowBadArguments();
    }
    std::string_view name;
    std::string_view rest;
    if (part.front() == '[') {
        const auto close = part.find(']');
        if (close == std::string_view::npos) {
            ThrowBadArguments();
        }
        name = part.substr(1, close - 1);
        rest = TrimBlanks(part.substr(close + 1));
    } else {
        const auto blank = part.find_first_of(" \t\r\n");
        name = part.substr(0, blank);
        rest =
            blank == std::string_view::npos ? std::string_view() : TrimBlanks(part.substr(blank));
    }
    SortKey key;
    if (EqualsNoCase(rest, "DESC")) {
        key.descending = true;
    } else if (!rest.empty() && !EqualsNoCase(rest, "ASC")) {
        ThrowBadArguments();
    }
    const auto column = fields.FindColumn(name);
    if (!column) {
        ThrowItemNotFound();
    }
    key.column = *column;
    return key;
}

int Rank(const Variant& value) noexcept {
    switch (value.Type()) {
    case VarType::Empty:
    case VarType::Null:
        return 0;
    case VarType::Boolean:
        return 1;
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
    case VarType::Double:
        return 2;
    case VarType::Date:
        return 3;
    case VarType::String:
        return 4;
    case VarType::Bytes:
        return 5;
    }
    return 6;
}

template <class T> int Order(const T& a, const T& b) {
    if (a < b) {
        return -1;
    }
    return b < a ? 1 : 0;
}

} // namespace

std::vector<SortKey> ParseSortKeys(std::string_view text, const RowSet& fields) {
    std::vector<SortKey> keys;
    if (TrimBlanks(text).empty()) {
        return keys;
    }
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        keys.push_back(ParseKey(text.substr(start, comma - start), fields));
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return keys;
}

int CompareForSort(const Variant& a, const Variant& b) {
    const int rankA = Rank(a);
    const int rankB = Rank(b);
    if (rankA != rankB) {
        return rankA < rankB ? -1 : 1;
    }
    switch (a.Type()) {
    case VarType::Empty:
    case VarType::Null:
        return 0;
    case VarType::Boolean:
        return Order(a.ToBool(), b.ToBool());
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
    case VarType::Double:
        if (a.Type() == VarType::Double || b.Type() == VarType::Double) {
            return Order(a.ToDouble(), b.ToDouble());
        }
        return Order(a.ToDecimal(), b.ToDecimal());
    case VarType::Date:
        return Order(a.ToDate(), b.ToDate());
    case VarType::String:
        return CompareNoCase(*a.AsString(), *b.AsString());
    case VarType::Bytes:
        return Order(*a.AsBytes(), *b.AsBytes());
    }
    return 0;
}

bool SortsBefore(const std::vector<SortKey>& keys, const std::vector<const Variant*>& a,
                 const std::vector<const Variant*>& b) {
    for (const SortKey& key : keys) {
        const auto column = static_cast<std::size_t>(key.column);
        const int order = CompareForSort(*a[column], *b[column]);
        if (order != 0) {
            return key.descending ? order > 0 : order < 0;
        }
    }
    return false;
}

} // namespace kvad::db
