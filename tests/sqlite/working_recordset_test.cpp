#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ado_filter.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "support/expect_error.h"
#include "temp_database.h"

namespace kvad::test {
namespace {

class Recordset : public TempDatabase {
  protected:
    void SetUp() override {
        TempDatabase::SetUp();
        Native("CREATE TABLE NODI (ID INTEGER PRIMARY KEY, CODICE varchar(20) COLLATE NOCASE, "
               "PADRE varchar(50) COLLATE NOCASE, LIVELLO int, STATO int DEFAULT 7);"
               "INSERT INTO NODI VALUES (1, 'AB1', NULL, 0, 0);"
               "INSERT INTO NODI VALUES (2, 'O''Brien', 'A#1', 1, 0);"
               "INSERT INTO NODI VALUES (3, 'ab3', 'A#1', 2, 0);"
               "INSERT INTO NODI VALUES (4, 'XY4', NULL, 0, 0);");
    }

    /// The IDs of the visible rows, in order, read from the first.
    static std::vector<long> Ids(kvad::Recordset& rs) {
        std::vector<long> ids;
        if (rs.RecordCount() == 0) {
            return ids;
        }
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
            ids.push_back(rs.Value("id").ToLong());
        }
        return ids;
    }
};

TEST_F(Recordset, FilterReadsNullsOrGroupsAndQuotes) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI ORDER BY ID");
    rs->SetFilter("PADRE = NULL");
    EXPECT_EQ(Ids(*rs), (std::vector<long>{1, 4}));
    rs->SetFilter("PADRE <> NULL AND (LIVELLO = 2 OR LIVELLO = 7)");
    EXPECT_EQ(Ids(*rs), std::vector<long>{3});
    rs->SetFilter("(PADRE = NULL AND LIVELLO = 0) OR (CODICE = 'o''brien')");
    EXPECT_EQ(Ids(*rs), (std::vector<long>{1, 2, 4}));
    rs->SetFilter("CODICE LIKE 'ab*' AND ID >= 2");
    EXPECT_EQ(Ids(*rs), std::vector<long>{3});
    rs->SetFilter("PADRE = 'A#1' AND LIVELLO > 5");
    EXPECT_TRUE(rs->Bof() && rs->Eof());
    EXPECT_EQ(rs->AbsolutePosition(), kvad::Recordset::kPosUnknown);
    rs->SetFilter("");
    EXPECT_EQ(rs->RecordCount(), 4);
}

TEST_F(Recordset, TextFilterFollowsEditsAndNewRows) {
    // A filter that starts with "field = 'text'" reads the rows holding that text only; what
    // it finds must follow every change of the rows, made through any clone.
    auto rs = connection->OpenRecordset("SELECT * FROM NODI ORDER BY ID");
    auto writer = rs->Clone();
    rs->SetFilter("PADRE = 'a#1'");
    EXPECT_EQ(Ids(*rs), (std::vector<long>{2, 3}));

    writer->SetFilter("ID = 3");
    writer->SetValue("PADRE", std::string("B#2"));
    writer->Update();
    rs->SetFilter("PADRE = 'A#1'");
    EXPECT_EQ(Ids(*rs), std::vector<long>{2});
    rs->SetFilter("PADRE = 'b#2' AND LIVELLO = 2");
    EXPECT_EQ(Ids(*rs), std::vector<long>{3});

    writer->SetFilter("ID = 2");
    writer->SetValue("LIVELLO", std::int32_t{8});
    writer->Update();
    writer->AddNew();
    writer->SetValue("ID", std::int32_t{5});
    writer->SetValue("PADRE", std::string("A#1"));
    writer->Update();
    rs->SetFilter("PADRE = 'A#1' AND LIVELLO = 8");
    EXPECT_EQ(Ids(*rs), std::vector<long>{2});
    rs->SetFilter("PADRE = 'A#1'");
    EXPECT_EQ(Ids(*rs), (std::vector<long>{2, 5}));

    // A text compared with a number field is read as a number, row by row.
    rs->SetFilter("LIVELLO = '8'");
    EXPECT_EQ(Ids(*rs), std::vector<long>{2});
    // Every clone moves among the rows the others wrote.
    rs->SetFilter("");
    rs->MoveLast();
    EXPECT_EQ(rs->Value("PADRE").Text(), "A#1");
    rs->MovePrevious();
    EXPECT_EQ(rs->Value("ID").ToLong(), 4);
}

