#include "retrieval/riferimenti.h"

#include <gtest/gtest.h>

#include "kvad_nso/codes.h"
#include "support/test_env.h"

namespace kvad::nso {
namespace {

class RiferimentiTest : public ::testing::Test {
  protected:
    // A registered document with a staged header carrying the reference text (or none).
    std::int32_t Document(const char* reference) {
        env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_IDORD, "
                   "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML) VALUES (1, 0, 'R" +
                   std::to_string(++counter) + "', '2024-03-05 00:00:00', 'UFABCD', 0, '<x/>')");
        const std::int32_t id = env.Scalar("SELECT MAX(IE91_ID) FROM IE91_NSOFILES").ToLong();
        const std::string value =
            reference == nullptr ? "NULL" : std::string("'").append(reference).append("'");
        env.Native("INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91, IE92_OrderDocumentReference_ID) "
                   "VALUES (" +
                   std::to_string(id) + ", " + value + ")");
        return id;
    }
    // The reference and operation AggiornaRiferimenti wrote into a register row.
    struct Reference {
        Variant number, date, endpoint;
        std::int32_t operation;
    };
    Reference Read(std::int32_t id) {
        auto rs = env.Db().Query("SELECT IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID, "
                                 "IE91_OPERAZIONE FROM IE91_NSOFILES WHERE IE91_ID = " +
                                 std::to_string(id));
        return {rs->Value(0), rs->Value(1), rs->Value(2), rs->Value(3).ToLong()};
    }
    test::TestEnv env;
    int counter = 0;
};

TEST_F(RiferimentiTest, OneToFivePartsAndTheOperationCaseInsensitiveButNotTrimmed) {
    const auto none = Document(nullptr);
    const auto one = Document("1555");
    const auto two = Document("1555#2020-12-11");
    const auto three = Document("1555#2020-12-11#IT02188520544");
    const auto five = Document("1555#2020-12-11#UFABCD#Cancelled#extra");
    const auto lower = Document("7#2024-01-02#UFABCD#revised");
    const auto blanks = Document("7#2024-01-02#UFABCD# Revised ");
    for (auto id : {none, one, two, three, five, lower, blanks}) {
        AggiornaRiferimenti(env.S(), id);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    }
    EXPECT_TRUE(Read(none).number.IsNull());
    EXPECT_TRUE(Read(one).number.IsNull());
    EXPECT_EQ(Read(two).number.Text(), "1555");
    EXPECT_EQ(Read(two).date.ToDate(), (DateTime{2020, 12, 11}));
    EXPECT_TRUE(Read(two).endpoint.IsNull());
    EXPECT_EQ(Read(two).operation, operation::kOrder);
    EXPECT_EQ(Read(three).endpoint.Text(), "IT02188520544");
    EXPECT_EQ(Read(three).operation, operation::kOrder);
    EXPECT_EQ(Read(five).operation, operation::kCancellation);
    EXPECT_EQ(Read(lower).operation, operation::kRevision);
    EXPECT_EQ(Read(blanks).operation, operation::kOrder);
    EXPECT_EQ(Read(blanks).number.Text(), "7") << "the references are still written";
}

TEST_F(RiferimentiTest, NonDateSecondPartWritesNothing) {
    const auto id = Document("7#non-data#UFABCD#Revised");
    AggiornaRiferimenti(env.S(), id);
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: AggiornaRiferimenti", 0), 0U);
    EXPECT_TRUE(Read(id).number.IsNull());
    EXPECT_EQ(Read(id).operation, operation::kOrder);
}

} // namespace
} // namespace kvad::nso
