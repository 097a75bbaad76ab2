// The main job as the quick start runs it, step by step, with the database checked after each
// step; then the same job as `nso run` does it, with its JSON summary and exit statuses.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>

#include "kvad_nso/recordset.h"
#include "nso_folder.h"
#include "sqlite/sqlite_database.h"

namespace {

using Json = nlohmann::json;

class MainJobTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override { MakeFolder("nso-main-job", "inbox", "inbox"); }

    /// The first column of the first row `sql` gives, read from the folder's database.
    std::string Scalar(const std::string& sql) {
        const auto db = kvad::db::OpenSqlite((dir / "nso.db").string());
        auto rows = db->Query(sql);
        return rows->Eof() ? "(no row)" : rows->Value(0).Text();
    }
    long Count(const std::string& table, const std::string& where = "1 = 1") {
        return std::stol(Scalar("SELECT COUNT(*) FROM " + table + " WHERE " + where));
    }

    /// Runs `nso ARGUMENTS --json` and parses what it printed (stderr is left out).
    Json NsoJson(const std::string& arguments) {
        std::string output = Nso(arguments + " --json", "inbox", false);
        const int status = exitCode;
        Json parsed = Json::parse(output, nullptr, false);
        EXPECT_FALSE(parsed.is_discarded()) << "nso " << arguments << " printed\n" << output;
        exitCode = status;
        return parsed;
    }

    static std::string PdfText(const std::filesystem::path& pdf) {
        std::string text;
        Shell("pdftotext -layout '" + pdf.string() + "' - 2>&1", text);
        return text;
    }
};

TEST_F(MainJobTest, QuickStartStepsLeaveTheDatabaseAsEachStepSays) {
    Ok("init --demo");
    EXPECT_EQ(Count("IE90_CONFIGNSO", "IE90_DITTA_CG18 = 1 AND IE90_CODDOCUM_MG3G = 'OCL'"), 1);
    EXPECT_GT(Count("CG44_CLIFOR"), 0);
    Ok("config set --document OCL --section A --warehouse 01");
    EXPECT_EQ(Scalar("SELECT MG3G_SEZDEFAULT FROM MG3G_DOCDITTA WHERE MG3G_DITTA_CG18 = 1 AND "
                     "MG3G_CODDOCUM_MG36 = 'OCL'"),
              "A");

    // Fetch: six documents registered and staged, the revision and the cancellation linked.
    const std::string fetched = Ok("fetch");
    EXPECT_TRUE(Has(fetched, "listed 6, new 6, already registered 0, failed to load 0")) << fetched;
    EXPECT_EQ(Count("IE91_NSOFILES", "IE91_XML IS NOT NULL"), 6);
    EXPECT_EQ(Count("IE92_NSOTESTATAXML"), 6);
    EXPECT_EQ(Count("IE94_NSOCORPOXML"), 17);
    EXPECT_EQ(Scalar("SELECT IE91_RIF_IDORD FROM IE91_NSOFILES WHERE IE91_IDORD = '93/2024'"),
              "87/2024");

    const Json list = NsoJson("list --all");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(list["chain_count"], 4);
    EXPECT_EQ(list["document_count"], 6);

    // Process: every order decoded and verified; the library's has no customer.
    const Json processed = NsoJson("process --all");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(processed["summary"]["reviewed"], 6);
    EXPECT_EQ(processed["summary"]["error"], 1);
    EXPECT_EQ(Count("IE93_NSOTESTATA"), 6);
    EXPECT_EQ(Scalar("SELECT IE93_DO11_CLIFOR_CG44 FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = 2"),
              "1002");
    EXPECT_EQ(Count("IE95_NSOCORPO", "IE95_DO30_CODART_MG66 = 'AFP-FAR-31540'"), 2);
    EXPECT_EQ(Count("IE98_NSO_LOGERRORS", "IE98_ID_IE91 = 6 AND IE98_CODE_IE97 = 103"), 1);
    // A second fetch takes nothing in again: the processed documents are past their intake.
    const std::string again = Ok("fetch");
    EXPECT_FALSE(Has(again, "taken in again")) << again;

    const Json shown = NsoJson("show BIB-7/2024");
    EXPECT_EQ(shown["order"]["status"], "error");
    EXPECT_EQ(shown["order"]["messages"][0]["code"], 103);
    EXPECT_EQ(shown["order"]["header"]["note"]["value"],
              "Materiale per la sala di lettura della biblioteca comunale");
    EXPECT_TRUE(Has(Ok("show 4"), "note          Annullamento dell'ordine 87/2024 per revoca"));

    const std::string edited = Ok("edit BIB-7/2024 customer=1002 destination=BIBL");
    EXPECT_TRUE(Has(edited, "to import - READY")) << edited;
    EXPECT_EQ(Scalar("SELECT IE93_DO11_CLIFORDEST FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = 6"),
              "BIBL");
    EXPECT_EQ(Count("IE98_NSO_LOGERRORS", "IE98_ID_IE91 = 6 AND IE98_TYPE = 3"), 0);

    // Import: five ERP orders, each with the NSO order it came from; the replaced ones closed.
    const Json imported = NsoJson("import --all");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(imported["summary"]["imported"], 4);
    EXPECT_EQ(imported["summary"]["erp_orders_made"], 5);
    EXPECT_EQ(Count("DO11_DOCTESTATA"), 5);
    EXPECT_EQ(Count("DO30_DOCCORPO"), 20);
    EXPECT_EQ(Scalar("SELECT DO11_CLIFOR_CG44 FROM DO11_DOCTESTATA INNER JOIN DO12_DOCTESTARIF ON "
                     "DO12_NUMREG_CO99 = DO11_NUMREG_CO99 WHERE DO12_FEIDDOC = 'BIB-7/2024'"),
              "1002");
    EXPECT_EQ(Count("DO12_DOCTESTARIF INNER JOIN DO11_DOCTESTATA ON DO11_NUMREG_CO99 = "
                    "DO12_NUMREG_CO99",
                    "DO11_FLGNONPIUEV = 1 AND DO12_FEIDDOC IN ('87/2024', '2024-FAR-0381')"),
              2);

    const Json orders = NsoJson("orders");
    ASSERT_EQ(orders["orders"].size(), 5U);
    EXPECT_EQ(orders["orders"][0]["nso_order"]["number"], "2024-FAR-0381");
    EXPECT_TRUE(orders["orders"][0]["closed"].get<bool>());

    Ok("pdf 87/2024 --out order.pdf");
    const std::string text = PdfText(dir / "order.pdf");
    EXPECT_TRUE(Has(text, "87/2024")) << text;
    EXPECT_TRUE(Has(text, "Comune di Borgo San Vitale")) << text;
    EXPECT_TRUE(Has(text, "AFP-UFF-07431")) << text;
}