TEST_F(Recordset, FilterThatDoesNotReadIsRefused) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI ORDER BY ID");
    for (const char* filter : {"LIVELLO = ", "CODICE = 'unclosed", "LIVELLO = 'abc'"}) {
        test::ExpectVbError(3001, [&] { rs->SetFilter(filter); });
    }
    test::ExpectVbError(3265, [&] { rs->SetFilter("NOPE = 1"); });
    EXPECT_EQ(rs->Filter(), "");
}

TEST_F(Recordset, FilterRunsOfAnyLengthAndBoundedNesting) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI ORDER BY ID");
    std::string chain = "LIVELLO = 9";
    for (int i = 0; i < 100'000; ++i) {
        chain += i % 2 == 0 ? " OR LIVELLO = 9" : " AND ID = 1";
    }
    rs->SetFilter(chain + " OR ID = 4");
    EXPECT_EQ(Ids(*rs), std::vector<long>{4});

    const auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '(') + "ID = 2" +
               std::string(static_cast<std::size_t>(depth), ')');
    };
    rs->SetFilter(nested(kvad::db::AdoFilter::kMaxNesting));
    EXPECT_EQ(Ids(*rs), std::vector<long>{2});
    ExpectVbError(3001, [&] { rs->SetFilter(nested(kvad::db::AdoFilter::kMaxNesting + 1)); });
    ExpectVbError(3001, [&] { rs->SetFilter(nested(1'000'000)); });
    EXPECT_EQ(rs->Filter(), nested(kvad::db::AdoFilter::kMaxNesting));
}

TEST_F(Recordset, SortOrdersByKeysWithNullsFirst) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI");
    rs->SetSort("LIVELLO DESC, ID");
    EXPECT_EQ(Ids(*rs), (std::vector<long>{3, 2, 1, 4}));
    rs->SetSort("PADRE, ID DESC");
    EXPECT_EQ(Ids(*rs), (std::vector<long>{4, 1, 3, 2}));
    rs->SetFilter("LIVELLO = 0");
    rs->SetSort("[CODICE] DESC");
    EXPECT_EQ(Ids(*rs), (std::vector<long>{4, 1}));
    test::ExpectVbError(3001, [&] { rs->SetSort("ID SIDEWAYS"); });
}

TEST_F(Recordset, AbsolutePositionMovesAmongTheVisibleRows) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI ORDER BY ID");
    rs->SetSort("ID DESC");
    rs->SetAbsolutePosition(3);
    EXPECT_EQ(rs->Value("ID").ToLong(), 2);
    EXPECT_EQ(rs->AbsolutePosition(), 3);
    rs->SetValue("LIVELLO", std::int32_t{9}); // written by the move, as by any other
    rs->SetAbsolutePosition(1);
    EXPECT_EQ(rs->Value("ID").ToLong(), 4);
    EXPECT_EQ(Scalar("SELECT LIVELLO FROM NODI WHERE ID = 2"), 9);
    rs->SetFilter("PADRE = NULL");
    rs->SetAbsolutePosition(2);
    EXPECT_EQ(rs->Value("ID").ToLong(), 1);
    test::ExpectVbError(3001, [&] { rs->SetAbsolutePosition(3); });
    test::ExpectVbError(3001, [&] { rs->SetAbsolutePosition(0); });

    auto read = connection->Query("SELECT ID FROM NODI ORDER BY ID");
    read->SetAbsolutePosition(4);
    EXPECT_EQ(read->Value(0).ToLong(), 4);
    test::ExpectVbError(3001, [&] { read->SetAbsolutePosition(5); });
}

