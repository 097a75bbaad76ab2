// Statements, translations and result descriptions kept by a connection: what is read and
// written through them is what a statement prepared afresh reads and writes.
#include <gtest/gtest.h>

#include <string>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "sqlite_connection.h"
#include "support/expect_error.h"
#include "temp_database.h"

namespace kvad::test {
namespace {

class StatementReuse : public TempDatabase {
  protected:
    void SetUp() override {
        TempDatabase::SetUp();
        Native("CREATE TABLE RIGHE (ID INTEGER PRIMARY KEY AUTOINCREMENT, DOC int NOT NULL, "
               "QTA decimal(19,6), DATA datetime, NOTA varchar(20) COLLATE NOCASE, "
               "STATO smallint DEFAULT 3);"
               "CREATE TABLE NOTE (ID INTEGER PRIMARY KEY, TESTO varchar(20) COLLATE NOCASE, "
               "LUNGHEZZA int);"
               "CREATE TRIGGER NOTE_LUNGHEZZA AFTER INSERT ON NOTE BEGIN UPDATE NOTE SET "
               "LUNGHEZZA = length(NEW.TESTO), TESTO = upper(NEW.TESTO) WHERE ID = NEW.ID; END;");
    }

    /// Every field of the recordset's current row equals, in type and value, the same field
    /// of the row read afresh from the table by its ID.
    void ExpectAsStored(kvad::Recordset& rs, const std::string& table) {
        auto fresh = Open()->OpenRecordset(
            "SELECT * FROM " + table + " WHERE ID = " + std::to_string(rs.Value("ID").ToLong()));
        ASSERT_EQ(fresh->RecordCount(), 1);
        ASSERT_EQ(fresh->FieldCount(), rs.FieldCount());
        for (int i = 0; i < rs.FieldCount(); ++i) {
            EXPECT_EQ(rs.Value(i).Type(), fresh->Value(i).Type()) << rs.FieldName(i);
            EXPECT_EQ(rs.Value(i), fresh->Value(i)) << rs.FieldName(i);
        }
    }
};

TEST_F(StatementReuse, WrittenRowsReadBackAsStoredWithAndWithoutTriggers) {
    auto rs = connection->OpenRecordset("SELECT * FROM RIGHE WHERE DOC = 0");
    rs->AddNew();
    rs->SetValue("DOC", std::int32_t{7});
    rs->SetValue("QTA", std::string("12.50"));
    rs->SetValue("DATA", std::string("2024-03-05"));
    rs->Update();
    EXPECT_EQ(rs->Value("ID").ToLong(), 1) << "the identity the table gave";
    EXPECT_EQ(rs->Value("STATO").ToLong(), 3) << "the column's default";
    EXPECT_EQ(rs->Value("DATA").Type(), VarType::Date) << "text stored as a date";
    ExpectAsStored(*rs, "RIGHE");

    rs->SetValue("QTA", std::string("7.25"));
    rs->SetValue("NOTA", std::string("aggiornata"));
    rs->Update();
    EXPECT_EQ(rs->Value("QTA").Type(), VarType::Decimal);
    ExpectAsStored(*rs, "RIGHE");

    // A caller-given identity is the row's identity.
    rs->AddNew();
    rs->SetValue("ID", std::int32_t{100});
    rs->SetValue("DOC", std::int32_t{7});
    rs->Update();
    EXPECT_EQ(rs->Value("ID").ToLong(), 100);
    ExpectAsStored(*rs, "RIGHE");

    // A trigger changes the row after the insert: the recordset shows what it left.
    auto notes = connection->OpenRecordset("SELECT * FROM NOTE WHERE ID = 0");
    notes->AddNew();
    notes->SetValue("TESTO", std::string("abc"));
    notes->Update();
    EXPECT_EQ(notes->Value("TESTO").Text(), "ABC");
    EXPECT_EQ(notes->Value("LUNGHEZZA").ToLong(), 3);
    ExpectAsStored(*notes, "NOTE");
}

TEST_F(StatementReuse, UpdatedValuesReadAsStoredInColumnsOfEveryAffinity) {
    // Whole numbers and Null are kept as bound by numeric columns and taken without reading them
    // back; a text or float column converts them, a trigger or a conflict clause may change
    // them: those are read.
    Native("CREATE TABLE VALORI (ID INTEGER PRIMARY KEY, I int, S smallint, D decimal(19,6), "
           "T varchar(10), F float, U, B bit, DT datetime, BL blob);"
           "INSERT INTO VALORI (ID) VALUES (1);"
           "CREATE TRIGGER NOTE_DIECI AFTER UPDATE OF LUNGHEZZA ON NOTE BEGIN UPDATE NOTE SET "
           "LUNGHEZZA = NEW.LUNGHEZZA * 10 WHERE ID = NEW.ID; END;"
           "INSERT INTO NOTE (ID, TESTO) VALUES (1, 'x');"
           "CREATE TABLE STATI (ID INTEGER PRIMARY KEY, STATO smallint NOT NULL ON CONFLICT "
           "REPLACE DEFAULT 7);"
           "INSERT INTO STATI (ID, STATO) VALUES (1, 2);");
    auto rs = connection->OpenRecordset("SELECT * FROM VALORI WHERE ID = 1");
    for (const Variant& value : {Variant(std::int32_t{5}), Variant(std::int16_t{-2}), Variant(true),
                                 Variant(false), Variant::Null()}) {
        for (const char* column : {"I", "S", "D", "T", "F", "U", "B", "DT", "BL"}) {
            rs->SetValue(column, value);
        }
        rs->Update();
        ExpectAsStored(*rs, "VALORI");
    }
    EXPECT_EQ(rs->Value("S").Type(), VarType::Null);

    auto notes = connection->OpenRecordset("SELECT * FROM NOTE WHERE ID = 1");
    notes->SetValue("LUNGHEZZA", std::int32_t{4});
    notes->Update();
    EXPECT_EQ(notes->Value("LUNGHEZZA").ToLong(), 40) << "what the trigger left";
    ExpectAsStored(*notes, "NOTE");

    auto states = connection->OpenRecordset("SELECT * FROM STATI WHERE ID = 1");
    states->SetValue("STATO", Variant::Null());
    states->Update();
    EXPECT_EQ(states->Value("STATO").ToLong(), 7) << "the default stored for a Null";
    ExpectAsStored(*states, "STATI");
}

TEST_F(StatementReuse, KeptStatementsAreReboundForEachRow) {
    auto rs = connection->OpenRecordset("SELECT * FROM RIGHE WHERE DOC = 0");
    const auto add = [&](int doc, const std::string& nota) {
        rs->AddNew();
        rs->SetValue("DOC", std::int32_t{doc});
        rs->SetValue("NOTA", nota);
        rs->Update();
    };
    add(1, "prima");
    const std::size_t kept = Sqlite().KeptStatements();
    for (int doc = 2; doc <= 20; ++doc) {
        add(doc, "riga " + std::to_string(doc));
    }
    EXPECT_EQ(Sqlite().KeptStatements(), kept) << "the insert is prepared once";
    auto stored = connection->Query("SELECT DOC, NOTA FROM RIGHE ORDER BY ID");
    ASSERT_EQ(stored->RecordCount(), 20);
    for (int doc = 1; !stored->Eof(); stored->MoveNext(), ++doc) {
        EXPECT_EQ(stored->Value("DOC").ToLong(), doc);
        EXPECT_EQ(stored->Value("NOTA").Text(), doc == 1 ? "prima" : "riga " + std::to_string(doc));
    }
}

TEST_F(StatementReuse, KeptWorkFollowsSchemaChanges) {
    const std::string select = "SELECT * FROM RIGHE WHERE DOC = 1";
    const auto fields = [&] { return connection->OpenRecordset(select)->FieldCount(); };
    EXPECT_EQ(fields(), 6);
    EXPECT_EQ(connection->Query(select)->FieldCount(), 6);
    db::ExecuteNativeScript(*Open(), "ALTER TABLE RIGHE ADD COLUMN EXTRA varchar(10)");
    EXPECT_EQ(connection->Execute("INSERT INTO RIGHE (DOC, EXTRA) VALUES (1, 'nuova')"), 1);
    auto rs = connection->OpenRecordset(select);
    ASSERT_EQ(rs->FieldCount(), 7) << "a column added by another connection";
    EXPECT_EQ(rs->Value("EXTRA").Text(), "nuova");
    EXPECT_EQ(connection->Query(select)->FieldCount(), 7);

    // A change another connection makes between two transactions of this one.
    connection->BeginTrans();
    EXPECT_EQ(fields(), 7);
    connection->CommitTrans();
    db::ExecuteNativeScript(*Open(), "ALTER TABLE RIGHE ADD COLUMN ALTRA varchar(10)");
    connection->BeginTrans();
    EXPECT_EQ(fields(), 8);

    // One this connection makes inside its transaction; a nested level rolled back takes its
    // definitions with it.
    Sqlite().ExecuteNative("ALTER TABLE RIGHE ADD COLUMN TERZA varchar(10)");
    EXPECT_EQ(fields(), 9) << "a column added natively";
    connection->BeginTrans();
    Sqlite().ExecuteNative("ALTER TABLE RIGHE ADD COLUMN QUARTA varchar(10)");
    EXPECT_EQ(fields(), 10);
    connection->RollbackTrans();
    EXPECT_EQ(fields(), 9) << "the column was undone";
    EXPECT_EQ(connection->Execute("INSERT INTO RIGHE (DOC, TERZA) VALUES (1, 'terza')"), 1);
    connection->CommitTrans();
    EXPECT_EQ(connection->Query("SELECT TERZA FROM RIGHE WHERE TERZA IS NOT NULL")->Value(0).Text(),
              "terza");
}

TEST_F(StatementReuse, KeptWorkFollowsTemporaryTables) {
    EXPECT_EQ(connection->Execute("INSERT INTO RIGHE (DOC) VALUES (1)"), 1);
    // Dropping a temporary table that is not there does nothing; once it exists, the same
    // statement drops it.
    const std::string drop = "IF NOT OBJECT_ID('tempdb..#LAVORO') IS NULL DROP TABLE #LAVORO";
    EXPECT_EQ(connection->Execute(drop), 0);
    connection->Execute("SELECT DOC INTO #LAVORO FROM RIGHE");
    EXPECT_EQ(connection->Query("SELECT * FROM #LAVORO")->RecordCount(), 1);
    connection->Execute(drop);
    ExpectDbError("42000", [&] { (void)connection->Query("SELECT * FROM #LAVORO"); });

    // The same inside a transaction.
    connection->BeginTrans();
    connection->Execute("SELECT DOC INTO #LAVORO FROM RIGHE");
    EXPECT_EQ(connection->Query("SELECT * FROM #LAVORO")->FieldCount(), 1);
    connection->Execute("DROP TABLE #LAVORO");
    ExpectDbError("42000", [&] { (void)connection->Query("SELECT * FROM #LAVORO"); });
    connection->CommitTrans();
}

} // namespace
} // namespace kvad::test
