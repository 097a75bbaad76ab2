// Each received document is kept whole or not at all, says what became of it, and a document an
// earlier run left incomplete is taken in again.
#include "retrieval/document_intake.h"

#include <gtest/gtest.h>

#include <memory>

#include "kvad_nso/codes.h"
#include "retrieval/document_checks.h"
#include "retrieval/recupero_ordini.h"
#include "support/failing_connection.h"
#include "support/log_entries.h"
#include "support/register_snapshot.h"
#include "support/scripted_platform.h"
#include "support/test_env.h"

namespace kvad::nso {
namespace {

using test::TheScript;

constexpr const char* kNamespaces =
    "xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Order-2\" "
    "xmlns:cac=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\" "
    "xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\"";

std::string Line(int n, const std::string& startDate = "2024-03-20") {
    return "<cac:OrderLine><cac:LineItem><cbc:ID>" + std::to_string(n) +
           "</cbc:ID><cbc:Quantity>2</cbc:Quantity><cac:Delivery><cac:RequestedDeliveryPeriod>"
           "<cbc:StartDate>" +
           startDate +
           "</cbc:StartDate></cac:RequestedDeliveryPeriod></cac:Delivery>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>false</cbc:ChargeIndicator>"
           "<cbc:Amount>1.5</cbc:Amount></cac:AllowanceCharge><cac:Item><cbc:Name>Art " +
           std::to_string(n) + "</cbc:Name></cac:Item></cac:LineItem></cac:OrderLine>";
}

/// An order with a header allowance and `lines` lines, each with an allowance; `reference` makes
/// it a revision or cancellation.
std::string Order(const std::string& id, const std::string& date, int lines,
                  const std::string& reference = {}, const std::string& lineDate = "2024-03-20") {
    std::string xml = std::string("<Order ") + kNamespaces + "><cbc:ID>" + id +
                      "</cbc:ID><cbc:IssueDate>" + date + "</cbc:IssueDate>";
    if (!reference.empty()) {
        xml += "<cac:OrderDocumentReference><cbc:ID>" + reference +
               "</cbc:ID></cac:OrderDocumentReference>";
    }
    xml += "<cac:BuyerCustomerParty><cac:Party><cac:PartyName><cbc:Name>ASL " + id +
           "</cbc:Name></cac:PartyName></cac:Party></cac:BuyerCustomerParty>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>true</cbc:ChargeIndicator>"
           "<cbc:Amount>10</cbc:Amount></cac:AllowanceCharge>";
    for (int n = 1; n <= lines; ++n) {
        xml += Line(n, lineDate);
    }
    return xml + "</Order>";
}

test::Script::Entry Listed(const std::string& hub, const std::string& number,
                           const std::string& content) {
    return {hub, number, "2024-03-06", "UFABCD", content};
}

class DocumentIntakeTest : public ::testing::Test {
  protected:
    void SetUp() override { Prepare(env); }

    static void Prepare(test::TestEnv& e) {
        test::RegisterScriptedPlatform();
        e.Native("INSERT INTO IE90_CONFIGNSO (IE90_DITTA_CG18, IE90_CODDOCUM_MG3G, "
                 "IE90_DATAORA_IMPORT, IE90_TRACCIATO_IE25) VALUES (1, 'OCL', "
                 "'2024-03-05 10:00:00', 'NSO')");
    }
    /// Back to no document at all, ids included.
    static void Empty(test::TestEnv& e) {
        e.Native("DELETE FROM KVAD_DOCUMENT_INTAKE; DELETE FROM IE98_NSO_LOGERRORS; "
                 "DELETE FROM IE9A_NSOCORPOSCONTIXML; DELETE FROM IE94_NSOCORPOXML; "
                 "DELETE FROM IE96_NSOTESTATASCONTIXML; DELETE FROM IE92_NSOTESTATAXML; "
                 "DELETE FROM IE91_NSOFILES; DELETE FROM sqlite_sequence; "
                 "UPDATE IE90_CONFIGNSO SET IE90_DATAORA_IMPORT = '2024-03-05 10:00:00', "
                 "IE90_ESITO_IMPORT = NULL");
    }
    static void List(std::vector<test::Script::Entry> entries) {
        TheScript().listed = std::move(entries);
    }
    static std::string Reason(const RetrievalReport& report, const std::string& number) {
        for (const auto& d : report.registered) {
            if (d.number == number) {
                return d.reason;
            }
        }
        return "(not registered)";
    }

