#include <gtest/gtest.h>

#include "frame/formato_db.h"
#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"
#include "support/test_env.h"

namespace kvad::nso {
namespace {

TEST(EliminaTabellaTemp, DropsWhatExistsAndIsSilentOtherwise) {
    test::TestEnv env;
    env.Db().Execute("SELECT IE91_ID INTO #PROVA FROM IE91_NSOFILES");
    EXPECT_EQ(env.Count("SELECT * FROM #PROVA"), 0) << "the table outlives the call";

    // Another connection to the same file does not see it.
    auto other = db::OpenSqlite(env.DbFile().string());
    EXPECT_THROW((void)other->Query("SELECT * FROM #PROVA"), DbError);

    EliminaTabellaTemp(env.S(), "#PROVA");
    EXPECT_THROW((void)env.Db().Query("SELECT * FROM #PROVA"), DbError);
    env.Db().Errors().clear();

    EliminaTabellaTemp(env.S(), "#PROVA");
    EliminaTabellaTemp(env.S(), "#NON'VALIDO");
    EXPECT_EQ(env.S().Stato, kaOK);
    EXPECT_TRUE(env.Db().Errors().empty()) << "nothing is left for a later error text";

    env.S().Connessione = nullptr;
    EliminaTabellaTemp(env.S(), "#PROVA");
    EXPECT_EQ(env.S().Stato, kaOK) << "a missing connection is ignored too";
}

} // namespace
} // namespace kvad::nso
