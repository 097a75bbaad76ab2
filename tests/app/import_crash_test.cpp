// An import killed (kill -9) at random points, then run again to the end, leaves the ERP orders
// an uninterrupted import leaves: every chain imported once, whole, none twice or half.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "kvad_nso/recordset.h"
#include "nso_folder.h"
#include "nso_process.h"
#include "sqlite/sqlite_database.h"
#include "support/register_snapshot.h"

namespace {

namespace fs = std::filesystem;

class ImportCrashTest : public kvad::test::NsoFolderTest {
  protected:
    static constexpr int kOrders = 40;

    /// A folder with the demo master data and kOrders orders of the ASL (two lines each, which
    /// decode with warnings only), fetched and processed.
    fs::path Processed(const std::string& prefix) {
        MakeFolder(prefix, "inbox", "inbox");
        const fs::path folder = dir / "inbox" / "IT01234567890";
        std::stringstream model;
        model << std::ifstream(folder / "ORD-2024-0005.xml", std::ios::binary).rdbuf();
        for (const auto& file : fs::directory_iterator(folder)) {
            fs::remove(file.path());
        }
        for (int i = 0; i < kOrders; ++i) {
            const std::string number = "ORD/2024/" + std::to_string(1000 + i);
            std::string text = model.str();
            text.replace(text.find("ORD/2024/00512"), 14, number);
            std::ofstream(folder / ("gen-" + std::to_string(1000 + i) + ".xml"), std::ios::binary)
                << text;
        }
        EXPECT_TRUE(Has(Ok("init --demo"), "configured company 1"));
        EXPECT_TRUE(Has(Ok("fetch"), "new " + std::to_string(kOrders)));
        Ok("process --all");
        return dir;
    }

    /// The ERP orders as a text to compare: per NSO order, its customer, destination, lines,
    /// quantities and whether it is closed; then the registrations without gaps.
    static std::string ErpOrders(const fs::path& folder) {
        const auto db = kvad::db::OpenSqlite((folder / "nso.db").string());
        auto rows = db->Query(
            "SELECT DO12_FEIDDOC, DO11_CLIFOR_CG44, DO11_CLIFORDEST, DO11_FLGNONPIUEV, "
            "(SELECT COUNT(*) FROM DO30_DOCCORPO WHERE DO30_NUMREG_CO99 = DO11_NUMREG_CO99), "
            "(SELECT SUM(DO30_QTA1) FROM DO30_DOCCORPO WHERE DO30_NUMREG_CO99 = "
            "DO11_NUMREG_CO99) FROM DO11_DOCTESTATA INNER JOIN DO12_DOCTESTARIF ON "
            "DO12_NUMREG_CO99 = DO11_NUMREG_CO99 ORDER BY DO12_FEIDDOC");
        std::string text;
        for (; !rows->Eof(); rows->MoveNext()) {
            for (int i = 0; i < rows->FieldCount(); ++i) {
                text += rows->Value(i).Text() + "|";
            }
            text += "\n";
        }
        auto numbers = db->Query("SELECT COUNT(*), MAX(DO11_NUMREG_CO99), COUNT(DISTINCT "
                                 "DO12_FEIDDOC) FROM DO11_DOCTESTATA LEFT OUTER JOIN "
                                 "DO12_DOCTESTARIF ON DO12_NUMREG_CO99 = DO11_NUMREG_CO99");
        return text + "orders " + numbers->Value(0).Text() + ", last registration " +
               numbers->Value(1).Text() + ", NSO orders " + numbers->Value(2).Text() + "\n";
    }
};

TEST_F(ImportCrashTest, KilledImportsAndOneMoreLeaveWhatAnUninterruptedImportLeaves) {
    const fs::path reference = Processed("nso-import-reference");
    ASSERT_TRUE(Has(Ok("import --all"), "0 failed"));
    const std::string expected = ErpOrders(reference);
    ASSERT_TRUE(Has(expected, "orders 40, last registration 40, NSO orders 40")) << expected;
    const fs::path keep = dir;
    dir = fs::path(); // the reference stays until the end of the test

    Processed("nso-import-crash");
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> line(1, kOrders / 5);
    std::uniform_int_distribution<int> micros(0, 3000);
    for (int kill = 0; kill < 4; ++kill) {
        kvad::test::NsoChild child = kvad::test::StartNso(dir, {"import", "--all"});
        const int at = line(random);
        for (int n = 0; n < at && !kvad::test::ReadLine(child).empty(); ++n) {
        }
        std::this_thread::sleep_for(std::chrono::microseconds(micros(random)));
        kvad::test::Kill(child);
        EXPECT_EQ(kvad::test::IntegrityCheck((dir / "nso.db").string()), "ok");
    }
    const std::string last = Nso("import --all");
    EXPECT_EQ(exitCode, 0) << last;
    EXPECT_EQ(ErpOrders(dir), expected);
    // Nothing is left to import, and a later import finds nothing to do.
    EXPECT_TRUE(Has(Ok("import --all"), "Nothing to import")) << last;

    std::error_code ignored;
    fs::remove_all(keep, ignored);
}

} // namespace