TEST_F(MainJobTest, RunImportsWhatIsReadyAndLeavesTheRestForAClerk) {
    Ok("init --demo");
    const Json first = NsoJson("run");
    EXPECT_EQ(exitCode, 4);
    EXPECT_EQ(first["exit_status"], 4);
    EXPECT_EQ(first["fetch"]["new"], 6);
    EXPECT_EQ(first["process"]["chains"], 4);
    EXPECT_EQ(first["import"]["imported"], 3);
    EXPECT_EQ(first["import"]["erp_orders_made"], 4);
    ASSERT_EQ(first["left_for_clerk"].size(), 1U);
    EXPECT_EQ(first["left_for_clerk"][0]["id"], 6);
    EXPECT_EQ(first["left_for_clerk"][0]["errors"][0]["code"], 103);
    EXPECT_EQ(first["left_for_clerk"][0]["errors"][0]["severity"], "error");
    // The held chain made nothing, and stays to process.
    EXPECT_EQ(Count("DO12_DOCTESTARIF", "DO12_FEIDDOC = 'BIB-7/2024'"), 0);
    EXPECT_EQ(Count("DO11_DOCTESTATA"), 4);

    // The text summary names the order, its errors by their severity, and what to do.
    const std::string held = Nso("run");
    EXPECT_EQ(exitCode, 4) << held;
    EXPECT_TRUE(Has(held, "verification found errors\n    error   103  header  customer = 0"))
        << held;
    Ok("edit BIB-7/2024 customer=1002 destination=BIBL");
    const std::string second = Ok("run");
    EXPECT_TRUE(Has(second, "imported:  1 of 1 chain(s); 1 ERP order(s) made")) << second;
    EXPECT_TRUE(Has(second, "Nothing is left for a clerk.")) << second;
    EXPECT_FALSE(Has(second, "taken in again")) << second;
    EXPECT_EQ(Count("DO12_DOCTESTARIF", "DO12_FEIDDOC = 'BIB-7/2024'"), 1);

    const Json third = NsoJson("run");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(third["fetch"]["new"], 0);
    EXPECT_EQ(third["process"]["chains"], 0);
    EXPECT_EQ(Count("DO11_DOCTESTATA"), 5);
}

TEST_F(MainJobTest, RunWithoutAPlatformFailsAndSaysSo) {
    Ok("init --demo");
    const std::string output = Nso("run", "no-such-inbox");
    EXPECT_EQ(exitCode, 1) << output;
    EXPECT_TRUE(Has(output, "the document platform could not be used")) << output;
    EXPECT_EQ(Count("IE91_NSOFILES"), 0);
}

TEST_F(MainJobTest, OneImportOfACompanyAtATime) {
    Ok("init --demo");
    Ok("fetch");
    Ok("process --all");
    // Another import holds the company's clerk lock: an import or a run that may not wait is
    // refused in plain words and makes nothing.
    const std::string lockFile = (dir / "nso.db.clerk-1.lock").string();
    const int fd = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    for (const char* command : {"import --all --wait 0", "run --wait 0"}) {
        const std::string refused = Nso(command);
        EXPECT_EQ(exitCode, 1) << refused;
        EXPECT_TRUE(Has(refused, "nso: another processing or import of company 1 is running: "
                                 "wait for it, or give --wait SECONDS\n"))
            << refused;
    }
    EXPECT_EQ(Count("DO11_DOCTESTATA"), 0);
    close(fd);
    const std::string imported = Nso("import --all --wait 0");
    EXPECT_TRUE(Has(imported, "4 chain(s): 3 imported, 1 failed")) << imported;
}

} // namespace
