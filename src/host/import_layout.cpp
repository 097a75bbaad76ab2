#include "import_layout.h"

#include <algorithm>
#include <initializer_list>
#include <map>
#include <memory>

#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace kvad::host {
namespace {

// Columns the import object fills itself, whatever the layout says.
const std::vector<std::string>& OwnColumns() {
    static const std::vector<std::string> columns{
        "DO11_DITTA_CG18",  "DO11_NUMREG_CO99", "DO11_GUID",        "DO11_NUMDOC",
        "DO11_ANNODOC",     "DO12_DITTA_CG18",  "DO12_NUMREG_CO99", "DO13_DITTA_CG18",
        "DO13_NUMREG_CO99", "DO30_DITTA_CG18",  "DO30_NUMREG_CO99", "DO30_PROGRIGA",
        "DO31_DITTA_CG18",  "DO31_NUMREG_CO99", "DO31_PROGRIGA"};
    return columns;
}

// Columns every layout must fill: the document's number and customer are checked and counted
// from them, and the import finds the document it made by the order's identity.
const std::vector<std::string>& RequiredColumns() {
    static const std::vector<std::string> columns{
        "DO11_DOCUM_MG36",  "DO11_SEZDOC",  "DO11_DATADOC",   "DO11_TIPOCF_CG44",
        "DO11_CLIFOR_CG44", "DO12_FEIDDOC", "DO12_FEDATADOC", "DO12_FEIDSOGGETTO"};
    return columns;
}

// Decoded columns that hold the SQL literal of a text rather than the text.
const std::vector<std::string>& LiteralColumns() {
    static const std::vector<std::string> columns{"IE93_DO12_NOTEVSDOC"};
    return columns;
}

bool Contains(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return EqualsNoCase(n, name); });
}

bool IsHeaderTable(std::string_view table) {
    return std::any_of(std::begin(kHeaderTables), std::end(kHeaderTables),
                       [&](const char* t) { return EqualsNoCase(t, table); });
}

bool IsLineTable(std::string_view table) {
    return std::any_of(std::begin(kLineTables), std::end(kLineTables),
                       [&](const char* t) { return EqualsNoCase(t, table); });
}

// The columns of a table, read once per table. Only names of the known tables reach here.
class TableColumns {
  public:
    explicit TableColumns(Connection& db) : db_(db) {}

    [[nodiscard]] bool Has(const std::string& table, const std::string& column) {
        auto it = cache_.find(AsciiUpper(table));
        if (it == cache_.end()) {
            it = cache_
                     .emplace(AsciiUpper(table),
                              db_.Query("SELECT * FROM " + table + " WHERE 1 = 0"))
                     .first;
        }
        return it->second->HasField(column);
    }

  private:
    Connection& db_;
    std::map<std::string, std::shared_ptr<Recordset>> cache_;
};

[[noreturn]] void Unusable(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        text += part;
    }
    throw ImportRefusal(outcome::kInvalidLayout, text);
}

} // namespace

std::string SqlQuoted(std::string_view text) {
    return "'" + ReplaceAll(text, "'", "''") + "'";
}

std::string ImportLayout::SourceOf(std::string_view column) const {
    for (const LayoutField& field : fields) {
        if (EqualsNoCase(field.column, column)) {
            return field.source;
        }
    }
    return "";
}

std::vector<LayoutField> ImportLayout::FieldsOf(std::string_view table) const {
    std::vector<LayoutField> out;
    std::copy_if(fields.begin(), fields.end(), std::back_inserter(out),
                 [&](const LayoutField& f) { return EqualsNoCase(f.table, table); });
    return out;
}

ImportLayout LoadImportLayout(Connection& db, const std::string& code) {
    const std::string name = RightTrim(code);
    if (name.empty()) {
        throw ImportRefusal(outcome::kUnknownLayout, "Tracciato di importazione non indicato");
    }
    if (db.Query("SELECT IE25_CODICE FROM IE25_TRACCIATI WHERE IE25_CODICE = " + SqlQuoted(name))
            ->Eof()) {
        throw ImportRefusal(outcome::kUnknownLayout,
                            "Tracciato di importazione '" + name + "' sconosciuto");
    }
    ImportLayout layout;
    layout.code = name;
    auto rows = db.Query("SELECT IE26_TABELLA, IE26_CAMPO, IE26_ORIGINE FROM IE26_TRACCIATICAMPI "
                         "WHERE IE26_CODICE_IE25 = " +
                         SqlQuoted(name) + " ORDER BY IE26_TABELLA, IE26_CAMPO");
    TableColumns columns(db);
    const std::string prefix = "Tracciato di importazione '" + name + "': ";
    for (; !rows->Eof(); rows->MoveNext()) {
        LayoutField field{Trim(rows->Value("IE26_TABELLA").Text()),
                          Trim(rows->Value("IE26_CAMPO").Text()),
                          Trim(rows->Value("IE26_ORIGINE").Text())};
        const bool header = IsHeaderTable(field.table);
        if (!header && !IsLineTable(field.table)) {
            Unusable({prefix, "la tabella ", field.table, " non fa parte di un ordine"});
        }
        if (!columns.Has(field.table, field.column)) {
            Unusable({prefix, "la tabella ", field.table, " non ha il campo ", field.column});
        }
        if (Contains(OwnColumns(), field.column)) {
            Unusable({prefix, "il campo ", field.column, " è assegnato dall'importazione"});
        }
        const std::string source = header ? "IE93_NSOTESTATA" : "IE95_NSOCORPO";
        if (!columns.Has(source, field.source)) {
            Unusable({prefix, "il campo ", field.column, " legge ", field.source, ", che non è in ",
                      source});
        }
        field.sourceIsLiteral = Contains(LiteralColumns(), field.source);
        layout.fields.push_back(std::move(field));
    }
    for (const std::string& required : RequiredColumns()) {
        if (layout.SourceOf(required).empty()) {
            Unusable({prefix, "manca il campo ", required});
        }
    }
    return layout;
}

} // namespace kvad::host