TEST_F(Recordset, RequerySeesNewRowsAndKeepsFilterAndSort) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI");
    rs->SetFilter("LIVELLO = 0");
    rs->SetSort("ID DESC");
    connection->Execute("INSERT INTO NODI (ID, CODICE, LIVELLO) VALUES (9, 'NEW', 0)");
    EXPECT_EQ(rs->RecordCount(), 2);
    rs->Requery();
    EXPECT_EQ(rs->Filter(), "LIVELLO = 0");
    EXPECT_EQ(Ids(*rs), (std::vector<long>{9, 4, 1}));
}

TEST_F(Recordset, AddNewGivesTheIdentityAndStaysVisible) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI");
    rs->SetFilter("LIVELLO = 2");
    rs->AddNew();
    rs->SetValue("CODICE", "NEW");
    rs->SetValue("LIVELLO", std::int32_t{0});
    rs->Update();
    const long id = rs->Value("ID").ToLong();
    EXPECT_EQ(id, Scalar("SELECT MAX(ID) FROM NODI"));
    EXPECT_EQ(rs->RecordCount(), 2);

    rs->AddNew();
    rs->SetValue("CODICE", "DROPPED");
    rs->CancelUpdate();
    EXPECT_EQ(rs->Value("ID").ToLong(), id);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM NODI"), 5);
}

// Rows added with other columns given each go in with their own: the INSERT a set keeps for a
// list of columns is used again for that list only.
TEST_F(Recordset, RowsAddedWithOtherColumnsGiveTheirOwn) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI WHERE 1 = 0");
    for (int i = 0; i < 40; ++i) {
        rs->AddNew();
        rs->SetValue("CODICE", "R" + std::to_string(i));
        if (i % 2 == 1) {
            rs->SetValue("LIVELLO", std::int32_t{i});
        }
        if (i % 3 == 0) {
            rs->SetValue("STATO", std::int32_t{i});
        }
        for (int c = 0; c < i % 20; ++c) {
            rs->SetValue("PADRE", "P" + std::to_string(c)); // the same column set again
        }
        rs->Update();
    }
    auto read = connection->Query("SELECT CODICE, LIVELLO, STATO, PADRE FROM NODI WHERE ID > 4 "
                                  "ORDER BY ID");
    std::string rows;
    for (; !read->Eof(); read->MoveNext()) {
        rows += read->Value("CODICE").Text() + "," + read->Value("LIVELLO").Text() + "," +
                read->Value("STATO").Text() + "," + read->Value("PADRE").Text() + ";";
    }
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        expected += "R" + std::to_string(i) + "," + (i % 2 == 1 ? std::to_string(i) : "") + "," +
                    std::to_string(i % 3 == 0 ? i : 7) + "," +
                    (i % 20 > 0 ? "P" + std::to_string(i % 20 - 1) : "") + ";";
    }
    EXPECT_EQ(rows, expected);
}

// An inserted row is read back on its first use, not at once: a filter, a sort or an edit
// that comes first still sees the defaults the database gave it.
TEST_F(Recordset, AnInsertedRowIsReadBackBeforeAFilterOrAnEditUsesIt) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI WHERE 1 = 0");
    for (const char* code : {"N1", "N2"}) {
        rs->AddNew();
        rs->SetValue("CODICE", code);
        rs->Update();
    }
    rs->SetFilter("STATO = 7");
    EXPECT_EQ(rs->RecordCount(), 2);
    rs->SetFilter("");
    rs->SetSort("STATO DESC, CODICE");
    rs->MoveFirst();
    EXPECT_EQ(rs->Value("CODICE").Text(), "N1");

    rs->AddNew();
    rs->SetValue("CODICE", "N3");
    rs->Update();
    const long id = rs->Value("ID").ToLong();
    rs->SetValue("LIVELLO", std::int32_t{4});
    rs->Update();
    EXPECT_EQ(rs->Value("STATO").ToLong(), 7);
    EXPECT_EQ(Scalar("SELECT STATO FROM NODI WHERE ID = " + std::to_string(id)), 7);
}

