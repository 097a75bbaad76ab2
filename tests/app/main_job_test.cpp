// The main job on the example orders with the demo master data, step by step as a clerk runs
// it: fetch, list, process, review and correct, import, orders and the PDF, each step checked in
// what it prints and in the database; then the same job as `nso run` does it, with its JSON
// summary and exit statuses.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "folder_database.h"
#include "kvad_nso/codes.h"
#include "nso_folder.h"
#include "support/log_entries.h"

namespace {

using Json = nlohmann::json;

/// The widest line of the output, in characters.
std::size_t WidestLine(const std::string& output) {
    std::istringstream lines(output);
    std::size_t widest = 0;
    for (std::string line; std::getline(lines, line);) {
        std::size_t characters = 0;
        for (const unsigned char c : line) {
            characters += (c & 0xC0) != 0x80 ? 1 : 0;
        }
        widest = std::max(widest, characters);
    }
    return widest;
}

class MainJobTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override { MakeFolder("nso-main-job", "inbox", "inbox"); }

    std::string Scalar(const std::string& sql) { return kvad::test::Value(dir, sql); }
    long Count(const std::string& from) { return kvad::test::Count(dir, from); }

    /// Runs `nso ARGUMENTS --json` and parses what it printed (stderr is left out).
    Json NsoJson(const std::string& arguments) {
        const std::string output = Nso(arguments + " --json", "inbox", false);
        Json parsed = Json::parse(output, nullptr, false);
        EXPECT_FALSE(parsed.is_discarded()) << "nso " << arguments << " printed\n" << output;
        return parsed;
    }

    /// The error-log entries of document `id` that satisfy `where`.
    std::vector<kvad::test::LogEntry> LogOf(std::int32_t id, const std::string& where) {
        return kvad::test::ReadLogOf(*kvad::test::OpenFolderDb(dir), id, where);
    }

    static std::string PdfText(const std::filesystem::path& pdf) {
        std::string text;
        Shell("pdftotext -layout '" + pdf.string() + "' - 2>&1", text);
        return text;
    }
};

