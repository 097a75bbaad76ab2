#include "document_import.h"

#include <gtest/gtest.h>

#include "erp_document.h"
#include "import_layout.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "support/expect_error.h"
#include "support/test_backend.h"
#include "support/test_env.h"

namespace kvad::host {
namespace {

using kvad::test::ExpectVbError;

Decimal Dec(const char* text) {
    return *Decimal::Parse(text);
}

// A decoded order of company 1 (register id 1) for customer 5, document OCL section A, with
// two lines, and one ERP order already made elsewhere (registration 41, OCL A/6 of 2024).
class DocumentImportTest : public ::testing::Test {
  protected:
    DocumentImportTest() {
        env.Native(
            "INSERT INTO MG3G_DOCDITTA VALUES (1, 'OCL', NULL, 'A', '01');"
            "INSERT INTO CG44_CLIFOR VALUES (1, 0, 5, NULL);"
            "INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, "
            "IE91_ENDPOINTID) VALUES (1, 'ORD-1', '2024-03-04 00:00:00', 'UFX');"
            "INSERT INTO IE93_NSOTESTATA (IE93_ID_IE91, IE93_DO12_FEIDDOC, IE93_DO12_FEDATADOC, "
            "IE93_DO12_FEIDSOGGETTO, IE93_DO11_DATADOC, IE93_DO11_CODDOCUM_MG3G, "
            "IE93_DO11_SEZDOC, IE93_DO11_CODDEP, IE93_DO11_TIPOCF_CG44, IE93_DO11_CLIFOR_CG44, "
            "IE93_DO11_VALUTA_CG08, IE93_DO11_UFFICIOPA_CG1M, IE93_DO11_CLIFORDEST, "
            "IE93_DO12_NOTEVSDOC, IE93_DO13_SCIMPCASSA) VALUES (1, 'ORD-1', '2024-03-04 "
            "00:00:00', 'UFX', '2024-03-04 00:00:00', 'OCL', 'A', '01', 0, 5, '001', 'UFX', "
            "'MAG', 'Consegna al piano terra', 2.5);"
            "INSERT INTO IE95_NSOCORPO (IE95_ID_IE91, IE95_DO30_PROGRIGA, IE95_DO30_CODART_MG66, "
            "IE95_DO30_INDTIPORIGA, IE95_DO30_DESCART, IE95_DO30_QTA1, IE95_DO30_PREZZO1, "
            "IE95_DO30_SCPER1, IE95_DO30_ALIVA_CG28, IE95_DO31_DATACONS) VALUES "
            "(1, 1, 'ART1', 0, 'Guanti', 3, 12.5, 5, '22', '2024-04-01 00:00:00'),"
            "(1, 2, NULL, 2, 'Consegna in due tempi', NULL, NULL, NULL, NULL, NULL);"
            "INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, DO11_DOCUM_MG36, "
            "DO11_SEZDOC, DO11_NUMDOC, DO11_ANNODOC) VALUES (1, 41, 'OCL', 'A', 6, 2024)");
    }

    /// Runs the import object on register id `id` with layout NSO and returns it.
    std::shared_ptr<StandInDocumentImport> Run(const std::string& filter = "IE91_ID = 1",
                                               const std::string& layout = "NSO") {
        auto bo = std::make_shared<StandInDocumentImport>();
        bo->SetConnection(env.SharedDb());
        bo->SetOption(std::int16_t{4});
        bo->SetLayout(layout);
        bo->SetFilter(filter);
        bo->Run();
        return bo;
    }

    long Count(const std::string& table) {
        return env.Scalar("SELECT COUNT(*) FROM " + table).ToLong();
    }