// A loaded row's cells are decoded when first read: an edit, a failed edit, a clone, a filter
// or a sort that comes before a cell is read still sees it as loaded.
TEST_F(Recordset, CellsReadLateSeeTheRowAsLoadedOrAsEdited) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI ORDER BY ID");
    auto clone = rs->Clone();
    rs->MoveNext();
    rs->SetValue("CODICE", "Z2");
    rs->Update();
    EXPECT_EQ(rs->Value("PADRE").Text(), "A#1");
    EXPECT_EQ(rs->Value("LIVELLO").Type(), VarType::Long);
    EXPECT_EQ(rs->Value("LIVELLO").ToLong(), 1);
    clone->MoveNext();
    EXPECT_EQ(clone->Value("CODICE").Text(), "Z2");
    EXPECT_EQ(clone->Value("ID").ToLong(), 2);

    rs->MoveNext();
    rs->SetValue("LIVELLO", "abc");
    EXPECT_THROW(rs->Update(), DbError);
    rs->CancelUpdate();
    EXPECT_EQ(rs->Value("LIVELLO").ToLong(), 2);
    EXPECT_EQ(rs->Value("CODICE").Text(), "ab3");

    clone->SetSort("PADRE DESC, CODICE");
    EXPECT_EQ(Ids(*clone), (std::vector<long>{3, 2, 1, 4}));
    clone->SetFilter("STATO = 0 AND LIVELLO > 0");
    EXPECT_EQ(Ids(*clone), (std::vector<long>{3, 2}));
    EXPECT_TRUE(rs->Clone()->Value("PADRE").IsNull());
}

// A new row whose INSERT fails stays as it was given, to be mended and sent again; a value
// given as Empty goes in as Null.
TEST_F(Recordset, AFailedInsertKeepsTheNewRowForAnotherTry) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI WHERE 1 = 0");
    rs->AddNew();
    rs->SetValue("CODICE", "AGAIN");
    rs->SetValue("PADRE", Variant());
    rs->SetValue("LIVELLO", "abc");
    EXPECT_THROW(rs->Update(), DbError);
    EXPECT_EQ(rs->Value("CODICE").Text(), "AGAIN");
    EXPECT_TRUE(rs->Value("PADRE").IsNull());
    rs->SetValue("LIVELLO", std::int32_t{3});
    rs->Update();
    EXPECT_EQ(rs->Value("CODICE").Text(), "AGAIN");
    EXPECT_TRUE(rs->Value("PADRE").IsNull());
    auto stored = connection->Query("SELECT LIVELLO, PADRE FROM NODI WHERE CODICE = 'AGAIN'");
    ASSERT_EQ(stored->RecordCount(), 1);
    EXPECT_EQ(stored->Value("LIVELLO").ToLong(), 3);
    EXPECT_TRUE(stored->Value("PADRE").IsNull());
}

// A row inserted before a rollback is not read back after it: its rowid may be another row's.
TEST_F(Recordset, ARowInsertedBeforeARollbackKeepsTheValuesGiven) {
    auto rs = connection->OpenRecordset("SELECT * FROM NODI WHERE 1 = 0");
    connection->BeginTrans();
    rs->AddNew();
    rs->SetValue("CODICE", "GONE");
    rs->Update();
    connection->RollbackTrans();
    connection->Execute("INSERT INTO NODI (CODICE, STATO) VALUES ('OTHER', 3)");
    EXPECT_EQ(rs->Value("CODICE").Text(), "GONE");
    EXPECT_TRUE(rs->Value("STATO").IsNull());
}

TEST_F(Recordset, UniqueTableSendsUpdatesToThatTableOnly) {
    Native("CREATE TABLE DECOD (DID INTEGER PRIMARY KEY, ID_NODO int, STATUS int);"
           "INSERT INTO DECOD VALUES (10, 1, 0);");
    auto rs = connection->OpenRecordset(
        "SELECT NODI.*, DECOD.* FROM NODI LEFT OUTER JOIN DECOD ON DECOD.ID_NODO = NODI.ID "
        "ORDER BY NODI.ID");
    rs->SetProperty("Unique Table", "DECOD");
    auto clone = rs->Clone();
    clone->SetFilter("ID_NODO = 1");
    clone->SetValue("STATUS", std::int32_t{3});
    clone->SetValue("CODICE", "CHANGED");
    clone->Update();
    EXPECT_EQ(rs->Value("STATUS").ToLong(), 3);
    EXPECT_EQ(Scalar("SELECT STATUS FROM DECOD"), 3);
    EXPECT_EQ(connection->Query("SELECT CODICE FROM NODI WHERE ID = 1")->Value(0).Text(), "AB1");

    // The row without a DECOD row cannot be located there.
    rs->MoveNext();
    rs->SetValue("STATUS", std::int32_t{1});
    EXPECT_THROW(rs->Update(), DbError);
    rs->CancelUpdate();
    test::ExpectVbError(3001, [&] { rs->SetProperty("Unique Table", "NOT_IN_QUERY"); });
}

