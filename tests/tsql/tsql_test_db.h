#pragma once
// A small SQLite database for the T-SQL translation tests: translates a statement, runs it the
// way the backend does (SELECT INTO creates the table from declared types and hints) and
// returns the rows as text.

#include <sqlite3.h>

#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/text.h"
#include "tsql/tsql_functions.h"
#include "tsql/tsql_translator.h"

namespace kvad::db::testing {

using Rows = std::vector<std::vector<std::string>>;

class TsqlTestDb final : public SchemaLookup {
  public:
    TsqlTestDb() {
        sqlite3* raw = nullptr;
        if (sqlite3_open(":memory:", &raw) != SQLITE_OK) {
            sqlite3_close(raw);
            throw std::runtime_error("cannot open the test database");
        }
        db_.reset(raw);
        RegisterTsqlFunctions(raw);
    }

    /// Creates the tables of tests/tsql/cases/schema.sql.
    void LoadTestSchema() {
        std::ifstream file(std::string(KVAD_SOURCE_DIR) + "/tests/tsql/cases/schema.sql");
        if (!file) {
            throw std::runtime_error("cannot read the test schema");
        }
        std::stringstream text;
        text << file.rdbuf();
        Exec(text.str());
    }

    /// Runs SQLite's own SQL (setup, checks).
    void Exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message != nullptr ? message : "?";
            sqlite3_free(message);
            throw std::runtime_error(text + " in: " + sql);
        }
    }

    /// Rows of a SQLite query, each value as text ("NULL" for Null).
    Rows Native(const std::string& sql) {
        Statement stmt(db_.get(), sql);
        Rows rows;
        while (stmt.Step()) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i) {
                const auto* text = sqlite3_column_text(stmt.get(), i);
                row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "NULL");
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

    Translation Translate(std::string_view tsql) { return TranslateTsql(tsql, *this); }

    /// Translates and runs a statement; a query gives its rows, anything else none.
    Rows Run(std::string_view tsql) { return Execute(Translate(tsql)); }

    /// Runs a translation; a query gives its rows, anything else none.
    Rows Execute(const Translation& translation) {
        switch (translation.kind) {
        case Translation::Kind::Query:
            return Native(translation.sql);
        case Translation::Kind::SelectInto:
            SelectInto(translation);
            return {};
        case Translation::Kind::Command:
            Exec(translation.sql);
            return {};
        case Translation::Kind::Nothing:
            return {};
        }
        return {};
    }

    std::optional<std::vector<ColumnDecl>> TableColumns(std::string_view table) override {
        const std::string schema = table.starts_with('#') ? "temp" : "main";
        Statement stmt(db_.get(), "SELECT name, type, pk FROM pragma_table_info(?1, ?2)");
        stmt.Bind(1, table);
        stmt.Bind(2, schema);
        std::vector<ColumnDecl> columns;
        while (stmt.Step()) {
            ColumnDecl column;
            column.name = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
            column.declType = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 1));
            column.identity = sqlite3_column_int(stmt.get(), 2) == 1 &&
                              (column.declType == "INTEGER" || column.declType == "integer");
            columns.push_back(std::move(column));
        }
        if (columns.empty()) {
            return std::nullopt;
        }
        return columns;
    }

    /// The declared type of each column of a table, "name type" in order (types in lower
    /// case but INTEGER, as SQLite reports some type names in upper case).
    std::vector<std::string> DeclaredColumns(const std::string& table) {
        std::vector<std::string> out;
        for (const ColumnDecl& column : TableColumns(table).value_or(std::vector<ColumnDecl>{})) {
            std::string type = column.declType;
            if (type != "INTEGER") {
                type = AsciiLower(type);
            }
            out.push_back(column.name + " " + type);
        }
        return out;
    }

    /// The connection, for settings a test needs (limits, progress handler).
    [[nodiscard]] sqlite3* Handle() const noexcept { return db_.get(); }

  private:
    class Statement {
      public:
        Statement(sqlite3* db, const std::string& sql) : db_(db) {
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
                throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + sql);
            }
        }
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;
        Statement(Statement&&) = delete;
        Statement& operator=(Statement&&) = delete;
        ~Statement() { sqlite3_finalize(stmt_); }

        bool Step() {
            const int rc = sqlite3_step(stmt_);
            if (rc == SQLITE_ROW) {
                return true;
            }
            if (rc != SQLITE_DONE) {
                throw std::runtime_error(sqlite3_errmsg(db_));
            }
            return false;
        }
        void Bind(int index, std::string_view text) {
            sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
        }
        [[nodiscard]] sqlite3_stmt* get() const { return stmt_; }

      private:
        sqlite3* db_;
        sqlite3_stmt* stmt_ = nullptr;
    };

    static std::string QuotedName(std::string_view name) {
        return "\"" + ReplaceAll(name, "\"", "\"\"") + "\"";
    }

    // As the backend does: the table takes the hinted or declared type of every column.
    void SelectInto(const Translation& translation) {
        std::string create = "CREATE TABLE " + SqliteTableName(translation.intoTable) + " (";
        {
            Statement select(db_.get(), translation.sql);
            for (int i = 0; i < sqlite3_column_count(select.get()); ++i) {
                const std::string name = sqlite3_column_name(select.get(), i);
                std::string type;
                for (const auto& [hintName, hintType] : translation.columnTypes) {
                    if (EqualsNoCase(hintName, name)) {
                        type = hintType;
                    }
                }
                if (type.empty()) {
                    const char* declared = sqlite3_column_decltype(select.get(), i);
                    if (declared == nullptr) {
                        throw std::runtime_error("SELECT INTO: no type for column " + name);
                    }
                    type = declared;
                }
                const bool text = type.find("char") != std::string::npos ||
                                  type.find("text") != std::string::npos;
                create += (i == 0 ? "" : ", ") + QuotedName(name) + " " + type +
                          (text ? " COLLATE NOCASE" : "");
            }
        }
        Exec(create + ")");
        Exec("INSERT INTO " + SqliteTableName(translation.intoTable) + " " + translation.sql);
    }

    struct Closer {
        void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
    };
    std::unique_ptr<sqlite3, Closer> db_;
};

} // namespace kvad::db::testing
