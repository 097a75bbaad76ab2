#include "verification/verifica_dati.h"

#include <memory>
#include <string>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/text.h"
#include "verification/error_log.h"
#include "verification/order_rules.h"

namespace kvad::nso {
namespace {

std::string Digits(std::int32_t value) {
    return std::to_string(value);
}

bool IsBlank(const Variant& value) {
    return LunghezzaTesto(value) == 0;
}

/// A whole number read as ValoreDecimale reads it: 0 for null or no number.
std::int32_t WholeNumber(const Variant& value) {
    const Variant number = ValoreDecimale(value);
    return number.IsNumber() ? static_cast<std::int32_t>(number.ToDecimal().ToInt64Rounded()) : 0;
}

/// The highest severity a query returns, or 1 when it returns nothing above 0.
std::int32_t HighestSeverity(NsoState& state, const std::string& sql) {
    auto rs = Conn(state).Query(sql);
    const Variant highest = rs->Eof() ? Variant::Null() : rs->Value("MAX_IE98_TYPE");
    return IsDecimalAboveZero(highest) ? WholeNumber(highest) : kaVerificaOk;
}

/// A clone of a host's recordset showing only the rows of `filter`.
std::shared_ptr<Recordset> FilteredClone(Recordset& rs, const std::string& filter) {
    auto clone = rs.Clone();
    clone->SetFilter(filter);
    return clone;
}

void LogHeaderProblem(NsoState& state, std::int32_t fId, std::int32_t code, const char* field,
                      std::int32_t gravity) {
    ScriviErrorLog(state, fId, 0, 0, code, field, gravity, Contesto_VerificaDati, "");
}

void CheckHeader(NsoState& state, std::int32_t fId, const OrderFacts& facts) {
    EliminaLogErrors(state, fId, true, false, Contesto_VerificaDati, 0, "");
    std::shared_ptr<Recordset> h;
    if (!state.RstTestata) {
        h = Conn(state).Query("SELECT * FROM IE92_NSOTESTATAXML WITH (NOLOCK) INNER JOIN "
                              "IE93_NSOTESTATA WITH (NOLOCK) ON IE93_ID_IE91 = IE92_ID_IE91 WHERE "
                              "IE92_ID_IE91 = " +
                              Digits(fId));
    } else {
        h = FilteredClone(*state.RstTestata, "IE93_ID_IE91 = " + Digits(fId));
    }
    if (h->Eof()) {
        return;
    }
    if (IsBlank(h->Value("IE93_DO11_CODDOCUM_MG3G"))) {
        LogHeaderProblem(state, fId, message::kNoDocumentCode, "IE93_DO11_CODDOCUM_MG3G",
                         severity::kError);
    }
    if (IsBlank(h->Value("IE93_DO11_SEZDOC"))) {
        LogHeaderProblem(state, fId, message::kNoSection, "IE93_DO11_SEZDOC", severity::kError);
    }
    if (IsBlank(h->Value("IE93_DO11_CODDEP"))) {
        LogHeaderProblem(state, fId, message::kNoWarehouse, "IE93_DO11_CODDEP", severity::kError);
    }
    // A customer that decoding did not find is 0; a null was never decoded and is not reported.
    const Variant cliente = h->Value("IE93_DO11_CLIFOR_CG44");
    if (!cliente.IsNull() && !cliente.IsEmpty() && cliente.ToDecimal().IsZero()) {
        LogHeaderProblem(state, fId, message::kNoCustomer, "IE93_DO11_CLIFOR_CG44",
                         severity::kError);
    }
    if (IsBlank(h->Value("IE93_DO11_VALUTA_CG08"))) {
        LogHeaderProblem(state, fId, message::kNoCurrency, "IE93_DO11_VALUTA_CG08",
                         severity::kError);
    }
    if (IsBlank(h->Value("IE93_DO11_CLIFORDEST")) &&
        !IsBlank(h->Value("IE92_Delivery_DeliveryLocation_ID"))) {
        LogHeaderProblem(state, fId, message::kNoDestination, "IE93_DO11_CLIFORDEST",
                         severity::kWarning);
    }
    CheckHeaderRules(state, fId, facts);
}

/// The decoded lines to check, with their staged lines: of the host's grid when it has one,
/// else read from the tables; all of the order's lines, or line fProgRiga when not 0.
std::shared_ptr<Recordset> LinesToCheck(NsoState& state, std::int32_t fId, std::int32_t fProgRiga) {
    const std::string line = fProgRiga != 0 ? " AND IE95_DO30_PROGRIGA = " + Digits(fProgRiga) : "";
    if (state.RstCorpo) {
        return FilteredClone(*state.RstCorpo, "IE95_ID_IE91 = " + Digits(fId) + line);
    }
    return Conn(state).OpenRecordset("SELECT * FROM IE95_NSOCORPO WITH (NOLOCK) LEFT OUTER JOIN "
                                     "IE94_NSOCORPOXML WITH (NOLOCK) ON IE94_ID = IE95_ID_IE94 "
                                     "WHERE IE95_ID_IE91 = " +
                                     Digits(fId) + line);
}

/// True when the VAT table has the code as stored (its quotes doubled; the table has no
/// company).
bool VatCodeExists(NsoState& state, const std::string& code) {
    return !Conn(state)
                .Query("SELECT TOP 1 1 FROM CG28_TABCODIVA WITH (NOLOCK) WHERE CG28_CODICE = '" +
                       ReplaceAll(code, "'", "''") + "'")
                ->Eof();
}

/// Logs what the current line lacks (a description line is not checked) and stores its status.
void CheckLine(NsoState& state, std::int32_t fId, const OrderFacts& facts,
               const OrderLines& orderLines, Recordset& line) {
    const std::int32_t idIE94 = WholeNumber(line.Value("IE94_ID"));
    const std::int32_t progRiga = WholeNumber(line.Value("IE95_DO30_PROGRIGA"));
    const auto log = [&](std::int32_t code, const char* field, std::int32_t severity) {
        ScriviErrorLog(state, fId, idIE94, progRiga, code, field, severity, Contesto_VerificaDati,
                       "");
    };
    if (WholeNumber(line.Value("IE95_DO30_INDTIPORIGA")) != line_type::kUntaxedAllowance) {
        if (IsBlank(line.Value("IE95_DO30_CODART_MG66")) &&
            !IsBlank(line.Value("IE94_LineItem_Item_SellersItemIdentification_ID"))) {
            log(message::kNoItem, "IE95_DO30_CODART_MG66", severity::kWarning);
        }
        if (IsBlank(line.Value("IE95_DO31_DATACONS"))) {
            log(message::kNoDeliveryDate, "IE95_DO31_DATACONS", severity::kWarning);
        }
        const Variant vatCode = line.Value("IE95_DO30_ALIVA_CG28");
        if (IsBlank(vatCode)) {
            log(message::kNoVatCode, "IE95_DO30_ALIVA_CG28", severity::kError);
        } else if (!VatCodeExists(state, vatCode.Text())) {
            log(message::kUnknownVatCode, "IE95_DO30_ALIVA_CG28", severity::kError);
        }
    }
    CheckLineRules(state, fId, facts, orderLines, line);
    const std::int32_t status = HighestSeverity(
        state, "SELECT MAX(IE98_TYPE) AS MAX_IE98_TYPE FROM IE98_NSO_LOGERRORS WITH "
               "(NOLOCK) WHERE IE98_ID_IE91       = " +
                   Digits(fId) + " AND       IE98_PROGRIGA_DO30 = " + Digits(progRiga) +
                   " AND       IE98_CONTESTO      = 1");
    line.SetValue("IE95_STATUS", status);
    line.Update();
}

void CheckLines(NsoState& state, std::int32_t fId, const OrderFacts& facts,
                std::int32_t fProgRiga) {
    EliminaLogErrors(state, fId, false, true, Contesto_VerificaDati, fProgRiga, "");
    const std::shared_ptr<Recordset> lines = LinesToCheck(state, fId, fProgRiga);
    if (!lines->IsOpen() || lines->Eof()) {
        return;
    }
    // Read from the tables just now, the lines carry their staged lines; the host's grid may
    // have been read before, so the rules read those again.
    const OrderLines orderLines = facts.staged && !facts.cancellation
                                      ? ReadOrderLines(state, fId, !state.RstCorpo)
                                      : OrderLines{};
    for (lines->MoveFirst(); !lines->Eof(); lines->MoveNext()) {
        CheckLine(state, fId, facts, orderLines, *lines);
    }
}

} // namespace

void VerificaDati(NsoState& state, std::int16_t fOperazione, std::int32_t fId, bool fTestata,
                  bool fCorpo, std::int32_t fProgRiga) {
    ResetStatus(state);
    Guard(state, "VerificaDati", [&] {
        std::int32_t stato = kaVerificaOk;
        switch (fOperazione) {
        case processing::kCancellation:
            EliminaLogErrors(state, fId, true, true, Contesto_VerificaDati, 0, "");
            break;
        case processing::kDelivered: // an older document whose ERP order has deliveries
            EliminaLogErrors(state, fId, true, true, Contesto_VerificaDati, 0, "");
            stato = kaVerificaPuntoEsclamativo;
            break;
        case processing::kDeliveredChain: // a main row blocked by an older delivered order
            EliminaLogErrors(state, fId, true, true, Contesto_VerificaDati, 0, "");
            ScriviErrorLog(state, fId, 0, 0, message::kDeliveredChain, "", severity::kError,
                           Contesto_VerificaDati, "");
            stato = kaVerificaCerottoRosso;
            break;
        default: {
            const OrderFacts facts = ReadOrderFacts(state, fId);
            if (fTestata) {
                CheckHeader(state, fId, facts);
            }
            if (fCorpo) {
                CheckLines(state, fId, facts, fProgRiga);
            }
            // Every entry of the order counts here, of any context, header and lines alike.
            stato = HighestSeverity(
                state, "SELECT MAX(IE98_TYPE) AS MAX_IE98_TYPE FROM IE98_NSO_LOGERRORS "
                       "WITH (NOLOCK) WHERE IE98_ID_IE91  = " +
                           Digits(fId));
            break;
        }
        }

        if (!state.RstTestata) {
            Conn(state).Execute("UPDATE IE93_NSOTESTATA SET IE93_STATUS = " + Digits(stato) +
                                " WHERE IE93_ID_IE91 = " + Digits(fId));
        } else {
            auto h = FilteredClone(*state.RstTestata, "IE93_ID_IE91 = " + Digits(fId));
            if (!h->Eof()) {
                h->SetValue("IE93_STATUS", stato);
                h->Update();
            }
        }
        if (state.RstLogMessages && state.RstLogMessages->IsOpen()) {
            state.RstLogMessages->Requery();
        }
    });
}

} // namespace kvad::nso
