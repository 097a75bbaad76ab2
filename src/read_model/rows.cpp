#include "rows.h"

#include "kvad_nso/read_model/values.h"
#include "kvad_nso/text.h"

namespace kvad::read_model::detail {

Connection& Db(const CLSIE_NSO& nso) {
    const std::shared_ptr<Connection> db = nso.Connessione();
    if (!db) {
        throw Refusal("the component has no connection (Connessione is not set)");
    }
    return *db;
}

std::string Company(const CLSIE_NSO& nso) {
    return Code(nso.CodiceDitta().ToLong());
}

std::int32_t Whole(const Variant& value) {
    return value.IsNull() || value.IsEmpty() ? 0 : value.ToLong();
}

std::string Code(std::int32_t code) {
    return std::to_string(code);
}

std::string Shown(const Recordset& row, const char* field) {
    return DisplayText(row.Value(field));
}

std::string Quoted(const std::string& text) {
    const std::string doubled = ReplaceAll(text, "'", "''");
    return "'" + doubled + "'";
}

Variant Scalar(Connection& db, const std::string& sql) {
    auto rows = db.Query(sql);
    return rows->Eof() ? Variant::Null() : rows->Value(0);
}

void RequireOk(const CLSIE_NSO& nso, const std::string& task) {
    if (nso.Stato() != kaOK) {
        throw ComponentFailure(task, nso.Stato(), nso.Errore().Text(), nso.LastDatabaseCondition());
    }
}

bool IsMain(const Recordset& row) {
    const Variant parent = row.Value("ID_PADRE");
    return parent.IsNull() || parent.IsEmpty();
}

std::string ChainKey(const Recordset& row) {
    return IsMain(row) ? row.Value("ID_RIGA").Text() : row.Value("ID_PADRE").Text();
}

DocumentRef DocumentOf(const Recordset& row) {
    DocumentRef document;
    document.id = Whole(row.Value("IE91_ID"));
    document.number = Shown(row, "IE91_IDORD");
    document.date = row.Value("IE91_ISSUEDATE");
    document.kind = DocumentKind(row.Value("IE91_OPERAZIONE"));
    document.endpoint = Shown(row, "IE91_ENDPOINTID");
    return document;
}

std::shared_ptr<Recordset> WorkingRows(const CLSIE_NSO& nso) {
    std::shared_ptr<Recordset> rows = nso.RstOrdini();
    if (!rows || !rows->IsOpen()) {
        throw Refusal("the chains have not been read (LeggiOrdini)");
    }
    return rows;
}

} // namespace kvad::read_model::detail
