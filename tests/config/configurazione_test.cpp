#include "config/configurazione.h"

#include <gtest/gtest.h>

#include "support/test_env.h"

namespace kvad::nso {
namespace {

class InizializzaTest : public ::testing::Test {
  protected:
    void Row(const std::string& document, const std::string& date, const std::string& layout) {
        env.Native("INSERT INTO IE90_CONFIGNSO (IE90_DITTA_CG18, IE90_CODDOCUM_MG3G, "
                   "IE90_DATAORA_IMPORT, IE90_TRACCIATO_IE25) VALUES (1, " +
                   document + ", " + date + ", " + layout + ")");
    }
    test::TestEnv env;
};

TEST_F(InizializzaTest, CompanyWithoutRowIsRefusedAndKeepsDefaults) {
    env.S().Param_CodiceDocumento = "old";
    Inizializza(env.S());
    EXPECT_EQ(env.S().Stato, kaErrParametri);
    EXPECT_EQ(env.S().Errore.Text(), "Parametri di configurazione assenti");
    EXPECT_EQ(env.S().Param_CodiceDocumento, "");
    EXPECT_EQ(env.S().Param_DataImport.Text(), "03/01/2019");
}

TEST_F(InizializzaTest, LoadsEveryValueAndResetsTheMode) {
    Row("'OCL'", "'2024-03-05 00:00:00'", "'NSO01'");
    env.S().Param_ModalitaImport = kaSoloPiuRecente;
    Inizializza(env.S());
    EXPECT_EQ(env.S().Stato, kaOK);
    EXPECT_EQ(env.S().Param_CodiceDocumento, "OCL");
    EXPECT_EQ(env.S().Param_DataImport.ToDate(), (DateTime{2024, 3, 5}));
    EXPECT_EQ(env.S().Param_Tracciato, "NSO01");
    EXPECT_EQ(env.S().Param_ModalitaImport, kaInteraCatena);
}

TEST_F(InizializzaTest, BlankCodesAreMissingAndTheLayoutMessageIsSetLast) {
    Row("'   '", "NULL", "NULL");
    Inizializza(env.S());
    EXPECT_EQ(env.S().Stato, kaErrParametri);
    EXPECT_EQ(env.S().Errore.Text(), "Codice tracciato assente nei parametri di configurazione");
    EXPECT_EQ(env.S().Param_DataImport.Text(), "03/01/2019") << "a Null date gives the default";
    // The document code missing alone is named.
    env.S().Stato = kaOK;
    env.Native(
        "UPDATE IE90_CONFIGNSO SET IE90_CODDOCUM_MG3G = NULL, IE90_TRACCIATO_IE25 = 'NSO01'");
    Inizializza(env.S());
    EXPECT_EQ(env.S().Errore.Text(), "Codice documento assente nei parametri di configurazione");
}

TEST_F(InizializzaTest, ASuccessfulLoadKeepsAnEarlierFailure) {
    Row("'OCL'", "NULL", "'NSO01'");
    env.S().Stato = kaErrVB;
    env.S().Errore = "earlier";
    Inizializza(env.S());
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text(), "earlier");
    EXPECT_EQ(env.S().Param_CodiceDocumento, "OCL");
}

TEST_F(InizializzaTest, FailedQueryGoesThroughTheFailurePath) {
    env.S().CodiceDitta = Variant(); // nothing after "=": the statement cannot run
    Inizializza(env.S());
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: LeggiParametri", 0), 0U);
}

TEST(RecuperaSezionaleDepositoDefault, KnownAndUnknownDocumentCodes) {
    test::TestEnv env;
    env.Native("INSERT INTO MG3G_DOCDITTA (MG3G_DITTA_CG18, MG3G_CODDOCUM_MG36, MG3G_SEZDEFAULT, "
               "MG3G_DEPDEFAULT_MG58) VALUES (1, 'OCL', 'A', '01'), (2, 'OCX', 'B', '02')");
    std::string sezionale = "x";
    std::string deposito = "y";
    EXPECT_TRUE(RecuperaSezionaleDepositoDefault(env.S(), "ocl", sezionale, deposito))
        << "codes compare case-insensitively";
    EXPECT_EQ(sezionale, "A");
    EXPECT_EQ(deposito, "01");
    EXPECT_FALSE(RecuperaSezionaleDepositoDefault(env.S(), "OCX", sezionale, deposito))
        << "another company's code";
    EXPECT_EQ(sezionale, "");
    EXPECT_EQ(deposito, "");
    EXPECT_FALSE(RecuperaSezionaleDepositoDefault(env.S(), "O'X", sezionale, deposito));
    EXPECT_EQ(env.S().Stato, kaOK) << "a quote in the code does not break the statement";
}

} // namespace
} // namespace kvad::nso
