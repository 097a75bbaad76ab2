#include "decoding/decodifica_corpo.h"

#include <string>

#include "decoding/decodifica_articolo.h"
#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/text.h"

namespace kvad::nso {
namespace {

constexpr int kDecimaliUnitari = 3;

// ValoreDecimale as a number: a value that is not one counts as 0.
Decimal Importo(const Variant& value) {
    const Variant decimal = ValoreDecimale(value);
    return decimal.IsEmpty() ? Decimal() : decimal.ToDecimal();
}

std::string Testo(const Variant& value) {
    return ValoreODefault(value, std::string()).Text();
}

// The decoded line's columns, in the order they are written.
struct RigaDecodificata {
    std::int32_t idOrdine = 0;
    Variant idRigaXml;
    std::int32_t progRiga = 0;
    std::string codArt;
    std::string opzione;
    std::int16_t tipoRiga = 0;
    std::string descrizione;
    Decimal quantita;
    Decimal prezzo;
    Decimal scontoUnitario;
    Decimal maggiorazioneUnitaria;
    Decimal aliquota;
    std::string codiceIva;
    Variant dataConsegna;
};

void AggiungiRiga(Recordset& righe, const RigaDecodificata& r) {
    const Variant zero(std::int16_t{0});
    righe.AddNew();
    righe.SetValue("IE95_ID_IE91", r.idOrdine);
    righe.SetValue("IE95_ID_IE94", r.idRigaXml);
    righe.SetValue("IE95_STATUS", zero);
    righe.SetValue("IE95_DO30_PROGRIGA", r.progRiga);
    righe.SetValue("IE95_DO30_CODART_MG66", r.codArt);
    righe.SetValue("IE95_DO30_OPZIONE_MG5E", r.opzione);
    righe.SetValue("IE95_DO30_INDTIPORIGA", r.tipoRiga);
    righe.SetValue("IE95_DO30_DESCART", r.descrizione);
    righe.SetValue("IE95_DO30_QTA1", r.quantita);
    righe.SetValue("IE95_DO30_PREZZO1", r.prezzo);
    for (const char* sconto : {"IE95_DO30_SCPER1", "IE95_DO30_SCPER2", "IE95_DO30_SCPER3",
                               "IE95_DO30_SCPER4", "IE95_DO30_SCPER5", "IE95_DO30_SCPER6"}) {
        righe.SetValue(sconto, zero);
    }
    righe.SetValue("IE95_DO30_SCIMP", r.scontoUnitario);
    righe.SetValue("IE95_DO30_MAGPER1", zero);
    righe.SetValue("IE95_DO30_MAGPER2", zero);
    righe.SetValue("IE95_DO30_MAGIMP", r.maggiorazioneUnitaria);
    righe.SetValue("IE95_ALIVA_XML", r.aliquota);
    righe.SetValue("IE95_DO30_ALIVA_CG28", r.codiceIva);
    righe.SetValue("IE95_DO31_DATACONS", r.dataConsegna);
    righe.SetValue("IE95_STATUS", zero);
    righe.Update();
}

} // namespace

Decimal ImportoUnitario(const Decimal& total, const Decimal& quantity) {
    if (quantity.IsZero()) {
        return Decimal();
    }
    return (total / quantity).Round(kDecimaliUnitari);
}

void DecodificaCorpo(NsoState& state, std::int32_t fId) {
    Guard(state, "DecodificaCorpo", [&] {
        const std::string id = std::to_string(fId);
        auto righe = Conn(state).OpenRecordset("SELECT IE95_NSOCORPO.* "
                                               "FROM IE95_NSOCORPO WITH (NOLOCK) "
                                               "WHERE IE95_ID_IE91 = " +
                                               id);

        // First pass: the order's lines, numbered in the order they are read.
        auto righeXml = Conn(state).Query("SELECT IE94_NSOCORPOXML.*, "
                                          "       IE93_DO11_CLIFOR_CG44 "
                                          "FROM IE91_NSOFILES WITH (NOLOCK) "
                                          "INNER JOIN IE93_NSOTESTATA WITH (NOLOCK) "
                                          "ON IE93_ID_IE91 = IE91_ID "
                                          "INNER JOIN IE94_NSOCORPOXML WITH (NOLOCK) "
                                          "ON IE94_ID_IE91 = IE91_ID "
                                          "WHERE IE91_ID = " +
                                          id);
        std::int32_t progRiga = 0;
        // Lines made from the order's own allowances and charges carry the delivery date of the
        // last order line.
        Variant dataConsegna;
        for (; !righeXml->Eof(); righeXml->MoveNext()) {
            ++progRiga;
            RigaDecodificata r;
            const std::string codice =
                Testo(righeXml->Value("IE94_LineItem_Item_SellersItemIdentification_ID"));
            const std::string standard =
                Testo(righeXml->Value("IE94_LineItem_Item_StandardItemIdentification_ID"));
            r.quantita = Importo(righeXml->Value("IE94_LineItem_Quantity"));
            r.codiceIva = Testo(righeXml->Value("IE94_LineItem_Item_ClassifiedTaxCategory_ID"));
            r.aliquota =
                Importo(righeXml->Value("IE94_LineItem_Item_ClassifiedTaxCategory_Percent"));
            dataConsegna =
                righeXml->Value("IE94_LineItem_Delivery_RequestedDeliveryPeriod_StartDate");
            r.descrizione = Testo(righeXml->Value("IE94_LineItem_Item_Description"));
            r.prezzo = Importo(righeXml->Value("IE94_LineItem_Price_PriceAmount"));
            const std::int32_t cliente =
                Variant(Importo(righeXml->Value("IE93_DO11_CLIFOR_CG44"))).ToLong();
            r.idRigaXml = righeXml->Value("IE94_ID");
            const std::int32_t idRiga = r.idRigaXml.ToLong();

            Decimal sconti;
            Decimal maggiorazioni;
            auto totali =
                Conn(state).Query("SELECT IE9A_ChargeIndicator, SUM (IE9A_Amount) AS IE9A_Amount "
                                  "FROM IE9A_NSOCORPOSCONTIXML WITH (NOLOCK) "
                                  "WHERE IE9A_ID_IE94 = " +
                                  std::to_string(idRiga) + " GROUP BY IE9A_ChargeIndicator ");
            for (; !totali->Eof(); totali->MoveNext()) {
                const std::string indicatore =
                    AsciiUpper(totali->Value("IE9A_ChargeIndicator").Text());
                if (indicatore == "FALSE") {
                    sconti = Importo(totali->Value("IE9A_Amount"));
                } else if (indicatore == "TRUE") {
                    maggiorazioni = Importo(totali->Value("IE9A_Amount"));
                }
            }
            totali.reset();

            DecodificaArticolo(state, fId, idRiga, progRiga, "IE95_DO30_CODART_MG66", codice,
                               standard, r.descrizione, 0, cliente, r.codArt, r.opzione,
                               r.tipoRiga);
            r.idOrdine = fId;
            r.progRiga = progRiga;
            r.scontoUnitario = ImportoUnitario(sconti, r.quantita);
            r.maggiorazioneUnitaria = ImportoUnitario(maggiorazioni, r.quantita);
            r.dataConsegna = dataConsegna;
            AggiungiRiga(*righe, r);
        }
        righeXml.reset();

        // Second pass: the order's own allowances and charges, numbered after its last line.
        auto scontiTestata =
            Conn(state).Query("SELECT * FROM IE96_NSOTESTATASCONTIXML WITH (NOLOCK) "
                              "WHERE IE96_ID_IE91 = " +
                              id);
        if (scontiTestata->Eof()) {
            return;
        }
        {
            auto massimo = Conn(state).Query("SELECT MAX(IE95_DO30_PROGRIGA) AS MAX_PROGRIGA "
                                             "FROM IE95_NSOCORPO WITH (NOLOCK) "
                                             "WHERE IE95_ID_IE91 = " +
                                             id);
            const Variant ultima = massimo->Value("MAX_PROGRIGA");
            progRiga = ultima.IsNull() ? 0 : ultima.ToLong();
        }
        Decimal scontiNonImponibili;
        auto nuoveRigheXml = Conn(state).OpenRecordset("SELECT IE94_NSOCORPOXML.* "
                                                       "FROM IE94_NSOCORPOXML WITH (NOLOCK) "
                                                       "WHERE IE94_ID_IE91 = " +
                                                       id);
        for (; !scontiTestata->Eof(); scontiTestata->MoveNext()) {
            ++progRiga;
            RigaDecodificata r;
            r.idOrdine = fId;
            r.progRiga = progRiga;
            r.descrizione = Testo(scontiTestata->Value("IE96_AllowanceChargeReason"));
            Decimal sconto;
            if (AsciiUpper(scontiTestata->Value("IE96_ChargeIndicator").Text()) == "TRUE") {
                r.prezzo = Importo(scontiTestata->Value("IE96_Amount"));
            } else {
                sconto = Importo(scontiTestata->Value("IE96_Amount"));
                r.prezzo = sconto * Decimal(-1);
            }
            if (LunghezzaTesto(scontiTestata->Value("IE96_TaxCategory_ID")) > 0) {
                r.tipoRiga = 1;
                r.codiceIva = Testo(scontiTestata->Value("IE96_TaxCategory_ID"));
                r.aliquota = Importo(scontiTestata->Value("IE96_TaxCategory_Percent"));
                r.quantita = Decimal(1);
            } else {
                r.tipoRiga = 2;
                scontiNonImponibili = scontiNonImponibili + sconto;
            }

            // Every decoded line points to a staged line: an empty one is added for it.
            nuoveRigheXml->AddNew();
            nuoveRigheXml->SetValue("IE94_ID_IE91", fId);
            nuoveRigheXml->Update();
            r.idRigaXml = nuoveRigheXml->Value("IE94_ID");
            r.dataConsegna = dataConsegna;
            AggiungiRiga(*righe, r);
        }

        if (!scontiNonImponibili.IsZero()) {
            Conn(state).Execute("UPDATE IE93_NSOTESTATA "
                                "SET IE93_DO13_SCIMPCASSA = " +
                                FormatoDB(state, scontiNonImponibili, kFmtNumero, false).Text() +
                                " " + "WHERE IE93_ID_IE91 = " + id);
        }
    });
}

} // namespace kvad::nso
