#include "kvad_nso/read_model/master_lookup.h"

#include <algorithm>

#include "kvad_nso/read_model/values.h"
#include "kvad_nso/text.h"
#include "rows.h"

namespace kvad::read_model {

using detail::Code;
using detail::Quoted;

namespace {

/// Names longer than this are compared word by word only: a description of thousands of
/// characters is not what a clerk types.
constexpr std::size_t kWholeNameLimit = 64;

/// The entries a query gives: code in its first column, name in its second.
std::vector<MasterEntry> EntriesOf(Connection& db, const std::string& sql) {
    std::vector<MasterEntry> entries;
    for (auto rows = db.Query(sql); !rows->Eof(); rows->MoveNext()) {
        entries.push_back({DisplayText(rows->Value(0)), DisplayText(rows->Value(1))});
    }
    return entries;
}

/// The entry `code` among `entries` (compared without case), else the nearest ones.
MasterMatch MatchIn(const std::vector<MasterEntry>& entries, const std::string& code) {
    MasterMatch match;
    for (const MasterEntry& entry : entries) {
        if (EqualsNoCase(entry.code, code)) {
            match.found = entry;
            return match;
        }
    }
    match.nearest = NearestEntries(entries, code);
    return match;
}

/// The one entry a query by key gives, else the nearest of those `all` gives.
MasterMatch Lookup(Connection& db, const std::string& byKey, const std::string& all,
                   const std::string& code) {
    std::vector<MasterEntry> found = EntriesOf(db, byKey);
    if (!found.empty()) {
        MasterMatch match;
        match.found = std::move(found.front());
        return match;
    }
    return MatchIn(EntriesOf(db, all), code);
}

bool IsWordCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
           (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
}

/// The distance of `text` to a name: to the whole name when it is short, and to each word.
std::size_t NameDistance(std::string_view text, std::string_view name, std::size_t bound) {
    std::size_t best = bound;
    if (name.size() <= kWholeNameLimit) {
        best = std::min(best, EditDistance(text, name));
    }
    std::size_t at = 0;
    while (at < name.size() && best > 0) {
        while (at < name.size() && !IsWordCharacter(name[at])) {
            ++at;
        }
        std::size_t end = at;
        while (end < name.size() && IsWordCharacter(name[end])) {
            ++end;
        }
        const std::string_view word = name.substr(at, end - at);
        // A word whose length alone puts it further than the best so far is not compared.
        const std::size_t apart =
            word.size() > text.size() ? word.size() - text.size() : text.size() - word.size();
        if (!word.empty() && apart < best) {
            best = std::min(best, EditDistance(text, word));
        }
        at = end;
    }
    return best;
}

} // namespace

std::string MasterEntry::Described() const {
    return name.empty() ? code : code + " (" + name + ")";
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> previous(b.size() + 1);
    std::vector<std::size_t> current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        previous[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const bool same = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]);
            current[j] =
                std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}

std::size_t Nearness(std::string_view text, const MasterEntry& entry) {
    const std::size_t byCode = EditDistance(text, entry.code);
    return std::min(byCode, NameDistance(text, entry.name, byCode));
}

std::vector<MasterEntry> NearestEntries(const std::vector<MasterEntry>& entries,
                                        std::string_view text, std::size_t count) {
    std::vector<std::pair<std::size_t, std::size_t>> ranked; // (distance, index)
    ranked.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ranked.emplace_back(Nearness(text, entries[i]), i);
    }
    const std::size_t kept = std::min(count, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(kept),
                      ranked.end());
    std::vector<MasterEntry> nearest;
    nearest.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i) {
        nearest.push_back(entries[ranked[i].second]);
    }
    return nearest;
}

MasterMatch FindCustomer(CLSIE_NSO& nso, std::int32_t kind, std::int32_t code) {
    const std::string select =
        "SELECT CG44_CLIFOR, CG16_RAGSOC FROM CG44_CLIFOR LEFT OUTER JOIN CG16_ANAGRAFICA ON "
        "CG16_CODICE = CG44_CODICE_CG16 WHERE CG44_DITTA_CG18 = " +
        detail::Company(nso) + " AND CG44_TIPOCF = " + Code(kind);
    return Lookup(detail::Db(nso), select + " AND CG44_CLIFOR = " + Code(code),
                  select + " ORDER BY CG44_CLIFOR", Code(code));
}

