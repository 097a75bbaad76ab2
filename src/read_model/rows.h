#pragma once
// How the read model reads the component's rows: its connection and company, whole numbers and
// texts of row values, codes as the statements write them, the chain a working-table row belongs
// to. Shared by the read model's files, so that each reads a row the same way.

#include <cstdint>
#include <string>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/connection.h"
#include "kvad_nso/read_model/documents.h"
#include "kvad_nso/recordset.h"

namespace kvad::read_model::detail {

/// The component's connection; throws Refusal when the host has set none.
[[nodiscard]] Connection& Db(const CLSIE_NSO& nso);

/// The component's company code as statements write it.
[[nodiscard]] std::string Company(const CLSIE_NSO& nso);

/// The value as a whole number; 0 for Null or Empty.
[[nodiscard]] std::int32_t Whole(const Variant& value);

/// A code or an id as statements write it.
[[nodiscard]] std::string Code(std::int32_t code);

/// A field's value as a clerk reads it (DisplayText).
[[nodiscard]] std::string Shown(const Recordset& row, const char* field);

/// A text between single quotes, its quotes doubled: a statement's literal or a filter's value.
[[nodiscard]] std::string Quoted(const std::string& text);

/// The first column of the first row of a query; Null when there is none.
[[nodiscard]] Variant Scalar(Connection& db, const std::string& sql);

/// Throws ComponentFailure for `task` when the component's last call left Stato other than kaOK.
void RequireOk(const CLSIE_NSO& nso, const std::string& task);

/// Whether a row of the working table is a chain's main row (its latest document).
[[nodiscard]] bool IsMain(const Recordset& row);

/// The chain a row of the working table belongs to: its main row's ID_RIGA.
[[nodiscard]] std::string ChainKey(const Recordset& row);

/// The document of a row that carries the register's columns (the register, the working table).
[[nodiscard]] DocumentRef DocumentOf(const Recordset& row);

/// The working table's rows (RstOrdini); throws Refusal when the chains have not been read.
[[nodiscard]] std::shared_ptr<Recordset> WorkingRows(const CLSIE_NSO& nso);

} // namespace kvad::read_model::detail