// The one order a clerk must correct is imported after the others, as a clerk who imports
// first meets it.
TEST_F(MainJobTest, EachStepFromFetchToPdfDoesWhatItSays) {
    Ok("init --demo");
    EXPECT_EQ(Count("IE90_CONFIGNSO WHERE IE90_DITTA_CG18 = 1 AND IE90_CODDOCUM_MG3G = 'OCL'"), 1);
    EXPECT_GT(Count("CG44_CLIFOR"), 0);
    // The demo sets section A and warehouse 01: another pair shows the change, then back.
    const std::string defaults = "SELECT MG3G_SEZDEFAULT + '/' + MG3G_DEPDEFAULT_MG58 FROM "
                                 "MG3G_DOCDITTA WHERE MG3G_DITTA_CG18 = 1 AND "
                                 "MG3G_CODDOCUM_MG36 = 'OCL'";
    Ok("config set --document OCL --section B --warehouse 02");
    EXPECT_EQ(Scalar(defaults), "B/02");
    Ok("config set --document OCL --section A --warehouse 01");
    EXPECT_EQ(Scalar(defaults), "A/01");

    // Fetch: six documents registered and staged, the revision and the cancellation linked.
    ExpectTold(Ok("fetch"), {"listed 6, new 6, already registered 0, failed to load 0"});
    EXPECT_EQ(Count("IE91_NSOFILES WHERE IE91_XML IS NOT NULL"), 6);
    EXPECT_EQ(Count("IE92_NSOTESTATAXML"), 6);
    EXPECT_EQ(Count("IE94_NSOCORPOXML"), 17);
    EXPECT_EQ(Scalar("SELECT IE91_RIF_IDORD FROM IE91_NSOFILES WHERE IE91_IDORD = '93/2024'"),
              "87/2024");
    ExpectTold(Ok("fetch"), {"listed 6, new 0, already registered 6, failed to load 0"});

    // List: each row begins with the document's register id, older documents indented.
    const std::string list = Ok("list");
    ExpectTold(list, {"4 chain(s) to process, 6 document(s)",
                      "\n5     order         ORD/2024/00512", "\n3     revision ",
                      "\n1         order     2024-FAR-0381", "\n4     cancellation "});
    ExpectTold(Ok("list --processed"), {"No processed orders"});
    // A limited list is the start of the full one, up to the next chain, and says so.
    EXPECT_EQ(Ok("list --limit 0"), list);
    const std::string one = Ok("list --limit 1");
    const std::string hint = "(the latest 1 of 4 chains: --limit 0 lists them all)\n";
    ASSERT_TRUE(one.size() > hint.size() && Has(one, hint)) << one;
    const std::string start = one.substr(0, one.size() - hint.size());
    EXPECT_EQ(list.substr(0, start.size()), start);
    EXPECT_NE(list.substr(start.size(), 4), "    ") << "the next line starts a chain";
    Expect(2, "list --limit -1", {});
    const Json listed = NsoJson("list --all");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(listed["chain_count"], 4);
    EXPECT_EQ(listed["document_count"], 6);

    // Process: every order decoded and verified; the library's has no customer.
    const std::string processed = Ok("process --all");
    EXPECT_LE(WidestLine(processed), 100U) << processed;
    ExpectTold(processed,
               {"6 order(s) reviewed: 1 ready, 4 with warnings, 1 with errors",
                "Cancellation 93/2024 of 08/03/2024 (id 4): marked processed at import, no "
                "document made - READY",
                "Order 2024-FAR-0381 of 04/03/2024 (id 1): to import with its chain - WARNING",
                "warning 201  line 2  delivery = (empty)       Data di consegna mancante"});
    // A second fetch takes nothing in again: the processed documents are past their intake.
    ExpectTold(Ok("fetch"), {}, {"taken in again"});
    // Processed again, the chains come out the same and nothing is staged twice.
    const Json reprocessed = NsoJson("process --all");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(reprocessed["summary"]["reviewed"], 6);
    EXPECT_EQ(reprocessed["summary"]["error"], 1);
    EXPECT_EQ(Count("IE93_NSOTESTATA"), 6);
    EXPECT_EQ(Scalar("SELECT IE93_DO11_CLIFOR_CG44 FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = 2"),
              "1002");
    EXPECT_EQ(Count("IE95_NSOCORPO WHERE IE95_DO30_CODART_MG66 = 'AFP-FAR-31540'"), 2);
    EXPECT_EQ(LogOf(6, "IE98_CODE_IE97 = " + std::to_string(kvad::message::kNoCustomer)).size(),
              1U);

    const Json shown = NsoJson("show BIB-7/2024");
    EXPECT_EQ(shown["order"]["status"], "error");
    EXPECT_EQ(shown["order"]["messages"][0]["code"], kvad::message::kNoCustomer);
    EXPECT_EQ(shown["order"]["header"]["note"]["value"],
              "Materiale per la sala di lettura della biblioteca comunale");
    ExpectTold(Ok("show 4"), {"note          Annullamento dell'ordine 87/2024 per revoca"});

    // Review and correct: a delivery date for line 1 of order 5 makes that line ready, line 2
    // still warns.
    ExpectTold(Ok("edit 5 --line 1 delivery=20/03/2024"),
               {"changed line 1: delivery (empty) -> 20/03/2024",
                "     1 AFP-DM-55120   Guanti da esame in nitri        300        4.9 S     "
                "20/03/2024 ready",
                "line 2  delivery"},
               {"line 1  delivery"});
    // By order number, two values at once: the header is checked again.
    ExpectTold(Ok("edit ORD/2024/00512 customer= destination="),
               {"changed: customer 1003 -> 0\nchanged: destination MAG3 -> (empty)",
                "(id 5): to import - ERROR",
                "error   103  header  customer = 0             Cliente non trovato",
                "warning 105  header  destination = (empty)"});
    // The corrections survive a new processing, and verification reports them again.
    ExpectTold(Ok("process 5"), {"1 order(s) reviewed: 0 ready, 0 with warnings, 1 with errors",
                                 "  customer      0                not found;",
                                 "S     20/03/2024 ready", "error   103  header  customer = 0"});
    ExpectTold(Ok("messages 5"),
               {"Order ORD/2024/00512 of 12/03/2024 (id 5)\n  error   103  header",
                "3 message(s): 1 error(s), 2 warning(s), 0 information"});
    ExpectTold(Ok("messages --phase decoding"), {"No messages of the decoding phase"});
    // Its customer and destination given back, order 5 is to import again.
    ExpectTold(Ok("edit 5 customer=1003 destination=MAG3"), {"(id 5): to import - WARNING"});

    // Import: the library's chain fails, the others are imported. The ERP's own words stand on
    // a line of their own beneath the document they are about.
    Expect(1, "import --all",
           {"[1/4] Id : BIB-7/2024 (19/03/2024) - UFBB3K",
            "Chain of order BIB-7/2024 of 19/03/2024 (id 6): failed\n  order BIB-7/2024 of "
            "19/03/2024 (id 6): failed:\n      Cliente mancante",
            "Chain of revision 2024-FAR-0397 of 06/03/2024 (id 3): imported\n  revision "
            "2024-FAR-0397 of 06/03/2024 (id 3): imported as ERP order OCL A/3 of 06/03/2024 "
            "(registration 3)\n  order 2024-FAR-0381 of 04/03/2024 (id 1): imported as ERP order "
            "OCL A/4 of 04/03/2024 (registration 4), then made no longer to be fulfilled",
            "  cancellation 93/2024 of 08/03/2024 (id 4): processed, no ERP order",
            "4 chain(s): 3 imported, 1 failed; 4 ERP order(s) made, 2 made no longer to be "
            "fulfilled"});

    // An imported order is shown read-only with its ERP order, and cannot be edited.
    const std::string three = Ok("show 3");
    ExpectTold(three, {"Revision 2024-FAR-0397 of 06/03/2024 (id 3): nothing to do: already ERP "
                       "order OCL A/3 of\n  06/03/2024 - READY\n",
                       "  read-only: ERP order OCL A/3 of 06/03/2024 was made from it",
                       "  customer      1001",
                       "     1 AFP-FAR-10231  Flacone da 100 ml per in        200       1.85 S ",
                       "    info     14  header                           Ordine importato"});
    const Json threeJson = NsoJson("show 3");
    EXPECT_FALSE(threeJson["order"]["editable"].get<bool>());
    EXPECT_EQ(threeJson["order"]["erp_order"]["document"], "OCL A/3");
    EXPECT_EQ(threeJson["order"]["erp_order"]["date"], "2024-03-06");
    EXPECT_EQ(threeJson["order"]["header"]["customer"]["value"], 1001);
    Expect(1, "edit 3 customer=1002",
           {"(id 3) was imported as ERP order OCL A/3: its values cannot be edited"});
    EXPECT_EQ(Ok("show 3"), three) << "the refused edit changed nothing";
    // Processing an imported chain again has nothing to do, and says so.
    EXPECT_EQ(Ok("process 3"), "Nothing to do: Revision 2024-FAR-0397 of 06/03/2024 (id 3) was "
                               "imported as ERP order OCL A/3 of 06/03/2024 (`nso show 3` shows "
                               "it).\n");

    // Corrected, the library's order is imported after the others, and the office it came from
    // is learned.
    Ok("edit BIB-7/2024 customer=1002 destination=BIBL");
    Json corrected = NsoJson("import 6");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(corrected["summary"]["imported"], 1);
    EXPECT_EQ(corrected["summary"]["erp_orders_made"], 1);
    const Json& made = corrected["chains"][0]["documents"][0]["erp_order"];
    EXPECT_EQ(made["document"], "OCL A/5") << corrected;
    EXPECT_EQ(made["registration"], 5) << corrected;
    EXPECT_EQ(made["date"], "2024-03-19") << corrected;
    ExpectTold(Ok("master list offices --search UFBB3K"), {"UFBB3K  1002"});

    // Five ERP orders, each with the NSO order it came from; the replaced ones closed.
    EXPECT_EQ(Count("DO11_DOCTESTATA"), 5);
    EXPECT_EQ(Count("DO30_DOCCORPO"), 20);
    EXPECT_EQ(Scalar("SELECT DO11_CLIFOR_CG44 FROM DO11_DOCTESTATA INNER JOIN DO12_DOCTESTARIF ON "
                     "DO12_NUMREG_CO99 = DO11_NUMREG_CO99 WHERE DO12_FEIDDOC = 'BIB-7/2024'"),
              "1002");
    EXPECT_EQ(Count("DO12_DOCTESTARIF INNER JOIN DO11_DOCTESTATA ON DO11_NUMREG_CO99 = "
                    "DO12_NUMREG_CO99 WHERE DO11_FLGNONPIUEV = 1 AND DO12_FEIDDOC IN "
                    "('87/2024', '2024-FAR-0381')"),
              2);
    ExpectTold(Ok("list --processed"), {"OCL A/1 12/03/2024", "OCL A/4 04/03/2024"});
    ExpectTold(Ok("orders"),
               {"4    OCL A/4     04/03/2024 closed", "3    OCL A/3     06/03/2024 open",
                "2024-FAR-0397 of 06/03/2024 (id 3)", "5 ERP order(s) of company 1"});
    const Json ordersJson = NsoJson("orders");
    ASSERT_EQ(ordersJson["orders"].size(), 5U);
    EXPECT_EQ(ordersJson["orders"][1]["nso_order"]["number"], "2024-FAR-0381");
    EXPECT_TRUE(ordersJson["orders"][1]["closed"].get<bool>());
    ExpectTold(Ok("orders --search AFP-DM-56031 --lines"),
               {"    2    AFP-DM-56031           80         6.75",
                "1 ERP order(s) of company 1 containing 'AFP-DM-56031'"});

    // Nothing is left to import, and an imported chain named again makes nothing.
    ExpectTold(Ok("import --all"), {"Nothing to import"});
    ExpectTold(Ok("import 3"), {"(id 3): already imported",
                                "0 ERP order(s) made, 0 made no longer to be fulfilled"});

    Ok("pdf 87/2024 --out order.pdf");
    ExpectTold(PdfText(dir / "order.pdf"),
               {"87/2024", "Comune di Borgo San Vitale", "AFP-UFF-07431"});
}

