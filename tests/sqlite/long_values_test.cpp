// Long texts of a large result are kept out of its rows: every value read is the value the
// rows were read with, for fields, filters, sorts and writes alike.
#include <gtest/gtest.h>

#include <string>

#include "kvad_nso/recordset.h"
#include "long_values.h"
#include "temp_database.h"

namespace kvad::test {
namespace {

TEST(LongValues, ShortTextsAndTheFirstMegabytesStayInTheRows) {
    db::LongValues values;
    EXPECT_FALSE(values.Keep(std::string(db::LongValues::kMinBytes - 1, 'a')));
    const std::string text(db::LongValues::kMinBytes, 'b');
    std::size_t inRows = 0;
    while (!values.Keep(text)) {
        inRows += text.size();
        ASSERT_LE(inRows, db::LongValues::kInRowsBytes);
    }
    EXPECT_GT(inRows + text.size(), db::LongValues::kInRowsBytes);
    const auto handle = values.Keep("c" + text);
    ASSERT_TRUE(handle);
    EXPECT_EQ(values.Read(*handle), "c" + text);
    EXPECT_EQ(values.Read(*handle - 1), text);
}

class LongValuesTest : public TempDatabase {
  protected:
    static constexpr int kRows = 300;

    /// A text of 32 KB that differs from the others of the table in its end.
    static std::string Text(int id) {
        return std::string(std::size_t{32} * 1024, 'x') + "<" + std::to_string(id * 7) + ">";
    }

    void SetUp() override {
        TempDatabase::SetUp();
        static_assert(std::size_t{kRows} * 32 * 1024 > db::LongValues::kInRowsBytes,
                      "more long text than a result keeps in its rows");
        Native("CREATE TABLE DOCUMENTI (ID INTEGER PRIMARY KEY, NOME varchar(20), XML ntext)");
        connection->BeginTrans();
        for (int id = 1; id <= kRows; ++id) {
            connection->Execute("INSERT INTO DOCUMENTI (ID, NOME, XML) VALUES (" +
                                std::to_string(id) + ", 'd" + std::to_string(id) + "', '" +
                                Text(id) + "')");
        }
        connection->CommitTrans();
    }
};

TEST_F(LongValuesTest, EveryValueReadIsTheValueTheRowsWereReadWith) {
    auto rs = connection->OpenRecordset("SELECT * FROM DOCUMENTI ORDER BY ID");
    auto read = connection->Query("SELECT XML, ID FROM DOCUMENTI ORDER BY ID");
    // The table changes afterwards: the recordsets keep what they read.
    connection->Execute("UPDATE DOCUMENTI SET XML = 'changed' WHERE ID > 150");
    for (int id = 1; !rs->Eof(); rs->MoveNext(), read->MoveNext(), ++id) {
        ASSERT_EQ(rs->Value("XML").Text(), Text(id)) << id;
        ASSERT_EQ(read->Value(0).Text(), Text(id)) << id;
    }
    EXPECT_EQ(rs->Clone()->Value("XML").Text(), Text(1)) << "clones share the rows";

    // Filters and sorts on the long field see the values too.
    rs->SetFilter("XML LIKE '*<" + std::to_string(250 * 7) + ">'");
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Value("ID").ToLong(), 250);
    rs->SetFilter("");
    rs->SetSort("XML DESC");
    EXPECT_EQ(rs->Value("ID").ToLong(), 142) << "'...<994>' sorts first";

    // A written value replaces the kept one; the others stay.
    rs->SetSort("ID");
    rs->SetAbsolutePosition(200);
    rs->SetValue("XML", std::string("new"));
    rs->Update();
    EXPECT_EQ(rs->Value("XML").Text(), "new");
    rs->MoveNext();
    EXPECT_EQ(rs->Value("XML").Text(), Text(201));
    EXPECT_EQ(connection->Query("SELECT XML FROM DOCUMENTI WHERE ID = 200")->Value(0).Text(),
              "new");
}

} // namespace
} // namespace kvad::test