  public:
    kvad::test::TestEnv env;
};

TEST_F(DocumentImportTest, MakesTheOrderFromTheDecodedRowsWithNumbersFromTheCounters) {
    auto bo = Run();
    ASSERT_EQ(bo->OutcomeCode(), 0) << bo->OutcomeText();
    EXPECT_EQ(bo->OutcomeText(), "");

    auto d = env.Db().Query("SELECT * FROM DO11_DOCTESTATA INNER JOIN DO12_DOCTESTARIF ON "
                            "DO12_NUMREG_CO99 = DO11_NUMREG_CO99 INNER JOIN DO13_DOCPIEDE ON "
                            "DO13_NUMREG_CO99 = DO11_NUMREG_CO99 WHERE DO11_NUMREG_CO99 = 42");
    ASSERT_FALSE(d->Eof()) << "numbered after the highest registration number in use";
    EXPECT_EQ(d->Value("DO11_NUMDOC").ToLong(), 7);
    EXPECT_EQ(d->Value("DO11_ANNODOC").ToLong(), 2024);
    EXPECT_EQ(d->Value("DO11_GUID").Text().size(), 36U);
    EXPECT_EQ(d->Value("DO11_CLIFOR_CG44").ToLong(), 5);
    EXPECT_EQ(d->Value("DO11_CLIFORDEST").Text(), "MAG");
    EXPECT_EQ(d->Value("DO11_DATADOC").ToDate(), (DateTime{2024, 3, 4}));
    EXPECT_EQ(d->Value("DO12_FEIDDOC").Text(), "ORD-1");
    EXPECT_EQ(d->Value("DO12_FEIDSOGGETTO").Text(), "UFX");
    EXPECT_EQ(d->Value("DO12_NOTEVSDOC").Text(), "Consegna al piano terra");
    EXPECT_EQ(d->Value("DO13_SCIMPCASSA").ToDecimal(), Dec("2.5"));

    auto l = env.Db().Query("SELECT * FROM DO30_DOCCORPO INNER JOIN DO31_DOCCORPOORD ON "
                            "DO31_NUMREG_CO99 = DO30_NUMREG_CO99 AND DO31_PROGRIGA = "
                            "DO30_PROGRIGA WHERE DO30_NUMREG_CO99 = 42 ORDER BY DO30_PROGRIGA");
    ASSERT_EQ(l->RecordCount(), 2);
    EXPECT_EQ(l->Value("DO30_CODART_MG66").Text(), "ART1");
    EXPECT_EQ(l->Value("DO30_QTA1").ToDecimal(), Dec("3"));
    EXPECT_EQ(l->Value("DO30_SCPER1").ToDecimal(), Dec("5"));
    EXPECT_EQ(l->Value("DO30_ALIVA_CG28").Text(), "22");
    EXPECT_EQ(l->Value("DO31_DATACONS").ToDate(), (DateTime{2024, 4, 1}));
    EXPECT_EQ(l->Value("DO31_QTA1CONS").ToDecimal(), Dec("0"));
    l->MoveNext();
    EXPECT_EQ(l->Value("DO30_INDTIPORIGA").ToLong(), 2) << "a description line needs no VAT";

    // The next order continues the counters; another year starts its own numbers.
    env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD) VALUES (1, 'ORD-2');"
               "INSERT INTO IE93_NSOTESTATA (IE93_ID_IE91, IE93_DO12_FEIDDOC, "
               "IE93_DO11_DATADOC, IE93_DO11_CODDOCUM_MG3G, IE93_DO11_SEZDOC, "
               "IE93_DO11_TIPOCF_CG44, IE93_DO11_CLIFOR_CG44) SELECT 2, 'ORD-2', "
               "'2025-01-02 00:00:00', 'OCL', 'A', 0, 5;"
               "INSERT INTO IE95_NSOCORPO (IE95_ID_IE91, IE95_DO30_PROGRIGA, "
               "IE95_DO30_ALIVA_CG28) VALUES (2, 1, '22')");
    ASSERT_EQ(Run("  ie91_id=2 ")->OutcomeCode(), 0);
    EXPECT_EQ(
        env.Scalar("SELECT DO11_NUMDOC FROM DO11_DOCTESTATA WHERE DO11_NUMREG_CO99 = 43").ToLong(),
        1);
    EXPECT_EQ(env.Scalar("SELECT CO99_ULTIMO FROM CO99_NUMREG").ToLong(), 43);
    EXPECT_EQ(Count("DO10_NUMERAZIONE"), 2);
}

TEST(TextOfSqlLiteral, UndoesTheQuotingOfANote) {
    EXPECT_EQ(TextOfSqlLiteral("N'Revisione dell''ordine 87/2024'"),
              "Revisione dell'ordine 87/2024");
    EXPECT_EQ(TextOfSqlLiteral("'l''''ultimo'"), "l''ultimo");
    EXPECT_EQ(TextOfSqlLiteral("N'tagliata dopo l''"), "tagliata dopo l'")
        << "a literal cut before its closing apostrophe";
    EXPECT_EQ(TextOfSqlLiteral("N'tagliata"), "tagliata");
    EXPECT_EQ(TextOfSqlLiteral("N''"), "");
    EXPECT_EQ(TextOfSqlLiteral("null"), "");
    EXPECT_EQ(TextOfSqlLiteral("Nota scritta a mano, l'ultima"), "Nota scritta a mano, l'ultima")
        << "a note typed as text is not a literal";
}

