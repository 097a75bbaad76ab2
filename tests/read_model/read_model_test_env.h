#pragma once
// The example orders fetched, processed and imported through CLSIE_NSO on a fresh database with
// the demo master data, as a host does it, for the read model to read back.

#include <gtest/gtest.h>

#include <memory>

#include "host/master_data.h"
#include "host/stand_ins.h"
#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/read_model/company.h"
#include "platform/folder_inbox.h"
#include "support/test_env.h"

namespace kvad::read_model::test {

class ReadModelTest : public ::testing::Test {
  protected:
    ReadModelTest() {
        (void)host::LoadDemoMasterData(env.Db(), 1);
        ConfigurationChanges config;
        config.document = "OCL";
        config.layout = "NSO";
        config.firstDate = DateTime{2024, 1, 1};
        WriteConfiguration(env.Db(), 1, config);
        kvad::test::CopyReceived(std::filesystem::path(KVAD_SOURCE_DIR) / "examples" / "inbox",
                                 env.Dir() / "inbox");
        host::HostConfig host;
        host.companyVat = "01234567890";
        host.cacheDir = (env.Dir() / "cache").string();
        platform::RegisterFolderInbox({(env.Dir() / "inbox").string(), "", ""});
        nso.SetConnessione(env.SharedDb());
        nso.SetCodiceDitta(std::int32_t{1});
        nso.SetActiveInterface(host::RegisterStandIns(host));
        nso.Inizializza();
        nso.RecuperaOrdiniNSO();
        EXPECT_EQ(nso.Stato(), kaOK) << nso.Errore().Text();
    }

    /// Every chain still to process listed and selected, as `nso process --all` selects them.
    void SelectAll() {
        kaenumTipoOrdiniProcessati toProcess = kaOrdiniDaProcessare;
        nso.LeggiOrdini(toProcess);
        kaEnumNSOSelez every = kaTutti;
        nso.SetSelezione(every);
        ASSERT_EQ(nso.Stato(), kaOK) << nso.Errore().Text();
    }

    /// Opens the result recordsets of `context`.
    void OpenResults(kaEnumContesto context) { (void)nso.GetRstElaborazione(context); }

    /// SelectAll, then processing, with the result recordsets open.
    void ProcessAll() {
        SelectAll();
        nso.RecuperaOrdini();
        OpenResults(Contesto_Tutti);
        ASSERT_EQ(nso.Stato(), kaOK) << nso.Errore().Text();
    }

    /// ProcessAll, then the import of what it processed.
    void ProcessAndImport() {
        ProcessAll();
        nso.ImportaDocumenti();
    }

    kvad::test::TestEnv env;
    CLSIE_NSO nso;
};

} // namespace kvad::read_model::test