TEST_F(MainJobTest, RunImportsWhatIsReadyAndLeavesTheRestForAClerk) {
    Ok("init --demo");
    // Without its platform a run fails, says so and registers nothing.
    Expect(1, "run", {"the document platform could not be used"}, "no-such-inbox");
    EXPECT_EQ(Count("IE91_NSOFILES"), 0);

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
    EXPECT_EQ(Count("DO12_DOCTESTARIF WHERE DO12_FEIDDOC = 'BIB-7/2024'"), 0);
    EXPECT_EQ(Count("DO11_DOCTESTATA"), 4);

    // The text summary names the order, its errors by their severity, and what to do.
    Expect(4, "run", {"verification found errors\n    error   103  header  customer = 0"});
    // Corrected, it is ready: no error is left.
    ExpectTold(Ok("edit BIB-7/2024 customer=1002 destination=BIBL"), {"to import - READY"});
    EXPECT_EQ(Scalar("SELECT IE93_DO11_CLIFORDEST FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = 6"),
              "BIBL");
    EXPECT_TRUE(LogOf(6, "IE98_TYPE = " + std::to_string(kvad::severity::kError)).empty());
    ExpectTold(Ok("run"),
               {"imported:  1 of 1 chain(s); 1 ERP order(s) made", "Nothing is left for a clerk."},
               {"taken in again"});
    EXPECT_EQ(Count("DO12_DOCTESTARIF WHERE DO12_FEIDDOC = 'BIB-7/2024'"), 1);

    const Json third = NsoJson("run");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(third["fetch"]["new"], 0);
    EXPECT_EQ(third["process"]["chains"], 0);
    EXPECT_EQ(Count("DO11_DOCTESTATA"), 5);
}

TEST_F(MainJobTest, OneImportOfACompanyAtATime) {
    Ok("init --demo");
    Ok("fetch");
    Ok("process --all");
    // Another import holds the company's clerk lock: an import or a run that may not wait is
    // refused in plain words and makes nothing.
    std::optional<kvad::test::UnnamedCompanyLock> held;
    held.emplace(dir, kvad::db::CompanyWork::Clerk);
    ASSERT_TRUE(held->Held());
    for (const char* command : {"import --all --wait 0", "run --wait 0"}) {
        Expect(1, command,
               {"nso: another processing or import of company 1 is running: wait for it, or give "
                "--wait SECONDS\n"});
    }
    EXPECT_EQ(Count("DO11_DOCTESTATA"), 0);
    held.reset();
    ExpectTold(Nso("import --all --wait 0"), {"4 chain(s): 3 imported, 1 failed"});
}

} // namespace
