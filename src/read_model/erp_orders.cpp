#include "kvad_nso/read_model/erp_orders.h"

#include <memory>

#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "rows.h"

namespace kvad::read_model {
namespace {

std::string TrimmedText(const Recordset& rs, const char* field) {
    return Trim(rs.Value(field).Text());
}

bool ContainsNoCase(const std::string& text, const std::string& search) {
    return AsciiLower(text).find(AsciiLower(search)) != std::string::npos;
}

std::vector<ErpOrder> ReadOrders(CLSIE_NSO& nso, const std::string& where) {
    Connection& db = detail::Db(nso);
    const std::string ditta = detail::Company(nso);
    std::vector<ErpOrder> orders;
    auto h = db.Query(
        "SELECT DO11_NUMREG_CO99, DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC, "
        "DO11_CLIFOR_CG44, DO11_CLIFORDEST, DO11_FLGNONPIUEV, CG16_RAGSOC, DO12_FEIDDOC, "
        "DO12_FEDATADOC, IE91_ID FROM DO11_DOCTESTATA "
        "LEFT OUTER JOIN DO12_DOCTESTARIF ON DO12_DITTA_CG18 = DO11_DITTA_CG18 AND "
        "DO12_NUMREG_CO99 = DO11_NUMREG_CO99 "
        "LEFT OUTER JOIN VCG16_CG44_ALLADATA ON VCG16_44_CF_DITTA = DO11_DITTA_CG18 AND "
        "VCG16_44_CF_TIPOCF = DO11_TIPOCF_CG44 AND VCG16_44_CF_CLIFOR = DO11_CLIFOR_CG44 "
        "LEFT OUTER JOIN IE91_NSOFILES ON IE91_DITTA_CG18 = DO11_DITTA_CG18 AND IE91_GUID_DO11 = "
        "DO11_GUID WHERE DO11_DITTA_CG18 = " +
        ditta + where + " ORDER BY DO11_NUMREG_CO99 DESC");
    for (; !h->Eof(); h->MoveNext()) {
        ErpOrder order;
        order.registration = h->Value("DO11_NUMREG_CO99").ToLong();
        order.document = TrimmedText(*h, "DO11_DOCUM_MG36") + " " + TrimmedText(*h, "DO11_SEZDOC") +
                         "/" + TrimmedText(*h, "DO11_NUMDOC");
        order.date = h->Value("DO11_DATADOC");
        order.customer =
            h->Value("DO11_CLIFOR_CG44").IsNull() ? 0 : h->Value("DO11_CLIFOR_CG44").ToLong();
        order.customerName = TrimmedText(*h, "CG16_RAGSOC");
        order.destination = TrimmedText(*h, "DO11_CLIFORDEST");
        order.nsoOrder = TrimmedText(*h, "DO12_FEIDDOC");
        order.nsoDate = h->Value("DO12_FEDATADOC");
        order.source = h->Value("IE91_ID").IsNull() ? 0 : h->Value("IE91_ID").ToLong();
        order.closed =
            !h->Value("DO11_FLGNONPIUEV").IsNull() && h->Value("DO11_FLGNONPIUEV").ToLong() != 0;
        orders.push_back(std::move(order));
    }
    for (ErpOrder& order : orders) {
        auto l = db.Query("SELECT DO30_PROGRIGA, DO30_CODART_MG66, DO30_OPZIONE_MG5E, "
                          "DO30_DESCART, DO30_QTA1, DO30_PREZZO1, DO30_SCPER1, DO30_SCPER2, "
                          "DO30_SCPER3, DO30_SCPER4, DO30_SCPER5, DO30_SCPER6, DO30_ALIVA_CG28, "
                          "DO31_DATACONS, DO31_FLGNONPIUEV FROM DO30_DOCCORPO "
                          "LEFT OUTER JOIN DO31_DOCCORPOORD ON DO31_DITTA_CG18 = DO30_DITTA_CG18 "
                          "AND DO31_NUMREG_CO99 = DO30_NUMREG_CO99 AND DO31_PROGRIGA = "
                          "DO30_PROGRIGA WHERE DO30_DITTA_CG18 = " +
                          ditta + " AND DO30_NUMREG_CO99 = " + std::to_string(order.registration) +
                          " ORDER BY DO30_PROGRIGA");
        for (; !l->Eof(); l->MoveNext()) {
            ErpOrderLine line;
            line.line = l->Value("DO30_PROGRIGA").ToLong();
            line.item = TrimmedText(*l, "DO30_CODART_MG66");
            line.option = TrimmedText(*l, "DO30_OPZIONE_MG5E");
            line.description = TrimmedText(*l, "DO30_DESCART");
            line.quantity = l->Value("DO30_QTA1");
            line.price = l->Value("DO30_PREZZO1");
            for (const char* field : {"DO30_SCPER1", "DO30_SCPER2", "DO30_SCPER3", "DO30_SCPER4",
                                      "DO30_SCPER5", "DO30_SCPER6"}) {
                const Variant percent = l->Value(field);
                if (!percent.IsNull() && percent.ToDecimal().Sign() != 0) {
                    line.discounts.push_back(percent.Text());
                }
            }
            line.vatCode = TrimmedText(*l, "DO30_ALIVA_CG28");
            line.delivery = l->Value("DO31_DATACONS");
            line.closed = !l->Value("DO31_FLGNONPIUEV").IsNull() &&
                          l->Value("DO31_FLGNONPIUEV").ToLong() != 0;
            order.lines.push_back(std::move(line));
        }
    }
    return orders;
}

bool OrderMatches(const ErpOrder& order, const std::string& search) {
    if (ContainsNoCase(order.document, search) || ContainsNoCase(order.customerName, search) ||
        ContainsNoCase(std::to_string(order.customer), search) ||
        ContainsNoCase(order.nsoOrder, search)) {
        return true;
    }
    for (const ErpOrderLine& line : order.lines) {
        if (ContainsNoCase(line.item, search) || ContainsNoCase(line.description, search)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<ErpOrder> ReadErpOrders(CLSIE_NSO& nso, const std::string& search) {
    std::vector<ErpOrder> orders = ReadOrders(nso, "");
    if (!search.empty()) {
        std::erase_if(orders, [&](const ErpOrder& order) { return !OrderMatches(order, search); });
    }
    return orders;
}

ErpOrder ReadErpOrderOf(CLSIE_NSO& nso, std::int32_t source) {
    std::vector<ErpOrder> orders = ReadOrders(nso, " AND IE91_ID = " + detail::Code(source));
    return orders.empty() ? ErpOrder{} : orders.front();
}

} // namespace kvad::read_model
