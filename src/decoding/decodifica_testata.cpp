#include "decoding/decodifica_testata.h"

#include "config/configurazione.h"
#include "decoding/staged_values.h"
#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/text.h"
#include "verification/error_log.h"

namespace kvad::nso {
namespace {

// A decoded note keeps this many characters of its SQL literal.
constexpr std::size_t kNoteLength = 240;
// Length of a VAT number with its two-letter country prefix, and of a personal fiscal code.
constexpr std::int32_t kVatNumberWithPrefix = 13;
constexpr std::int32_t kPersonalFiscalCode = 16;
constexpr std::size_t kVatNumberDigits = 11;

} // namespace

std::string BuyerFiscalId(const Variant& companyId) {
    const std::int32_t length = LunghezzaTesto(companyId);
    if (length == kVatNumberWithPrefix) {
        return Utf8Right(RightTrim(companyId.Text()), kVatNumberDigits);
    }
    if (length == kPersonalFiscalCode) {
        return companyId.Text();
    }
    return "";
}

void DecodificaTestata(NsoState& state, std::int32_t fId) {
    Guard(state, "DecodificaTestata", [&] {
        const std::string id = std::to_string(fId);
        auto testata =
            Conn(state).OpenRecordset("SELECT * FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + id);
        auto ordine = Conn(state).Query("SELECT * FROM IE91_NSOFILES WITH (NOLOCK) "
                                        "INNER JOIN IE92_NSOTESTATAXML WITH (NOLOCK) "
                                        "ON IE92_ID_IE91 = IE91_ID "
                                        "WHERE IE91_ID = " +
                                        id);
        // No staged header or no issue date stops here, before a row is appended.
        const Variant numero = ordine->Value("IE91_IDORD");
        const DateTime data = ordine->Value("IE91_ISSUEDATE").ToDate();
        const std::string endpoint = TextOrEmpty(ordine->Value("IE91_ENDPOINTID"));
        const std::string codiceFiscale =
            BuyerFiscalId(ordine->Value("IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID"));
        const std::string valuta = TextOrEmpty(ordine->Value("IE92_DocumentCurrencyCode"));

        std::string sezionale;
        std::string deposito;
        (void)RecuperaSezionaleDepositoDefault(state, state.Param_CodiceDocumento, sezionale,
                                               deposito);

        const std::string luogo = TextOrEmpty(ordine->Value("IE92_Delivery_DeliveryLocation_ID"));
        const std::string nomeConsegna =
            TextOrEmpty(ordine->Value("IE92_Delivery_DeliveryParty_PartyName_Name"));
        const std::string ufficio =
            TextOrEmpty(ordine->Value("IE92_AccountingCustomerParty_Party_EndPointID"));

        testata->AddNew();
        testata->SetValue("IE93_ID_IE91", fId);
        testata->SetValue("IE93_STATUS", std::int16_t{0});
        testata->SetValue("IE93_DO12_FEIDDOC", numero);
        testata->SetValue("IE93_DO12_FEDATADOC", data);
        testata->SetValue("IE93_DO12_FEIDSOGGETTO", endpoint);
        testata->SetValue("IE93_DO11_DATADOC", data);
        testata->SetValue("IE93_DO11_CODDOCUM_MG3G", state.Param_CodiceDocumento);
        testata->SetValue("IE93_DO11_SEZDOC", sezionale);
        testata->SetValue("IE93_DO11_CODDEP", deposito);
        testata->SetValue("IE93_DO11_TIPOCF_CG44", std::int16_t{0});
        testata->SetValue(
            "IE93_DO11_CLIFOR_CG44",
            DecodificaClifor(state, fId, "IE93_DO11_CLIFOR_CG44", 0, codiceFiscale, endpoint));
        testata->SetValue("IE93_DO11_VALUTA_CG08", DecodificaValuta(state, valuta));
        testata->SetValue("IE93_DO11_UFFICIOPA_CG1M", ufficio);
        const std::int32_t cliente = testata->Value("IE93_DO11_CLIFOR_CG44").ToLong();
        testata->SetValue("IE93_DO11_CLIFORDEST",
                          DecodificaDestinazione(state, 0, cliente, luogo, nomeConsegna));
        // The literal itself is stored, quotes and all.
        testata->SetValue(
            "IE93_DO12_NOTEVSDOC",
            Utf8Left(FormatoDB(state, ordine->Value("IE92_Note"), kLiteralUnicode, true).Text(),
                     kNoteLength));
        testata->SetValue("IE93_DO13_SCIMPCASSA", std::int16_t{0});
        testata->Update();
    });
}

std::int32_t DecodificaClifor(NsoState& state, std::int32_t fId, const std::string& fCampo,
                              std::int16_t fTipoCF, const std::string& fCodiceFiscale,
                              const std::string& fUfficio) {
    std::int32_t cliente = 0;
    Guard(state, "DecodificaClifor", [&] {
        const std::string ditta = CompanyCodeSql(state);
        const std::string codice = ReplaceAll(fCodiceFiscale, "'", "''");
        auto perCodice = Conn(state).Query(
            "SELECT DISTINCT VCG16_44_CF_CLIFOR AS CG44_CLIFOR \r\n"
            "FROM VCG16_CG44_ALLADATA \r\n"
            "LEFT OUTER JOIN CG44_CLIFOR WITH (NOLOCK) \r\n"
            "ON CG44_DITTA_CG18 = VCG16_44_CF_DITTA AND \r\n"
            "   CG44_TIPOCF     = VCG16_44_CF_TIPOCF AND \r\n"
            "   CG44_CLIFOR     = VCG16_44_CF_CLIFOR \r\n"
            "LEFT OUTER JOIN MG19_CLIFORVA WITH (NOLOCK) \r\n"
            "ON MG19_DITTA_CG18  = VCG16_44_CF_DITTA AND \r\n"
            "   MG19_TIPOCF_CG44 = VCG16_44_CF_TIPOCF AND \r\n"
            "   MG19_CLIFOR_CG44 = VCG16_44_CF_CLIFOR \r\n"
            "WHERE VCG16_44_CF_DITTA = " +
            ditta +
            " AND \r\n"
            "      VCG16_44_CF_TIPOCF = " +
            std::to_string(fTipoCF) +
            " AND \r\n"
            "      (CG16_PARTIVA = '" +
            codice + "' OR CG16_CODFISCALE = '" + codice +
            "') AND "
            "      CG16_FLGANAGVAL = 1 AND \r\n"
            "      ISNULL(MG19_DATADISMIS, DATEADD(YEAR, 900, GETDATE())) > GETDATE() AND  \r\n"
            "      GETDATE() BETWEEN ISNULL(DATAINIZIOVALIDITA, GETDATE()) AND "
            "ISNULL(DATAFINEVALIDITA, GETDATE()) ");
        if (!perCodice->Eof()) {
            cliente = perCodice->Value("CG44_CLIFOR").ToLong();
        }
        perCodice.reset();
        if (cliente != 0 || fUfficio.empty()) {
            return;
        }

        auto perUfficio = Conn(state).Query(
            "SELECT VCG16_44_CF_CLIFOR \r\n"
            "FROM CG1M_UFFICIOPA WITH (NOLOCK) "
            "INNER JOIN VCG16_CG44_ALLADATA WITH (NOLOCK) "
            "ON VCG16_44_CF_CODICE_CG16 = CG1M_CODICE_CG16 AND "
            "   VCG16_44_CF_TIPOCF      = CG1M_TIPOCF_CG44 "
            "LEFT OUTER JOIN MG19_CLIFORVA WITH (NOLOCK) "
            "ON MG19_DITTA_CG18  = VCG16_44_CF_DITTA AND "
            "   MG19_TIPOCF_CG44 = VCG16_44_CF_TIPOCF AND "
            "   MG19_CLIFOR_CG44 = VCG16_44_CF_CLIFOR "
            "WHERE VCG16_44_CF_DITTA = " +
            ditta +
            " AND "
            "      CG16_FLGANAGVAL = 1 AND "
            "      ISNULL(MG19_DATADISMIS, DATEADD(YEAR, 900, GETDATE())) > GETDATE() AND "
            "      GETDATE() BETWEEN ISNULL(DATAINIZIOVALIDITA, GETDATE()) AND "
            "ISNULL(DATAFINEVALIDITA, GETDATE()) AND "
            "      CG1M_CODICE = " +
            FormatoDB(state, fUfficio, kLiteralUnicode, false).Text());
        if (perUfficio->Eof()) {
            return;
        }
        cliente = perUfficio->Value("VCG16_44_CF_CLIFOR").ToLong();
        if (perUfficio->RecordCount() > 1) {
            ScriviErrorLog(state, fId, 0, 0, message::kAmbiguousOffice, fCampo, severity::kWarning,
                           Contesto_DecodificaDati, "");
        }
    });
    return cliente;
}

std::string DecodificaValuta(NsoState& state, const std::string& fSigla) {
    std::string codice;
    Guard(state, "DecodificaValuta", [&] {
        auto rs = Conn(state).Query("SELECT CG08_CODICE "
                                    "FROM CG08_TABVALUTE WITH (NOLOCK) "
                                    "WHERE CG08_SIGLA = " +
                                    FormatoDB(state, fSigla, kLiteralText, false).Text());
        if (!rs->Eof()) {
            codice = rs->Value("CG08_CODICE").Text();
        }
    });
    return codice;
}

std::string DecodificaDestinazione(NsoState& state, std::int16_t fTipoCF, std::int32_t fCliente,
                                   const std::string& fLuogo, const std::string& fNome) {
    std::string destinazione;
    Guard(state, "DecodificaDestinazione", [&] {
        const std::string ditta = CompanyCodeSql(state);
        const std::string tipo = std::to_string(fTipoCF);
        const std::string cliente = std::to_string(fCliente);
        auto perLuogo = Conn(state).Query("SELECT MG22_CODDESTIN "
                                          "FROM MG22_CLIFORDEST WITH (NOLOCK) "
                                          "WHERE MG22_DITTA_CG18            = " +
                                          ditta +
                                          " AND "
                                          "      MG22_TIPOCF_CG44           = " +
                                          tipo +
                                          " AND "
                                          "      MG22_CLIFOR_CG44           = " +
                                          cliente +
                                          " AND "
                                          "      MG22_IDDELIVERYLOCATIONNSO = " +
                                          FormatoDB(state, fLuogo, kLiteralUnicode, false).Text());
        if (!perLuogo->Eof()) {
            destinazione = perLuogo->Value("MG22_CODDESTIN").Text();
        }
        perLuogo.reset();
        if (!destinazione.empty()) {
            return;
        }
        auto perNome = Conn(state).Query("SELECT TOP 1 MG22_CODDESTIN "
                                         "FROM MG22_CLIFORDEST WITH (NOLOCK) "
                                         "WHERE MG22_DITTA_CG18  = " +
                                         ditta +
                                         " AND "
                                         "      MG22_TIPOCF_CG44 = " +
                                         tipo +
                                         " AND "
                                         "      MG22_CLIFOR_CG44 = " +
                                         cliente +
                                         " AND "
                                         "      MG22_DESTRAGSOC  = " +
                                         FormatoDB(state, fNome, kLiteralUnicode, false).Text());
        if (!perNome->Eof()) {
            destinazione = perNome->Value("MG22_CODDESTIN").Text();
        }
    });
    return destinazione;
}

} // namespace kvad::nso
