#include "verification/error_log.h"

#include <gtest/gtest.h>

#include "support/log_entries.h"
#include "support/test_env.h"

namespace kvad::nso {
namespace {

class ErrorLogTest : public ::testing::Test {
  protected:
    Variant Message(std::size_t row = 0) { return kvad::test::ReadLog(env.Db()).at(row).message; }
    long Entries(const std::string& where = "") {
        return static_cast<long>(kvad::test::ReadLog(env.Db(), where).size());
    }
    test::TestEnv env;
};

TEST_F(ErrorLogTest, CatalogueTextWithPlaceholdersInIndexOrderOrNullWithoutARow) {
    const VariantArray params{"OCL  ", "A", std::int32_t{12}, DateTime{2024, 3, 5}};
    ScriviErrorLog(env.S(), 7, 0, 0, 15, "", 3, 3, "", &params);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    const std::string text = Message().Text();
    EXPECT_NE(text.find("OCL"), std::string::npos);
    EXPECT_EQ(text.find("OCL  "), std::string::npos) << "values are right-trimmed";
    EXPECT_NE(text.find("05/03/2024"), std::string::npos);
    EXPECT_EQ(text.find('%'), std::string::npos) << text;

    // With ten values, %1 is replaced before %10.
    VariantArray ten;
    for (char c = 'a'; c <= 'j'; ++c) {
        ten.emplace_back(std::string(1, c));
    }
    ScriviErrorLog(env.S(), 7, 0, 0, 15, "", 3, 3, "x %10 y %1", &ten);
    EXPECT_EQ(Message(1).Text(), "x a0 y a");

    // A code without a catalogue row leaves the message Null; the field is kept.
    ScriviErrorLog(env.S(), 7, 0, 0, 9999, "IE93_X", 2, 1, "", &params);
    EXPECT_EQ(env.S().Stato, kaOK);
    EXPECT_TRUE(Message(2).IsNull());
    EXPECT_EQ(kvad::test::ReadLog(env.Db()).at(2).field.Text(), "IE93_X");
}

TEST_F(ErrorLogTest, MessagesAreCutKeptIntactOrStoredAsNull) {
    ScriviErrorLog(env.S(), 7, 0, 0, 12, "", 3, 1, std::string(1500, 'x'));
    ScriviErrorLog(env.S(), 7, 0, 0, 12, "", 3, 1, "l'ordine \"vecchio\"");
    ScriviErrorLog(env.S(), 7, 0, 0, 12, "", 3, 1, "    ");
    ScriviErrorLog(env.S(), 7, 0, 0, 12, "", 3, 1, Variant());
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(Message(0).Text().size(), 1024U);
    EXPECT_EQ(Message(1).Text(), "l'ordine \"vecchio\"");
    EXPECT_TRUE(Message(2).IsNull());
    EXPECT_TRUE(Message(3).IsNull());
    EXPECT_TRUE(kvad::test::ReadLog(env.Db()).at(0).field.IsNull());
}

TEST_F(ErrorLogTest, DeletionRespectsHeaderLineContextAndField) {
    auto write = [&](std::int32_t id, std::int32_t line, std::int32_t context,
                     const std::string& field) {
        ScriviErrorLog(env.S(), id, line * 10, line, 200, field, 2, context, "m");
    };
    write(7, 0, 1, "A");
    write(7, 0, 3, "B");
    write(7, 7, 1, "A");
    write(7, 8, 1, "A");
    write(7, 7, 3, "B");
    write(8, 7, 1, "A");

    EliminaLogErrors(env.S(), 7, false, true, 1, 7, "");
    EXPECT_EQ(Entries(), 5) << "only line 7 of context 1 of order 7";
    EXPECT_EQ(Entries("IE98_PROGRIGA_DO30 = 0"), 2)
        << "the line statement never touches the header";

    EliminaLogErrors(env.S(), 7, true, false, 0, 0, "B");
    EXPECT_EQ(Entries("IE98_ID_IE91 = 7 AND IE98_PROGRIGA_DO30 = 0"), 1);

    // Flags count only when exactly True: 1 is not True.
    EliminaLogErrors(env.S(), 7, std::int32_t{1}, std::int32_t{1}, 0, 0, "");
    EXPECT_EQ(Entries(), 4);
    EliminaLogErrors(env.S(), 7, true, true, 0, 0, "");
    EXPECT_EQ(Entries(), 1);
    EXPECT_EQ(Entries("IE98_ID_IE91 = 8"), 1);
    EXPECT_EQ(env.S().Stato, kaOK);
}

TEST_F(ErrorLogTest, FailedWriteSetsStatoButReturnsNormally) {
    env.Native("DROP TABLE IE98_NSO_LOGERRORS");
    ScriviErrorLog(env.S(), 7, 0, 0, 12, "", 3, 1, "m");
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: ScriviErrorLog", 0), 0U);
    EXPECT_NE(env.S().Errore.Text().find("ADO Error: "), std::string::npos);
}

} // namespace
} // namespace kvad::nso