    test::TestEnv env;
};

// A revision of A1 with lines and allowances: every kind of row the intake writes.
std::vector<test::Script::Entry> TwoDocuments() {
    return {Listed("a.xml", "A1", Order("A1", "2024-03-06", 2)),
            Listed("b.xml", "B1", Order("B1", "2024-03-06", 2, "A1#2024-03-06#UFABCD#Revised"))};
}

TEST_F(DocumentIntakeTest, AFailingStatementLeavesEachDocumentWholeOrAbsent) {
    // The state an undisturbed run leaves, and how many statements it sends.
    List(TwoDocuments());
    auto failing = std::make_shared<test::FailingConnection>(env.SharedDb());
    env.S().Connessione = failing;
    RecuperaOrdiniNSO(env.S());
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    const std::string whole = test::RegisterSnapshot(env.Db());
    const int total = failing->statements;
    ASSERT_GT(total, 40);

    for (int n = 1; n <= total; ++n) {
        Empty(env);
        failing->Reset(n);
        RecuperaOrdiniNSO(env.S());
        const std::string where = "statement " + std::to_string(n) + " of " +
                                  std::to_string(total) + ": " +
                                  failing->log.at(static_cast<std::size_t>(n - 1)).substr(0, 80);

        // Every registered document is whole: its intake record matches its staged rows.
        const long registered = env.Count("SELECT IE91_ID FROM IE91_NSOFILES");
        EXPECT_EQ(env.Count("SELECT INTAKE_ID_IE91 FROM KVAD_DOCUMENT_INTAKE"), registered)
            << where;
        EXPECT_EQ(env.Count("SELECT IE92_ID FROM IE92_NSOTESTATAXML"), registered) << where;
        EXPECT_EQ(env.Count("SELECT IE94_ID FROM IE94_NSOCORPOXML"), 2 * registered) << where;
        EXPECT_EQ(env.Count("SELECT IE9A_ID FROM IE9A_NSOCORPOSCONTIXML"), 2 * registered) << where;
        EXPECT_TRUE(kvad::test::ReadLog(env.Db()).empty()) << where;
        if (registered < 2) {
            EXPECT_NE(env.S().Stato, kaOK) << where << ": a run that lost a document says so";
            EXPECT_EQ(env.Scalar("SELECT IE90_DATAORA_IMPORT FROM IE90_CONFIGNSO").ToDate(),
                      (DateTime{2024, 3, 5, 10, 0, 0}))
                << where << ": the next run lists from the same date";
        }

        // The next retrieval completes it.
        failing->Reset(0);
        RecuperaOrdiniNSO(env.S());
        EXPECT_EQ(env.S().Stato, kaOK) << where << ": " << env.S().Errore.Text();
        EXPECT_EQ(test::SnapshotDifference(whole, test::RegisterSnapshot(env.Db())), "") << where;
    }
}

TEST_F(DocumentIntakeTest, RetrievalNestsInTheHostsTransaction) {
    List(TwoDocuments());
    ASSERT_EQ(env.Db().BeginTrans(), 1);
    RecuperaOrdiniNSO(env.S());
    EXPECT_EQ(env.Count("SELECT IE94_ID FROM IE94_NSOCORPOXML"), 4);
    env.Db().RollbackTrans();
    EXPECT_EQ(env.Count("SELECT IE91_ID FROM IE91_NSOFILES"), 0) << "the host's rollback wins";
    EXPECT_EQ(env.Count("SELECT INTAKE_ID_IE91 FROM KVAD_DOCUMENT_INTAKE"), 0);
}

TEST_F(DocumentIntakeTest, EveryDocumentCarriesItsOwnReason) {
    List({Listed("ok.xml", "OK", Order("OK", "2024-03-06", 1)),
          Listed("gone.xml", "GONE", Order("GONE", "2024-03-06", 1)),
          Listed("empty.xml", "EMPTY", ""), Listed("nul.xml", "NUL", std::string("<o>\0</o>", 8)),
          Listed("text.xml", "TEXT", "not xml at all"),
          Listed("koi.xml", "KOI",
                 "<?xml version=\"1.0\" encoding=\"KOI8-X\"?><Order>\xC1\xD2</Order>"),
          Listed("invoice.xml", "INV", "<Invoice><ID>1</ID></Invoice>"),
          Listed("date.xml", "DATE", Order("DATE", "2026-02-30", 1)),
          Listed("ref.xml", "REF", Order("REF", "2024-03-06", 1, "OK#2024-02-30#UFABCD#Revised"))});
    TheScript().undeliverable = "gone.xml";
    RecuperaOrdiniNSO(env.S());
    const RetrievalReport report = WebService(env.S()).report;
    ASSERT_TRUE(report.completed);
    ASSERT_EQ(report.registered.size(), 9U);
    EXPECT_TRUE(report.registered[0].IsLoaded()) << report.registered[0].reason;
    EXPECT_EQ(report.registered[1].outcome, IntakeOutcome::DownloadFailed);
    EXPECT_TRUE(report.registered[1].RetryCanHelp());
    EXPECT_EQ(Reason(report, "GONE"), "the download failed: non trovato");
    EXPECT_EQ(Reason(report, "EMPTY"), "the document is empty");
    EXPECT_NE(Reason(report, "NUL").find("not text (NUL bytes)"), std::string::npos);
    EXPECT_EQ(Reason(report, "TEXT").rfind("it is not well-formed XML (line 1: ", 0), 0U)
        << Reason(report, "TEXT");
    EXPECT_EQ(Reason(report, "KOI"), "it is not UTF-8 text (line 1: bytes that are not UTF-8 at "
                                     "byte 47 in text that declares the encoding \"KOI8-X\")");
    EXPECT_EQ(Reason(report, "INV"), "it is not an Order (its document element is \"Invoice\")");
    EXPECT_EQ(Reason(report, "DATE"),
              "it could not be staged: \"2026-02-30\" is not a date (staging column "
              "IE92_IssueDate)");
    EXPECT_NE(Reason(report, "REF").find("its reference to the order it changes cannot be read"),
              std::string::npos);
    for (std::size_t i = 2; i < report.registered.size(); ++i) {
        EXPECT_FALSE(report.registered[i].RetryCanHelp()) << report.registered[i].number;
    }
    // The register keeps the reasons for later: the same text for each document.
    const std::vector<DocumentOutcome> kept = DocumentsNotLoaded(env.S());
    ASSERT_EQ(kept.size(), 8U);
    for (const auto& document : kept) {
        EXPECT_EQ(ExplainDocument(env.S(), document.id), Reason(report, document.number));
    }
    EXPECT_EQ(ExplainDocument(env.S(), report.registered[0].id), "");
}

TEST_F(DocumentIntakeTest, AnImpossibleDateStopsOnlyItsDocumentWhereverItIsListed) {
    for (const bool last : {false, true}) {
        SCOPED_TRACE(last ? "bad date last" : "bad date first");
        test::TestEnv run;
        Prepare(run);
        std::vector<test::Script::Entry> entries = {
            Listed("good.xml", "G1", Order("G1", "2024-03-06", 2)),
            Listed("bad.xml", "X1", Order("X1", "2024-03-06", 2, {}, "2026-02-30"))};
        if (!last) {
            std::swap(entries[0], entries[1]);
        }
        List(entries);
        RecuperaOrdiniNSO(run.S());
        const RetrievalReport report = WebService(run.S()).report;
        ASSERT_TRUE(report.completed);
        EXPECT_EQ(Reason(report, "X1"),
                  "it could not be staged: \"2026-02-30\" is not a date (staging column "
                  "IE94_LineItem_Delivery_RequestedDeliveryPeriod_StartDate)");
        EXPECT_EQ(Reason(report, "G1"), "");
        // Stato tells about the last document only, as the retrieval always did.
        EXPECT_EQ(run.S().Stato, last ? kaErrVB : kaOK);
        // The bad order is kept as its load left it, with its log entry.
        EXPECT_EQ(kvad::test::ReadLog(run.Db(),
                                      "IE98_CODE_IE97 = " + std::to_string(message::kXmlNotLoaded))
                      .size(),
                  1U);
        EXPECT_EQ(run.Count("SELECT IE94_ID FROM IE94_NSOCORPOXML"), 4);
        // A run whose last document failed is not recorded; otherwise its documents count.
        const Variant outcome = run.Scalar("SELECT IE90_ESITO_IMPORT FROM IE90_CONFIGNSO");
        EXPECT_TRUE(last ? outcome.IsNull() : outcome.ToLong() == 1) << outcome.Text();
        EXPECT_TRUE(RepairDocuments(run.S()).empty()) << "nothing is left incomplete";
    }
}

// What an older program, killed between its separate commits, left behind.
TEST_F(DocumentIntakeTest, RepairTakesInWhatAnEarlierRunLeftIncomplete) {
    List({Listed("a.xml", "A1", Order("A1", "2024-03-06", 3)),
          Listed("b.xml", "B1", Order("B1", "2024-03-06", 2, "A1#2024-03-06#UFABCD#Revised")),
          Listed("c.xml", "C1", Order("C1", "2024-03-06", 2)),
          Listed("d.xml", "D1", Order("D1", "2024-03-06", 2)),
          Listed("e.xml", "E1", Order("E1", "2024-03-06", 1)),
          Listed("f.xml", "F1", Order("F1", "2024-03-06", 2))});
    RecuperaOrdiniNSO(env.S());
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    const std::string whole = test::RegisterSnapshot(env.Db());
    // The register id of a document, and the id of its first staged line.
    const auto id = [](const std::string& number) {
        return "(SELECT IE91_ID FROM IE91_NSOFILES WHERE IE91_IDORD = '" + number + "')";
    };
    const std::string firstLineOfD1 =
        "SELECT MIN(IE94_ID) FROM IE94_NSOCORPOXML WHERE IE94_ID_IE91 = " + id("D1");
    const Variant untouchedLine = env.Scalar(firstLineOfD1);

    // No program kept records; then each document lost part of what it had.
    env.Native("DELETE FROM KVAD_DOCUMENT_INTAKE");
    env.Native("DELETE FROM IE94_NSOCORPOXML WHERE IE94_ID = (SELECT MAX(IE94_ID) FROM "
               "IE94_NSOCORPOXML WHERE IE94_ID_IE91 = " +
               id("A1") + ")");
    env.Native("UPDATE IE91_NSOFILES SET IE91_RIF_IDORD = NULL, IE91_RIF_ISSUEDATE = NULL, "
               "IE91_RIF_ENDPOINTID = NULL, IE91_OPERAZIONE = 0 WHERE IE91_IDORD = 'B1'");
    env.Native("DELETE FROM IE9A_NSOCORPOSCONTIXML WHERE IE9A_ID_IE91 = " + id("C1"));
    env.Native("DELETE FROM IE92_NSOTESTATAXML WHERE IE92_ID_IE91 = " + id("E1"));
    env.Native("UPDATE IE91_NSOFILES SET IE91_XML = NULL WHERE IE91_IDORD = 'F1'");
    for (const std::string table : {"IE92_NSOTESTATAXML", "IE96_NSOTESTATASCONTIXML",
                                    "IE94_NSOCORPOXML", "IE9A_NSOCORPOSCONTIXML"}) {
        env.Native("DELETE FROM " + table + " WHERE " + table.substr(0, 4) +
                   "_ID_IE91 = " + id("F1"));
    }

    const std::vector<DocumentOutcome> repaired = RepairDocuments(env.S());
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    std::vector<std::string> numbers;
    numbers.reserve(repaired.size());
    for (const auto& d : repaired) {
        numbers.push_back(d.number + (d.IsLoaded() ? "" : " " + d.reason));
    }
    EXPECT_EQ(numbers, (std::vector<std::string>{"A1", "B1", "C1", "E1", "F1"}))
        << "D1 was whole: recorded, not reloaded; F1 was downloaded again";
    EXPECT_EQ(test::SnapshotDifference(whole, test::RegisterSnapshot(env.Db())), "");
    EXPECT_EQ(env.Scalar(firstLineOfD1), untouchedLine);

    // Rows that go missing after a document was recorded are found by its counts.
    env.Native("DELETE FROM IE96_NSOTESTATASCONTIXML WHERE IE96_ID = (SELECT MIN(IE96_ID) FROM "
               "IE96_NSOTESTATASCONTIXML)");
    EXPECT_EQ(RepairDocuments(env.S()).size(), 1U);
    EXPECT_EQ(test::SnapshotDifference(whole, test::RegisterSnapshot(env.Db())), "");
    EXPECT_TRUE(RepairDocuments(env.S()).empty());
}

TEST_F(DocumentIntakeTest, ARepairThatMeetsAFailingDatabaseLeavesTheDocumentToTheNextOne) {
    List(TwoDocuments());
    RecuperaOrdiniNSO(env.S());
    const std::string whole = test::RegisterSnapshot(env.Db());
    const auto breakLines = [&] {
        env.Native("DELETE FROM KVAD_DOCUMENT_INTAKE; DELETE FROM IE9A_NSOCORPOSCONTIXML; "
                   "DELETE FROM IE94_NSOCORPOXML");
    };
    breakLines();
    const std::string broken = test::RegisterSnapshot(env.Db());

    auto failing = std::make_shared<test::FailingConnection>(env.SharedDb());
    env.S().Connessione = failing;
    (void)RepairDocuments(env.S());
    const int total = failing->statements;
    for (int n = 1; n <= total; ++n) {
        const std::string where = "statement " + std::to_string(n) + " of " + std::to_string(total);
        breakLines();
        failing->Reset(n);
        const std::vector<DocumentOutcome> repaired = RepairDocuments(env.S());
        EXPECT_EQ(env.S().Stato, kaErrVB) << where;
        // The document the failure met is as it was; the one before it, if any, is whole.
        const std::string now = test::RegisterSnapshot(env.Db());
        EXPECT_TRUE(repaired.empty() ? now == broken : repaired.size() == 1U) << where;
        failing->Reset(0);
        EXPECT_EQ(RepairDocuments(env.S()).size(), 2U - repaired.size()) << where;
        EXPECT_EQ(test::SnapshotDifference(whole, test::RegisterSnapshot(env.Db())), "") << where;
    }
}

} // namespace
} // namespace kvad::nso
