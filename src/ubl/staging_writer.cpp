#include "ubl/staging_writer.h"

#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"
#include "ubl/xml_loader.h"

namespace kvad::nso {
namespace {

// UBL elements are named in upper camel case, their attributes (unitCode, currencyID, schemeID)
// in lower camel case: a column part that starts in lower case and has no further part is an
// attribute.
bool IsAttributeName(const std::string& rest) {
    return rest.find('_') == std::string::npos && rest.front() >= 'a' && rest.front() <= 'z';
}

std::string TablePrefix(const std::string& table) {
    return Utf8Left(table, 5);
}

// An unreadable number keeps this many characters of its text.
constexpr std::size_t kUnreadableTextLength = 200;

// The numbers of the row being written that could not be read: column and text.
struct UnreadableNumbers {
    struct Writer {};
    std::vector<std::pair<std::string, std::string>> pending;
};

// Keeps the unreadable numbers of the row just saved beside it, under its key.
void KeepUnreadableNumbers(NsoState& state, std::int32_t fId, const std::string& table,
                           Recordset& row) {
    auto& pending = state.Part<UnreadableNumbers>(UnreadableNumbers::Writer{}).pending;
    if (pending.empty()) {
        return;
    }
    const std::string key = std::to_string(row.Value(TablePrefix(table) + "ID").ToLong());
    for (const auto& [column, text] : pending) {
        Conn(state).Execute(
            "INSERT INTO KVAD_UNREADABLE_NUMBER (UNREADABLE_ID_IE91, UNREADABLE_TABLE, "
            "UNREADABLE_ROW, UNREADABLE_COLUMN, UNREADABLE_TEXT) VALUES (" +
            std::to_string(fId) + ", " + FormatoDB(state, table, kLiteralText, false).Text() +
            ", " + key + ", " + FormatoDB(state, column, kLiteralText, false).Text() + ", " +
            FormatoDB(state, Utf8Left(text, kUnreadableTextLength), kLiteralUnicode, false).Text() +
            ")");
    }
    pending.clear();
}

void ForgetPendingNumbers(NsoState& state) {
    state.Part<UnreadableNumbers>(UnreadableNumbers::Writer{}).pending.clear();
}

Recordset& Required(const std::shared_ptr<Recordset>& rs) {
    if (!rs) {
        ThrowObjectNotSet();
    }
    return *rs;
}

// The column paths already worked out, by column name without its prefix, for the path pieces
// they were worked out with: the same columns are staged for every document.
struct KnownColumnPaths {
    struct Writer {};
    std::string pieces;
    std::unordered_map<std::string, std::string> byName;
    /// The paths of each table as one set, by table prefix.
    std::unordered_map<std::string, std::shared_ptr<const xml::PathSet>> sets;
    /// The column names and path pieces each table's set was made from, by table prefix.
    std::unordered_map<std::string, std::pair<std::string, std::vector<std::string>>> madeFrom;
};

/// The path pieces of the document being loaded, as one text.
std::string PathPieces(const LoaderState& loader) {
    return loader.ApriCAC + '\n' + loader.ChiudiCAC + '\n' + loader.ApriCBC + '\n' +
           loader.ChiudiCBC;
}

/// The list's column names, in list order.
std::vector<std::string> ListedNames(Recordset& columns) {
    std::vector<std::string> names;
    columns.MoveFirst();
    while (!columns.Eof()) {
        names.push_back(columns.Value("COLUMN_NAME").Text());
        columns.MoveNext();
    }
    return names;
}

/// True when the list names `names`, in that order. Read without keeping the names: the line
/// allowances' list comes once a line and is the same each time.
bool ListsNames(Recordset& columns, const std::vector<std::string>& names) {
    std::size_t i = 0;
    for (columns.MoveFirst(); !columns.Eof(); columns.MoveNext(), ++i) {
        if (i == names.size()) {
            return false;
        }
        const Variant name = columns.Value("COLUMN_NAME");
        const std::string* text = name.AsString();
        if (text != nullptr ? *text != names[i] : name.Text() != names[i]) {
            return false;
        }
    }
    return i == names.size();
}

// The relative XPath of each column the list names, in list order: the same for every row of
// a table, so worked out once per table rather than once per row.
std::vector<std::string> ColumnPaths(NsoState& state, const std::vector<std::string>& names,
                                     const std::string& prefix) {
    const LoaderState& loader = Loader(state);
    KnownColumnPaths& known = state.Part<KnownColumnPaths>(KnownColumnPaths::Writer{});
    const std::string pieces = PathPieces(loader);
    if (known.pieces != pieces) {
        known.byName.clear();
        known.pieces = pieces;
    }
    std::vector<std::string> paths;
    for (const std::string& listed : names) {
        std::string name = ReplaceAll(listed, prefix, "");
        if (const auto found = known.byName.find(name); found != known.byName.end()) {
            paths.push_back(found->second);
        } else {
            const auto before = state.Stato;
            paths.push_back(ParseColumnName(state, name));
            if (state.Stato == before) { // a path cut short by a failure is not kept
                known.byName.emplace(std::move(name), paths.back());
            }
        }
    }
    return paths;
}

// A staging column as the column list gives it: its name and its type's name.
struct StagedColumn {
    std::string name;
    std::string type;
};

// The column paths of the list as one set, kept for the table while its paths stay the same.
std::shared_ptr<const xml::PathSet> ColumnPathSet(NsoState& state, Recordset& columns,
                                                  const std::string& prefix) {
    KnownColumnPaths& known = state.Part<KnownColumnPaths>(KnownColumnPaths::Writer{});
    std::shared_ptr<const xml::PathSet>& set = known.sets[prefix];
    auto& [pieces, names] = known.madeFrom[prefix];
    // A list of the same names, for the same pieces, has the same paths: only the names are
    // compared (the line allowances' list comes once a line).
    const std::string current = PathPieces(Loader(state));
    if (set && pieces == current && ListsNames(columns, names)) {
        return set;
    }
    std::vector<std::string> listed = ListedNames(columns);
    const auto before = state.Stato;
    std::vector<std::string> paths = ColumnPaths(state, listed, prefix);
    if (!set || set->Paths() != paths) {
        set = std::make_shared<const xml::PathSet>(std::move(paths));
    }
    // A list with a name that failed to read is read again next time, failure and all.
    pieces = current;
    names = state.Stato == before ? std::move(listed) : std::vector<std::string>{};
    return set;
}

// The name and type of each column of a table's list, read from the list the first time a row
// stores a value in the column: every row of the table has the same.
class StagedColumns {
  public:
    explicit StagedColumns(std::size_t count) : columns_(count) {}

