#include "import/dati_aggiuntivi.h"

#include <string>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace kvad::nso {
namespace {

// Column sizes of a public-administration office.
constexpr std::size_t kNomeUfficio = 60;
constexpr std::size_t kIndirizzoUfficio = 40;
constexpr std::size_t kComuneUfficio = 40;
constexpr std::size_t kCapUfficio = 10;

// A text value cut to a column's size and written as a literal; empty gives null.
std::string Tagliato(NsoState& state, const Variant& value, std::size_t size) {
    return FormatoDB(state, Utf8Left(value.Text(), size), kFmtTesto, true).Text();
}

// A value placed between quotes in a statement, its own quotes doubled.
std::string TraApici(const Variant& value) {
    return ReplaceAll(value.Text(), "'", "''");
}

} // namespace

void ScriviDatiAggiuntivi(NsoState& state, std::int32_t fId) {
    ResetStatus(state);
    Guard(state, "ScriviDatiAggiuntivi", [&] {
        const std::string id = std::to_string(fId);
        const std::string ditta = SqlCodiceDitta(state);
        auto testata = Conn(state).Query(
            "SELECT IE93_DO11_TIPOCF_CG44, IE93_DO11_CLIFOR_CG44, IE93_DO11_UFFICIOPA_CG1M, "
            "IE93_DO11_CLIFORDEST, "
            "       IE92_BuyerCustomerParty_Party_PartyName_Name, "
            "       IE92_BuyerCustomerParty_Party_PostalAddress_StreetName, "
            "       IE92_BuyerCustomerParty_Party_PostalAddress_CityName, "
            "       IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone, "
            "       IE92_Delivery_DeliveryLocation_ID "
            "FROM IE92_NSOTESTATAXML WITH (NOLOCK) "
            "INNER JOIN IE93_NSOTESTATA WITH (NOLOCK) "
            "ON IE93_ID_IE91 = IE92_ID_IE91 "
            "WHERE IE92_ID_IE91 = " +
            id);
        if (!testata->Eof()) {
            const std::string tipo = testata->Value("IE93_DO11_TIPOCF_CG44").Text();
            const std::string cliente = testata->Value("IE93_DO11_CLIFOR_CG44").Text();
            const Variant ufficio = testata->Value("IE93_DO11_UFFICIOPA_CG1M");
            const Variant destinazione = testata->Value("IE93_DO11_CLIFORDEST");
            const Variant luogo = testata->Value("IE92_Delivery_DeliveryLocation_ID");

            // The office becomes a known office of the customer.
            if (LunghezzaTesto(ufficio) > 0) {
                const std::string codice = FormatoDB(state, ufficio, kFmtTesto, false).Text();
                auto anagrafica = Conn(state).Query("SELECT TOP 1 CG44_CODICE_CG16, CG1M_CODICE "
                                                    "FROM CG44_CLIFOR WITH (NOLOCK) "
                                                    "LEFT OUTER JOIN CG1M_UFFICIOPA WITH (NOLOCK) "
                                                    "ON CG1M_CODICE_CG16 = CG44_CODICE_CG16 AND "
                                                    "   CG1M_TIPOCF_CG44 = CG44_TIPOCF AND "
                                                    "   CG1M_CODICE = " +
                                                    codice + "WHERE CG44_DITTA_CG18  = " + ditta +
                                                    " AND       CG44_TIPOCF      = " + tipo +
                                                    " AND       CG44_CLIFOR      = " + cliente);
                if (!anagrafica->Eof() &&
                    ValoreODefault(anagrafica->Value("CG1M_CODICE"), std::string())
                        .Text()
                        .empty()) {
                    Conn(state).Execute(
                        "INSERT INTO CG1M_UFFICIOPA   (CG1M_CODICE, CG1M_CODICE_CG16, CG1M_NOME, "
                        "CG1M_INDIRIZZO, CG1M_COMUNE, CG1M_CAP, CG1M_INDTYPEB2B) VALUES ( " +
                        codice + ", " + anagrafica->Value("CG44_CODICE_CG16").Text() + ", " +
                        Tagliato(state,
                                 testata->Value("IE92_BuyerCustomerParty_Party_PartyName_Name"),
                                 kNomeUfficio) +
                        ", " +
                        Tagliato(state,
                                 testata->Value(
                                     "IE92_BuyerCustomerParty_Party_PostalAddress_StreetName"),
                                 kIndirizzoUfficio) +
                        ", " +
                        Tagliato(
                            state,
                            testata->Value("IE92_BuyerCustomerParty_Party_PostalAddress_CityName"),
                            kComuneUfficio) +
                        ", " +
                        Tagliato(state,
                                 testata->Value(
                                     "IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone"),
                                 kCapUfficio) +
                        ",  1 ) ");
                }
            }

            // The delivery location is recorded on the destination the order was decoded to,
            // unless a destination of the customer already carries it.
            if (LunghezzaTesto(destinazione) > 0 && LunghezzaTesto(luogo) > 0) {
                const std::string doveCliente =
                    "WHERE MG22_DITTA_CG18            = " + ditta +
                    " AND       MG22_TIPOCF_CG44           = " + tipo +
                    " AND       MG22_CLIFOR_CG44           = " + cliente + " AND       ";
                const std::string codiceLuogo = FormatoDB(state, luogo, kFmtUnicode, false).Text();
                auto registrato =
                    Conn(state).Query("SELECT TOP 1 1 FROM MG22_CLIFORDEST WITH (NOLOCK) " +
                                      doveCliente + "MG22_IDDELIVERYLOCATIONNSO = " + codiceLuogo);
                if (registrato->Eof()) {
                    Conn(state).Execute(
                        "UPDATE MG22_CLIFORDEST SET MG22_IDDELIVERYLOCATIONNSO = " + codiceLuogo +
                        " " + doveCliente + "MG22_CODDESTIN             = '" +
                        TraApici(destinazione) + "'");
                }
            }
        }

        // The standard item identifier of each line is recorded on the line's item, unless an
        // item of the company already carries it.
        auto righe = Conn(state).Query("SELECT IE95_DO30_CODART_MG66, "
                                       "       IE94_LineItem_Item_StandardItemIdentification_ID "
                                       "FROM IE95_NSOCORPO WITH (NOLOCK) "
                                       "LEFT OUTER JOIN IE94_NSOCORPOXML WITH (NOLOCK) "
                                       "ON IE94_ID = IE95_ID_IE94 "
                                       "WHERE IE95_ID_IE91 = " +
                                       id);
        for (; !righe->Eof(); righe->MoveNext()) {
            const Variant articolo = righe->Value("IE95_DO30_CODART_MG66");
            const Variant standard = ValoreODefault(
                righe->Value("IE94_LineItem_Item_StandardItemIdentification_ID"), std::string());
            if (LunghezzaTesto(articolo) == 0 || standard.Text().empty()) {
                continue;
            }
            const std::string codiceStandard = FormatoDB(state, standard, kFmtTesto, false).Text();
            std::string cerca =
                "SELECT TOP 1 1 FROM MG66_ANAGRART WITH (NOLOCK) WHERE MG66_DITTA_CG18   = ";
            cerca += ditta;
            cerca += " AND       MG66_AICMINSANNSO = ";
            cerca += codiceStandard;
            if (Conn(state).Query(cerca)->Eof()) {
                std::string registra = "UPDATE MG66_ANAGRART SET MG66_AICMINSANNSO = ";
                registra += codiceStandard;
                registra += " WHERE MG66_DITTA_CG18 = ";
                registra += ditta;
                registra += " AND       MG66_CODART     = '";
                registra += TraApici(articolo);
                registra += "'";
                Conn(state).Execute(registra);
            }
        }
    });
}

} // namespace kvad::nso
