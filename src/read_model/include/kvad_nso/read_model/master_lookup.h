#pragma once
/// Codes a clerk types, looked up in the ERP master data the component decodes with: customers
/// (CG44_CLIFOR with their master record CG16_ANAGRAFICA), destinations (MG22_CLIFORDEST), items
/// (MG66_ANAGRART) and their options (MG87_ARTDESC, MG73_ARTCLIFOR), currencies (CG08_TABVALUTE),
/// VAT codes (CG28_TABCODIVA) and document codes (MG3G_DOCDITTA). A code that is not there comes
/// back with the nearest codes there are, so that a host can say which one was meant.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/clsie_nso.h"

namespace kvad::read_model {

/// One entry of the master data: its code and what it is called.
struct MasterEntry {
    std::string code; ///< as the master data spells it
    std::string name; ///< a customer's name, an item's description, ...; "" when it has none

    /// "1001 (Azienda Ospedaliera ...)", or the code alone when it has no name.
    [[nodiscard]] std::string Described() const;
};

/// What looking a code up found.
struct MasterMatch {
    std::optional<MasterEntry> found; ///< the entry of that code (compared without case)
    /// When none was found: the nearest entries, nearest first (at most three); empty when the
    /// master data has none of the kind.
    std::vector<MasterEntry> nearest;
};

/// Customer (kind 0) or supplier (kind 1) `code` of the company.
[[nodiscard]] MasterMatch FindCustomer(CLSIE_NSO& nso, std::int32_t kind, std::int32_t code);

/// Destination `code` of customer `customer` of kind `kind`; the nearest are that customer's.
[[nodiscard]] MasterMatch FindDestination(CLSIE_NSO& nso, std::int32_t kind, std::int32_t customer,
                                          const std::string& code);

/// Item `code` of the company.
[[nodiscard]] MasterMatch FindItem(CLSIE_NSO& nso, const std::string& code);

/// Option `option` of item `item`: one its descriptions (MG87_ARTDESC) or a customer's code for
/// it (MG73_ARTCLIFOR) names; the nearest are the item's options.
[[nodiscard]] MasterMatch FindItemOption(CLSIE_NSO& nso, const std::string& item,
                                         const std::string& option);

/// ERP currency code `code`; a currency's name is its ISO code and description, so that the
/// ISO code typed for the ERP code finds its currency among the nearest.
[[nodiscard]] MasterMatch FindCurrency(CLSIE_NSO& nso, const std::string& code);

/// VAT code `code` (the VAT table is not kept per company).
[[nodiscard]] MasterMatch FindVatCode(CLSIE_NSO& nso, const std::string& code);

/// Document code `code` of the company.
[[nodiscard]] MasterMatch FindDocumentCode(CLSIE_NSO& nso, const std::string& code);

/// The edit distance of two texts (insertions, deletions and replacements of bytes), ASCII
/// letters compared without case.
[[nodiscard]] std::size_t EditDistance(std::string_view a, std::string_view b);

/// How far `entry` is from `text`: the edit distance to its code, or to its name or a word of
/// the name when that is smaller (a name of more than 64 bytes word by word only).
[[nodiscard]] std::size_t Nearness(std::string_view text, const MasterEntry& entry);

/// The `count` entries nearest to `text` by Nearness, nearest first; ties in the order of
/// `entries`.
[[nodiscard]] std::vector<MasterEntry> NearestEntries(const std::vector<MasterEntry>& entries,
                                                      std::string_view text, std::size_t count = 3);

} // namespace kvad::read_model