    /// The column at `index`, which is the list's current row.
    const StagedColumn& At(std::size_t index, Recordset& list) {
        std::optional<StagedColumn>& column = columns_.at(index);
        if (!column) {
            column = StagedColumn{list.Value("COLUMN_NAME").Text(),
                                  list.Value("COLUMN_TYPE_NAME").Text()};
        }
        return *column;
    }

  private:
    std::vector<std::optional<StagedColumn>> columns_;
};

// Stores the node's text in the column, converted to its type: LoadRecorsetData's work for a
// column whose name and type are already read.
void StoreColumnValue(NsoState& state, Recordset& target, const StagedColumn& column,
                      const xml::Node& node) {
    const std::string& name = column.name;
    const std::string text = xml::TrimXmlSpace(node.Text());
    if (column.type == "datetime") {
        DateTime date;
        try {
            date = Variant(text).ToDate();
        } catch (const VbError&) {
            // Said in words a clerk can act on: which column and what the order holds.
            throw VbError(vberr::kTypeMismatch,
                          "\"" + text + "\" is not a date (staging column " + name + ")");
        }
        target.SetValue(name, date);
    } else if (column.type == "decimal") {
        const Variant number = ConvertiDecimale(text);
        target.SetValue(name, ValoreDecimale(number));
        // Text that is there but is no number is kept, so that the 0 stored for it is
        // reported instead of imported (empty text is 0 by rule, not unreadable).
        if (number.IsEmpty() && !text.empty()) {
            state.Part<UnreadableNumbers>(UnreadableNumbers::Writer{})
                .pending.emplace_back(name, text);
        }
    } else {
        target.SetValue(name, text);
    }
}

// Maps every column of the list onto the row's node, the columns' nodes found in one walk of
// its children; true when at least one value was stored. Each value is stored under
// LoadRecorsetData's name, as LoadRecorsetData stores it.
bool MapColumns(NsoState& state, Recordset& target, Recordset& columns, StagedColumns& staged,
                const xml::Node& node, const xml::PathSet& paths) {
    const std::vector<xml::Node> found = node.SelectFirstOfEach(paths);
    bool stored = false;
    columns.MoveFirst();
    for (std::size_t i = 0; !columns.Eof() && i < found.size(); ++i) {
        if (!found[i].IsNull()) {
            Guard(state, "LoadRecorsetData",
                  [&] { StoreColumnValue(state, target, staged.At(i, columns), found[i]); });
            stored = true;
        }
        columns.MoveNext();
    }
    return stored;
}

} // namespace

std::shared_ptr<Recordset> GetElencoCampiTabella(NsoState& state, const std::string& fNomeTabella) {
    std::shared_ptr<Recordset> result;
    Guard(state, "GetElencoCampiTabella", [&] {
        // The table name is the program's own; doubling keeps a stray quote inside the literal.
        const std::string table = ReplaceAll(fNomeTabella, "'", "''");
        const std::string key = ReplaceAll(TablePrefix(fNomeTabella), "'", "''") + "ID";
        // The fixed parts are joined by the compiler: the line loader asks this for every line.
        std::string sql = "SELECT COLONNE.name  AS COLUMN_NAME, "
                          "       COLONNE.xtype AS COLUMN_TYPE , "
                          "       TIPI.Name     AS COLUMN_TYPE_NAME "
                          "FROM sys.tables AS TABELLE WITH (NOLOCK) "
                          "INNER JOIN sys.syscolumns AS COLONNE WITH (NOLOCK) "
                          "ON  COLONNE.id = TABELLE.object_id "
                          "INNER JOIN sys.types AS TIPI WITH (NOLOCK) "
                          "ON TIPI.system_type_id = COLONNE.xtype AND "
                          "   TIPI.user_type_id   = COLONNE.xusertype "
                          "WHERE TABELLE.name = '";
        sql.reserve(sql.size() + table.size() + key.size() + 64);
        sql += table;
        sql += "' AND "
               "      COLONNE.name NOT IN ('";
        sql += key;
        sql += "') "
               "ORDER BY COLONNE.colorder ";
        result = Conn(state).Query(sql);
    });
    return result;
}

std::string ParseColumnName(NsoState& state, const std::string& name) {
    std::string path;
    Guard(state, "ParseColumnName", [&] {
        if (name.empty()) {
            return;
        }
        std::size_t start = 0;
        while (true) {
            const std::size_t end = name.find('_', start);
            const std::string piece = name.substr(start, end - start);
            if (end == std::string::npos) {
                path += Loader(state).ApriCBC + piece + Loader(state).ChiudiCBC;
                return;
            }
            // A last part in lower case names an attribute of the basic element before it: of
            // the first such element, the one whose text the element's own column takes.
            const std::size_t next = end + 1;
            if (next < name.size() && IsAttributeName(name.substr(next))) {
                path.insert(0, "(");
                path += Loader(state).ApriCBC;
                path += piece;
                path += Loader(state).ChiudiCBC;
                path += ")[1]/@";
                path += name.substr(next);
                return;
            }
            path += Loader(state).ApriCAC + piece + Loader(state).ChiudiCAC + "/";
            start = end + 1;
        }
    });
    return path;
}

std::shared_ptr<Recordset> GetOpenRecordset(NsoState& state, const std::string& fNomeTabella,
                                            std::int32_t fId, bool fElimina,
                                            const std::string& fCampoChiave,
                                            std::int32_t fValoreChiave) {
    std::shared_ptr<Recordset> result;
    Guard(state, "GetOpenRecordset", [&] {
        std::string filter = TablePrefix(fNomeTabella) + "ID_IE91 = " + std::to_string(fId);
        if (LunghezzaTesto(fCampoChiave) > 0) {
            filter += " AND " + fCampoChiave + " = " + std::to_string(fValoreChiave);
        }
        if (fElimina) {
            Conn(state).Execute("DELETE FROM " + fNomeTabella + " WHERE " + filter);
        }
        result = Conn(state).OpenRecordset("SELECT * FROM " + fNomeTabella + " WHERE " + filter);
    });
    return result;
}

void CaricaDatiTestataXML(NsoState& state, std::int32_t fId, const std::string& fNomeTabella,
                          const xml::Node& node) {
    Guard(state, "CaricaDatiTestataXML", [&] {
        const std::string prefix = TablePrefix(fNomeTabella);
        auto rs = GetOpenRecordset(state, fNomeTabella, fId, false, std::string(), 0);
        Recordset& target = Required(rs);
        ForgetPendingNumbers(state);
        if (target.Eof()) {
            target.AddNew();
            target.SetValue(prefix + "ID_IE91", fId);
        }
        auto columns = GetElencoCampiTabella(state, fNomeTabella);
        Recordset& list = Required(columns);
        if (list.RecordCount() == 0) {
            return;
        }
        const auto paths = ColumnPathSet(state, list, prefix);
        StagedColumns staged(paths->Paths().size());
        if (MapColumns(state, target, list, staged, node, *paths)) {
            target.Update();
            KeepUnreadableNumbers(state, fId, fNomeTabella, target);
        } else {
            target.CancelUpdate();
        }
    });
}

void CaricaNodiMultipliXML(NsoState& state, std::int32_t fId, const std::string& fNomeTabella,
                           const xml::Node& parent, const std::string& xpath,
                           const std::string& fCampoChiave, std::int32_t fValoreChiave) {
    Guard(state, "CaricaNodiMultipliXML", [&] {
        const std::string prefix = TablePrefix(fNomeTabella);
        auto rs = GetOpenRecordset(state, fNomeTabella, fId, true, fCampoChiave, fValoreChiave);
        Recordset& target = Required(rs);
        auto columns = GetElencoCampiTabella(state, fNomeTabella);
        Recordset& list = Required(columns);
        if (list.RecordCount() == 0) {
            return;
        }
        const bool linked = LunghezzaTesto(fCampoChiave) > 0;
        const std::shared_ptr<const xml::PathSet> paths = ColumnPathSet(state, list, prefix);
        StagedColumns staged(paths->Paths().size());
        for (const xml::Node& node : parent.SelectNodes(xpath)) {
            ForgetPendingNumbers(state);
            target.AddNew();
            target.SetValue(prefix + "ID_IE91", fId);
            if (linked) {
                target.SetValue(fCampoChiave, fValoreChiave);
            }
            if (!MapColumns(state, target, list, staged, node, *paths)) {
                target.CancelUpdate();
                continue;
            }
            target.Update();
            KeepUnreadableNumbers(state, fId, fNomeTabella, target);
            if (fNomeTabella == "IE94_NSOCORPOXML") {
                const xml::Node lineItem = CercaNodoFiglio(state, node, "LineItem");
                if (!lineItem.IsNull()) {
                    const std::int32_t lineId = target.Value("IE94_ID").ToLong();
                    CaricaNodiMultipliXML(state, fId, "IE9A_NSOCORPOSCONTIXML", lineItem,
                                          Loader(state).ApriCAC + "AllowanceCharge" +
                                              Loader(state).ChiudiCAC,
                                          "IE9A_ID_IE94", lineId);
                }
            }
        }
    });
}

void LoadRecorsetData(NsoState& state, Recordset& target, Recordset& columns,
                      const xml::Node& node) {
    Guard(state, "LoadRecorsetData", [&] {
        StoreColumnValue(
            state, target,
            {columns.Value("COLUMN_NAME").Text(), columns.Value("COLUMN_TYPE_NAME").Text()}, node);
    });
}

Variant ConvertiDecimale(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    try {
        return Variant(ReplaceAll(text, ".", ",")).ToDecimal();
    } catch (...) {
        return {};
    }
}

} // namespace kvad::nso