// The decoded note holds the SQL literal of the order's note; the ERP order gets its text.
TEST_F(DocumentImportTest, TheErpOrderNoteIsTheTextOfTheDecodedLiteral) {
    const std::pair<std::string, std::string> notes[] = {
        {"'N''Revisione dell''''ordine 2024-FAR-0381: aumentata l''''eparina'''",
         "Revisione dell'ordine 2024-FAR-0381: aumentata l'eparina"},
        {"'N''" + std::string(238, 'x') + "'", std::string(238, 'x')},
        {"'null'", "(null)"},
    };
    for (const auto& [stored, text] : notes) {
        SCOPED_TRACE(stored);
        env.Native("DELETE FROM DO12_DOCTESTARIF; UPDATE IE93_NSOTESTATA SET "
                   "IE93_DO12_NOTEVSDOC = " +
                   stored);
        auto bo = Run();
        ASSERT_EQ(bo->OutcomeCode(), 0) << bo->OutcomeText();
        const Variant note = env.Scalar("SELECT DO12_NOTEVSDOC FROM DO12_DOCTESTARIF");
        EXPECT_EQ(note.IsNull() ? "(null)" : note.Text(), text);
    }
}

TEST_F(DocumentImportTest, RefusesWithACodeAndAClearTextAndWritesNothing) {
    struct Case {
        const char* what;
        std::string change; // SQL run before the import, "" for none
        std::int32_t code;
        std::string text;
        std::string filter = "IE91_ID = 1";
        std::string layout = "NSO";
    };
    const std::string layoutNso = "Tracciato di importazione 'NSO': ";
    const std::vector<Case> cases{
        {"unknown layout", "", outcome::kUnknownLayout,
         "Tracciato di importazione 'XYZ' sconosciuto", "IE91_ID = 1", "XYZ"},
        {"layout column unknown",
         "INSERT INTO IE26_TRACCIATICAMPI VALUES ('NSO', 'DO11_DOCTESTATA', 'DO11_COLORE', "
         "'IE93_DO11_SEZDOC')",
         outcome::kInvalidLayout,
         layoutNso + "la tabella DO11_DOCTESTATA non ha il campo DO11_COLORE"},
        {"layout source not decoded",
         "UPDATE IE26_TRACCIATICAMPI SET IE26_ORIGINE = 'IE93_DO11_NIENTE' WHERE IE26_CAMPO = "
         "'DO11_CODDEP'",
         outcome::kInvalidLayout,
         layoutNso + "il campo DO11_CODDEP legge IE93_DO11_NIENTE, che non è in IE93_NSOTESTATA"},
        {"layout writing a key",
         "INSERT INTO IE26_TRACCIATICAMPI VALUES ('NSO', 'DO30_DOCCORPO', 'DO30_PROGRIGA', "
         "'IE95_ID')",
         outcome::kInvalidLayout,
         layoutNso + "il campo DO30_PROGRIGA è assegnato dall'importazione"},
        {"layout without identity",
         "DELETE FROM IE26_TRACCIATICAMPI WHERE IE26_CAMPO = 'DO12_FEIDDOC'",
         outcome::kInvalidLayout, layoutNso + "manca il campo DO12_FEIDDOC"},
        {"filter", "", outcome::kBadFilter,
         "Filtro 'IE91_ID = 1 OR 1 = 1' non valido: atteso IE91_ID = <numero>",
         "IE91_ID = 1 OR 1 = 1"},
        {"not decoded", "", outcome::kNotDecoded, "L'ordine 9 non è stato decodificato",
         "IE91_ID = 9"},
        {"no customer", "UPDATE IE93_NSOTESTATA SET IE93_DO11_CLIFOR_CG44 = 0",
         outcome::kNoCustomer,
         "Cliente mancante: l'ordine non è associato a un cliente dell'anagrafica"},
        {"unknown customer", "UPDATE IE93_NSOTESTATA SET IE93_DO11_CLIFOR_CG44 = 6",
         outcome::kNoCustomer, "Cliente 6 non presente in anagrafica per la ditta 1"},
        {"no document code", "UPDATE IE93_NSOTESTATA SET IE93_DO11_CODDOCUM_MG3G = ' '",
         outcome::kNoDocumentCode, "Codice documento mancante"},
        {"unknown document code", "UPDATE IE93_NSOTESTATA SET IE93_DO11_CODDOCUM_MG3G = 'O''X'",
         outcome::kNoDocumentCode, "Codice documento O'X non previsto per la ditta 1"},
        {"no section", "UPDATE IE93_NSOTESTATA SET IE93_DO11_SEZDOC = NULL", outcome::kNoSection,
         "Sezionale del documento mancante"},
        {"no date", "UPDATE IE93_NSOTESTATA SET IE93_DO11_DATADOC = NULL", outcome::kNoDate,
         "Data del documento mancante"},
        {"no lines", "DELETE FROM IE95_NSOCORPO", outcome::kBadLines,
         "L'ordine non ha righe da importare"},
        {"no VAT code",
         "UPDATE IE95_NSOCORPO SET IE95_DO30_ALIVA_CG28 = '' WHERE IE95_DO30_PROGRIGA = 1",
         outcome::kNoVatCode, "Riga 1: codice IVA mancante"},
        {"already imported",
         "INSERT INTO DO12_DOCTESTARIF (DO12_DITTA_CG18, DO12_NUMREG_CO99, DO12_FEIDDOC, "
         "DO12_FEDATADOC, DO12_FEIDSOGGETTO) VALUES (1, 41, 'ORD-1', '2024-03-04 00:00:00', "
         "'UFX'); UPDATE DO11_DOCTESTATA SET DO11_DATADOC = '2024-03-05 00:00:00'",
         outcome::kAlreadyImported, "Ordine già importato nel documento OCL A/6 del 05/03/2024"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        env.Db().BeginTrans();
        if (!c.change.empty()) {
            env.Native(c.change);
        }
        auto bo = Run(c.filter, c.layout);
        EXPECT_EQ(bo->OutcomeCode(), c.code);
        EXPECT_EQ(bo->OutcomeText(), c.text);
        EXPECT_EQ(Count("DO11_DOCTESTATA"), 1);
        EXPECT_EQ(Count("CO99_NUMREG") + Count("DO30_DOCCORPO"), 0);
        env.Db().RollbackTrans();
    }

    StandInDocumentImport detached;
    detached.SetFilter("IE91_ID = 1");
    detached.SetLayout("NSO");
    detached.Run();
    EXPECT_EQ(detached.OutcomeCode(), outcome::kNoConnection);
}

TEST_F(DocumentImportTest, ADatabaseErrorTakesBackOnlyWhatTheRunWrote) {
    KVAD_SQLITE_ONLY(); // the fault is an SQLite trigger
    env.Native("CREATE TRIGGER REFUSE_LINES BEFORE INSERT ON DO31_DOCCORPOORD BEGIN "
               "SELECT RAISE(ABORT, 'no lines today'); END");
    env.Db().BeginTrans();
    env.Native("INSERT INTO CG28_TABCODIVA (CG28_CODICE) VALUES ('4')");

    kvad::test::ExpectDbError("23000", [&] { (void)Run(); });

    EXPECT_EQ(Count("DO11_DOCTESTATA"), 1);
    EXPECT_EQ(Count("DO30_DOCCORPO") + Count("CO99_NUMREG") + Count("DO10_NUMERAZIONE"), 0);
    // The caller's transaction is still open with its own work.
    env.Db().CommitTrans();
    EXPECT_EQ(Count("CG28_TABCODIVA"), 1);
}

TEST(StandInDocumentObject, ClosesTheLinesThenTheOrderFollowsThem) {
    kvad::test::TestEnv env;
    env.Native("INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99) VALUES (1, 7);"
               "INSERT INTO DO31_DOCCORPOORD (DO31_DITTA_CG18, DO31_NUMREG_CO99, DO31_PROGRIGA) "
               "VALUES (1, 7, 1), (1, 7, 2), (2, 7, 1)");
    StandInDocumentObject document;
    ExpectVbError(vberr::kObjectNotSet, [&] { (void)document.CloseLines(7, 1, 1); });
    document.Settings()->SetConnection(env.SharedDb());
    document.Settings()->SetCompany(1);

    EXPECT_EQ(document.CloseLines(7, 1, 1).ToLong(), 1);
    EXPECT_EQ(document.RefreshState(7).ToLong(), 0) << "line 2 is still open";
    EXPECT_EQ(document.CloseLines(7, std::int16_t{1}, 999999).ToLong(), 2);
    EXPECT_EQ(document.RefreshState(7).ToLong(), 1);
    EXPECT_EQ(env.Scalar("SELECT DO11_FLGNONPIUEV FROM DO11_DOCTESTATA").ToLong(), 1);
    EXPECT_EQ(
        env.Scalar("SELECT COUNT(*) FROM DO31_DOCCORPOORD WHERE DO31_FLGNONPIUEV = 0").ToLong(), 1)
        << "another company's line is not touched";

    document.SetSettings(nullptr);
    ExpectVbError(vberr::kObjectNotSet, [&] { (void)document.RefreshState(7); });
}

} // namespace
} // namespace kvad::host