MasterMatch FindDestination(CLSIE_NSO& nso, std::int32_t kind, std::int32_t customer,
                            const std::string& code) {
    const std::string select =
        "SELECT MG22_CODDESTIN, MG22_DESTRAGSOC FROM MG22_CLIFORDEST WHERE MG22_DITTA_CG18 = " +
        detail::Company(nso) + " AND MG22_TIPOCF_CG44 = " + Code(kind) +
        " AND MG22_CLIFOR_CG44 = " + Code(customer);
    return Lookup(detail::Db(nso), select + " AND MG22_CODDESTIN = " + Quoted(code),
                  select + " ORDER BY MG22_CODDESTIN", code);
}

MasterMatch FindItem(CLSIE_NSO& nso, const std::string& code) {
    const std::string select = "SELECT MG66_CODART, MG66_DESCART FROM MG66_ANAGRART WHERE "
                               "MG66_DITTA_CG18 = " +
                               detail::Company(nso);
    return Lookup(detail::Db(nso), select + " AND MG66_CODART = " + Quoted(code),
                  select + " ORDER BY MG66_CODART", code);
}

MasterMatch FindItemOption(CLSIE_NSO& nso, const std::string& item, const std::string& option) {
    // Every option the master data names for the item, each once, with a description of it.
    const std::string company = detail::Company(nso);
    std::vector<MasterEntry> named = EntriesOf(
        detail::Db(nso), "SELECT MG87_OPZIONE_MG5E, MG87_DESCART FROM MG87_ARTDESC WHERE "
                         "MG87_DITTA_CG18 = " +
                             company + " AND MG87_CODART_MG66 = " + Quoted(item) +
                             " AND MG87_OPZIONE_MG5E <> '' ORDER BY MG87_OPZIONE_MG5E, MG87_ID");
    // A customer's code of the item with an option names the option, not what it is.
    std::vector<MasterEntry> customers = EntriesOf(
        detail::Db(nso), "SELECT MG73_OPZIONE_MG5E, MG73_ARTCLIFOR FROM MG73_ARTCLIFOR WHERE "
                         "MG73_DITTA_CG18 = " +
                             company + " AND MG73_CODART_MG66 = " + Quoted(item) +
                             " AND MG73_OPZIONE_MG5E <> '' ORDER BY MG73_OPZIONE_MG5E");
    for (MasterEntry& entry : customers) {
        entry.name.clear();
        named.push_back(std::move(entry));
    }
    std::vector<MasterEntry> options;
    for (const MasterEntry& entry : named) {
        const auto same = [&](const MasterEntry& o) { return EqualsNoCase(o.code, entry.code); };
        if (std::none_of(options.begin(), options.end(), same)) {
            options.push_back(entry);
        }
    }
    return MatchIn(options, option);
}

MasterMatch FindCurrency(CLSIE_NSO& nso, const std::string& code) {
    // A currency is named by its ISO code and its description.
    std::vector<MasterEntry> currencies;
    auto rows = detail::Db(nso).Query("SELECT CG08_CODICE, CG08_SIGLA, CG08_DESCRIZIONE FROM "
                                      "CG08_TABVALUTE ORDER BY CG08_CODICE");
    for (; !rows->Eof(); rows->MoveNext()) {
        std::string name = DisplayText(rows->Value(1));
        const std::string description = DisplayText(rows->Value(2));
        name += name.empty() || description.empty() ? "" : ", ";
        name += description;
        currencies.push_back({DisplayText(rows->Value(0)), std::move(name)});
    }
    return MatchIn(currencies, code);
}

MasterMatch FindVatCode(CLSIE_NSO& nso, const std::string& code) {
    const std::string select = "SELECT CG28_CODICE, CG28_DESCRIZIONE FROM CG28_TABCODIVA";
    return Lookup(detail::Db(nso), select + " WHERE CG28_CODICE = " + Quoted(code),
                  select + " ORDER BY CG28_CODICE", code);
}

MasterMatch FindDocumentCode(CLSIE_NSO& nso, const std::string& code) {
    const std::string select = "SELECT MG3G_CODDOCUM_MG36, MG3G_DESCRIZIONE FROM MG3G_DOCDITTA "
                               "WHERE MG3G_DITTA_CG18 = " +
                               detail::Company(nso);
    return Lookup(detail::Db(nso), select + " AND MG3G_CODDOCUM_MG36 = " + Quoted(code),
                  select + " ORDER BY MG3G_CODDOCUM_MG36", code);
}

} // namespace kvad::read_model
