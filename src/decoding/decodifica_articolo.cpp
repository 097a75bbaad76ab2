#include "decoding/decodifica_articolo.h"

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/codes.h"
#include "verification/error_log.h"

namespace kvad::nso {
void DecodificaArticolo(NsoState& state, std::int32_t fId, std::int32_t fIdIE94,
                        std::int32_t fProgRiga, const std::string& fCampo,
                        const std::string& fCodice, const std::string& fStandard,
                        const std::string& fDescrizione, std::int16_t fTipoCF,
                        std::int32_t fCliente, std::string& fCodArt, std::string& fOpzione,
                        std::int16_t& fTipoRiga) {
    fCodArt.clear();
    fOpzione.clear();
    fTipoRiga = line_type::kItemFound;
    Guard(state, "DecodificaArticolo", [&] {
        const std::string ditta = CompanyCodeSql(state);
        const std::string codice = FormatoDB(state, fCodice, kLiteralText, false).Text();

        // 1. The seller's code is an item code: it is kept as received.
        {
            auto rs = Conn(state).Query("SELECT TOP 1 1 FROM MG66_ANAGRART WITH (NOLOCK) "
                                        "WHERE MG66_DITTA_CG18 = " +
                                        ditta +
                                        " AND "
                                        "      MG66_CODART     = " +
                                        codice);
            if (!rs->Eof()) {
                fCodArt = fCodice;
                fOpzione.clear();
                fTipoRiga = line_type::kItemFound;
            }
        }
        // 2. The customer's own code for an item.
        if (fCodArt.empty() && fCliente != 0) {
            auto rs = Conn(state).Query("SELECT MG73_CODART_MG66, MG73_OPZIONE_MG5E "
                                        "FROM MG73_ARTCLIFOR WITH (NOLOCK) "
                                        "WHERE MG73_DITTA_CG18  = " +
                                        ditta +
                                        " AND "
                                        "      MG73_TIPOCF_CG44 = " +
                                        std::to_string(fTipoCF) +
                                        " AND "
                                        "      MG73_CLIFOR_CG44 = " +
                                        std::to_string(fCliente) +
                                        " AND "
                                        "      MG73_ARTCLIFOR   = " +
                                        codice);
            if (!rs->Eof()) {
                fCodArt = rs->Value("MG73_CODART_MG66").Text();
                fOpzione = rs->Value("MG73_OPZIONE_MG5E").Text();
                fTipoRiga = line_type::kItemFound;
            }
        }
        // 3. The standard identifier. Two rows are read so that an identifier shared by several
        // items is reported instead of silently resolved to one of them.
        if (fCodArt.empty() && !fStandard.empty()) {
            auto rs = Conn(state).Query("SELECT TOP 2 MG66_CODART "
                                        "FROM MG66_ANAGRART WITH (NOLOCK) "
                                        "WHERE MG66_DITTA_CG18 = " +
                                        ditta +
                                        " AND "
                                        "      MG66_AICMINSANNSO = " +
                                        FormatoDB(state, fStandard, kLiteralText, false).Text());
            if (!rs->Eof()) {
                fCodArt = rs->Value("MG66_CODART").Text();
                fOpzione.clear();
                fTipoRiga = line_type::kItemFound;
                if (rs->RecordCount() > 1) {
                    ScriviErrorLog(state, fId, fIdIE94, fProgRiga, message::kAmbiguousStandardId,
                                   fCampo, severity::kWarning, Contesto_DecodificaDati, "");
                }
            }
        }
        // 4. The description, also when it is empty.
        if (fCodArt.empty()) {
            auto rs =
                Conn(state).Query("SELECT MG87_CODART_MG66, MG87_OPZIONE_MG5E "
                                  "FROM MG87_ARTDESC WITH (NOLOCK) "
                                  "WHERE MG87_DITTA_CG18 = " +
                                  ditta +
                                  " AND "
                                  "      MG87_DESCART    = " +
                                  FormatoDB(state, fDescrizione, kLiteralUnicode, false).Text());
            if (!rs->Eof()) {
                fCodArt = rs->Value("MG87_CODART_MG66").Text();
                fOpzione = rs->Value("MG87_OPZIONE_MG5E").Text();
                fTipoRiga = line_type::kItemFound;
            }
        }
        if (fCodArt.empty()) {
            fTipoRiga = line_type::kItemNotFound;
        }
    });
}

} // namespace kvad::nso
