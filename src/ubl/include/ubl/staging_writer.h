#pragma once
// The column-driven staging writer: a staging table's column names are UBL element paths, so
// the writer reads the column list from the catalogue, turns each name into an XPath relative to
// the row's node and stores the text it finds, converted by the column's SQL type.

#include <cstdint>
#include <memory>
#include <string>

#include "frame/nso_state.h"
#include "xml/xml_document.h"

namespace kvad::nso {

/// The columns of a table except its key: COLUMN_NAME, COLUMN_TYPE, COLUMN_TYPE_NAME, in column
/// order. Null on failure.
[[nodiscard]] std::shared_ptr<Recordset> GetElencoCampiTabella(NsoState& state,
                                                               const std::string& fNomeTabella);

/// The relative XPath of a column name without its prefix: aggregate steps joined by "/" and a
/// basic element last; a last part that begins in lower case is an attribute of the basic
/// element before it ("Price_BaseQuantity_unitCode": .../cbc:BaseQuantity/@unitCode).
[[nodiscard]] std::string ParseColumnName(NsoState& state, const std::string& name);

/// An updatable recordset of the document's rows of a table (restricted to a link value when
/// one is given), after deleting them when fElimina is set. Null on failure.
[[nodiscard]] std::shared_ptr<Recordset>
GetOpenRecordset(NsoState& state, const std::string& fNomeTabella, std::int32_t fId, bool fElimina,
                 const std::string& fCampoChiave, std::int32_t fValoreChiave);

/// Writes (inserts or updates in place) the one row of a document in a one-row-per-document
/// table from `node`.
void CaricaDatiTestataXML(NsoState& state, std::int32_t fId, const std::string& fNomeTabella,
                          const xml::Node& node);

/// Replaces the document's rows of a table with one row per node selected by `xpath` under
/// `parent`; order lines also get their allowances and charges right after them.
void CaricaNodiMultipliXML(NsoState& state, std::int32_t fId, const std::string& fNomeTabella,
                           const xml::Node& parent, const std::string& xpath,
                           const std::string& fCampoChiave, std::int32_t fValoreChiave);

/// Stores the text of `node` in the target row's field named by the column list's current row,
/// converted by its type name ("datetime", "decimal", else text).
void LoadRecorsetData(NsoState& state, Recordset& target, Recordset& columns,
                      const xml::Node& node);

/// The text read as a decimal number ('.' or ',' as separator); Empty when it is empty or not a
/// number.
[[nodiscard]] Variant ConvertiDecimale(const std::string& text);

} // namespace kvad::nso
