#pragma once
// The working table of order chains (NomeTempOrdini, a temporary table of the connection) and
// the selection of its main rows.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Rebuilds the working table from the register and opens RstOrdini on it, newest first.
void LeggiOrdini(NsoState& state, kaenumTipoOrdiniProcessati fTipoOrdiniProcessati);

/// Rebuilds the working table and RstOrdini as LeggiOrdini does (the same chain links, levels,
/// keys, blocked marks and order, and every column but the register's XML, which nothing reads
/// from the working table), but only with the chains that hold one of `documentIds`, whatever
/// their processed state: the chains' leaves are found by following the references up from the
/// given documents, and LeggiOrdini's statement is run with its leaves restricted to them and
/// without the XML column, so that a batch's table holds no copy of its documents. Returns the
/// given documents that are in no chain (unknown, of another company, or without XML and replaced
/// by none that has it). Throws on a database failure.
[[nodiscard]] std::vector<std::int32_t> ReadChainsOf(NsoState& state,
                                                     const std::vector<std::int32_t>& documentIds);

/// Selects all, none, or inverts the selection of the selectable main rows.
void SetSelezione(NsoState& state, kaEnumNSOSelez pParSelez);

/// The chains as LeggiOrdini builds them, read into a recordset of their own for a listing:
/// the same rows, order and blocked marks as RstOrdini, with every register column but the
/// XML, which a listing does not show and which would make it carry the size of every document.
/// It is read from a table of its own (NomeTempOrdini + "_ELENCO", kept until the next call, so
/// that the recordset can be requeried); the working table and RstOrdini are left as they were.
/// With `keysOnly` (ListChainKeys) the rows carry only the chain's links and marks (ID_RIGA,
/// ID_PADRE, LIVELLO, the TMP_IMG_ marks, TMP_ORDINE_CONSEGNATO) and the document's key (IE91_ID,
/// IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_PROCESSATO), and the
/// table is not kept (the recordset cannot be requeried): a backlog's list stays small.
[[nodiscard]] std::shared_ptr<Recordset>
ListChains(NsoState& state, kaenumTipoOrdiniProcessati fTipoOrdiniProcessati,
           bool keysOnly = false);

/// The statement that builds the working table `table` for company `company`; `leafFilter` is
/// the extra condition on the leaves (with its line end) or "". With `registerColumns` the
/// documents' rows carry those register columns only, instead of all of them.
[[nodiscard]] std::string ChainStatement(const std::string& company, const std::string& table,
                                         const std::string& leafFilter,
                                         const std::vector<std::string>& registerColumns = {});

/// A text value for a recordset filter, between quotes with its own quotes doubled.
[[nodiscard]] std::string FilterLiteral(const std::string& value);

} // namespace kvad::nso