TEST_F(Recordset, TemporaryTableRowsAreWrittenBack) {
    connection->Execute("SELECT CODICE, LIVELLO INTO #TMP FROM NODI");
    auto rs = connection->OpenRecordset("SELECT T.* FROM #TMP AS T ORDER BY CODICE");
    rs->SetFilter("CODICE = 'XY4'");
    rs->SetValue("LIVELLO", std::int32_t{8});
    rs->Update();
    EXPECT_EQ(Scalar("SELECT LIVELLO FROM #TMP WHERE CODICE = 'XY4'"), 8);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM #TMP WHERE LIVELLO = 8"), 1);
}

TEST_F(Recordset, FieldsByNameIgnoreCaseAndFindTheFirstOfAName) {
    // Names alike in length and in their first and last eight characters, names that differ in
    // a character that is no letter ('@' and '`' differ only in bit 0x20), short names, and a
    // name repeated with another case: each is told apart, and a repeated name is its first.
    auto rs = connection->OpenRecordset(
        "SELECT 1 AS [LONGNAME_1_SUFFIXES], 2 AS [LONGNAME_2_SUFFIXES], 3 AS [a@b], "
        "4 AS [a`b], 5 AS [Id], 6 AS [ID], 7 AS [x], 8 AS [longname_1_suffixes] FROM NODI");
    const std::vector<std::pair<std::string, long>> found = {{"LONGNAME_1_SUFFIXES", 1},
                                                             {"longname_2_suffixes", 2},
                                                             {"A@B", 3},
                                                             {"a`b", 4},
                                                             {"ID", 5},
                                                             {"X", 7},
                                                             {"longname_1_suffixes", 1}};
    for (const auto& [name, value] : found) {
        EXPECT_EQ(rs->Value(name).ToLong(), value) << name;
    }
    for (const char* missing : {"LONGNAME_3_SUFFIXES", "a!b", ""}) {
        EXPECT_FALSE(rs->HasField(missing)) << missing;
    }
    test::ExpectVbError(3265, [&] { (void)rs->Value("LONGNAME_1_SUFFIXE"); });
}

TEST_F(Recordset, OnePassResultIsReadOnlyAndRunsAgain) {
    auto rs = connection->Query("SELECT ID, CODICE FROM NODI ORDER BY ID");
    EXPECT_EQ(rs->RecordCount(), 4);
    EXPECT_EQ(rs->Value("ID").ToLong(), 1);
    test::ExpectVbError(3265, [&] { (void)rs->Value("MISSING"); });
    test::ExpectVbError(3251, [&] { rs->SetValue("CODICE", "X"); });
    test::ExpectVbError(3251, [&] { rs->SetFilter("ID = 1"); });
    while (!rs->Eof()) {
        rs->MoveNext();
    }
    test::ExpectVbError(3021, [&] { (void)rs->Value("ID"); });
    test::ExpectVbError(3021, [&] { rs->MoveNext(); });

    // It runs again: back from the end, or anew.
    rs->MoveFirst();
    EXPECT_EQ(rs->AbsolutePosition(), 1);
    connection->Execute("DELETE FROM NODI WHERE ID = 1");
    rs->Requery();
    EXPECT_EQ(rs->RecordCount(), 3);
    EXPECT_EQ(rs->Value("ID").ToLong(), 2);

    auto empty = connection->Query("SELECT * FROM NODI WHERE ID = 0");
    EXPECT_TRUE(empty->Bof() && empty->Eof());
    EXPECT_EQ(empty->RecordCount(), 0);
}

} // namespace
} // namespace kvad::test
