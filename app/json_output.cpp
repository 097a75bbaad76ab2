#include "app/json_output.h"

#include <iostream>

#include "app/failure.h"

#include "kvad_nso/read_model/values.h"
#include "kvad_nso/text.h"

namespace nsoapp {

namespace rm = kvad::read_model;

namespace {

/// The text, or null when it is empty.
Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

/// A word of the text output as a JSON value: "not verified" -> "not_verified".
std::string Snake(std::string text) {
    for (char& c : text) {
        if (c == ' ' || c == '-') {
            c = '_';
        }
    }
    return text;
}

Json DateOrNull(const kvad::Variant& value) {
    return TextOrNull(rm::IsoDateText(value));
}

Json ErpOrderJson(const rm::ErpOrder& order) {
    if (order.registration == 0) {
        return nullptr;
    }
    return Json{{"registration", order.registration},
                {"document", order.document},
                {"date", DateOrNull(order.date)},
                {"closed", order.closed}};
}

Json LineJson(const rm::Line& line) {
    return Json{{"line", line.number},
                {"item", TextOrNull(line.item)},
                {"description", TextOrNull(line.description)},
                {"quantity", JsonValue(line.quantity)},
                {"price", JsonValue(line.price)},
                {"vat", TextOrNull(line.vat)},
                {"delivery", DateOrNull(line.delivery)},
                {"status", std::string(rm::VerdictName(line.verdict))}};
}

Json ErpLineJson(const rm::ErpOrderLine& line) {
    return Json{{"line", line.line},
                {"item", TextOrNull(line.item)},
                {"option", TextOrNull(line.option)},
                {"description", TextOrNull(line.description)},
                {"quantity", JsonValue(line.quantity)},
                {"price", JsonValue(line.price)},
                {"discounts", line.discounts},
                {"vat_code", TextOrNull(line.vatCode)},
                {"delivery", DateOrNull(line.delivery)},
                {"closed", line.closed}};
}

} // namespace

namespace {
// One process prints one document: a failure after it is told on stderr only.
bool jsonDocumentPrinted = false;
} // namespace

void PrintJson(const Json& document) {
    std::cout << document.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    jsonDocumentPrinted = true;
}

bool JsonPrinted() noexcept {
    return jsonDocumentPrinted;
}

void PrintFailureJson(const std::string& failure, int exitStatus) {
    PrintJson(Json{{"failure", failure}, {"exit_status", exitStatus}});
}

Json JsonValue(const kvad::Variant& value) {
    switch (value.Type()) {
    case kvad::VarType::Empty:
    case kvad::VarType::Null:
        return nullptr;
    case kvad::VarType::Boolean:
        return value.IsExactlyTrue();
    case kvad::VarType::Integer:
    case kvad::VarType::Long:
        return value.ToLong();
    case kvad::VarType::Date:
        return rm::IsoDateText(value);
    case kvad::VarType::Decimal:
    case kvad::VarType::Double:
    case kvad::VarType::String:
    case kvad::VarType::Bytes:
        break;
    }
    return TextOrNull(kvad::RightTrim(value.Text()));
}

Json ListJson(const rm::ChainList& list, std::int32_t company, const std::string& selection) {
    Json chains = Json::array();
    for (const rm::ListedChain& chain : list.shown) {
        Json documents = Json::array();
        for (const rm::ListedDocument& d : chain.documents) {
            documents.push_back(
                Json{{"id", d.id},
                     {"level", d.level},
                     {"kind", Snake(d.kind)},
                     {"number", d.number},
                     {"date", DateOrNull(d.date)},
                     {"buyer", TextOrNull(d.buyer)},
                     {"erp_order", d.erpDocument.empty() ? Json(nullptr)
                                                         : Json{{"document", d.erpDocument},
                                                                {"date", DateOrNull(d.erpDate)}}},
                     {"state", Snake(d.state)},
                     {"blocked", d.blocked},
                     {"not_loaded_reason", TextOrNull(d.notLoadedWhy)}});
        }
        chains.push_back(Json{{"documents", std::move(documents)}});
    }
    return Json{{"company", company},
                {"selection", selection},
                {"chain_count", list.chains},
                {"document_count", list.documents},
                {"chains", std::move(chains)}};
}

Json MessageJson(const rm::Message& m) {
    return Json{{"order", m.order},
                {"line", m.line},
                {"code", m.code},
                {"severity", std::string(m.SeverityName())},
                {"field", TextOrNull(m.field)},
                {"value", m.field.empty() ? Json(nullptr) : Json(m.value)},
                {"text", m.text}};
}

Json OrderJson(const rm::Order& order) {
    Json header = Json::object();
    for (const rm::HeaderField& item : order.header) {
        header[Snake(item.field)] =
            Json{{"value", JsonValue(item.raw)}, {"note", TextOrNull(item.note)}};
    }
    Json lines = Json::array();
    for (const rm::Line& line : order.lines) {
        lines.push_back(LineJson(line));
    }
    Json messages = Json::array();
    for (const rm::Message& m : order.messages) {
        messages.push_back(MessageJson(m));
    }
    return Json{{"id", order.id},
                {"level", order.level},
                {"kind", order.kind},
                {"number", order.number},
                {"date", DateOrNull(order.date)},
                {"processing_code", order.code},
                {"plan", order.plan},
                {"reviewed", order.reviewed},
                {"decoded", order.decoded},
                {"editable", order.editable},
                {"status", order.reviewed ? Json(std::string(rm::VerdictName(order.verdict)))
                                          : Json(nullptr)},
                {"header", order.decoded ? std::move(header) : Json(nullptr)},
                {"lines", std::move(lines)},
                {"messages", std::move(messages)},
                {"erp_order", order.erpOrder ? Json{{"document", order.erpOrder->document},
                                                    {"date", DateOrNull(order.erpOrder->date)}}
                                             : Json(nullptr)}};
}

Json PassedOverJson(const std::vector<rm::PassedOver>& passed) {
    Json list = Json::array();
    for (const rm::PassedOver& p : passed) {
        list.push_back(Json{{"id", p.document.id},
                            {"title", rm::Title(p.document)},
                            {"not_loaded", p.notLoaded},
                            {"in_chain", p.someDocumentOfChain},
                            {"reason", TextOrNull(p.reason)},
                            {"failure", TextOrNull(p.failure)}});
    }
    return list;
}

Json TallyJson(const rm::VerdictCounts& tally) {
    return Json{{"reviewed", tally.Reviewed()},     {"ready", tally.ready},
                {"warning", tally.warning},         {"error", tally.error},
                {"not_verified", tally.unverified}, {"not_reviewed", tally.other}};
}

Json ProcessJson(const std::vector<rm::Chain>& chains, const rm::VerdictCounts& tally,
                 const std::string& stopped) {
    Json list = Json::array();
    for (const rm::Chain& chain : chains) {
        Json documents = Json::array();
        for (const rm::Order& order : chain.documents) {
            documents.push_back(OrderJson(order));
        }
        list.push_back(Json{{"documents", std::move(documents)}});
    }
    return Json{{"chains", std::move(list)},
                {"summary", TallyJson(tally)},
                {"stopped", TextOrNull(stopped)}};
}

Json MessagesJson(const std::vector<rm::Message>& messages, std::optional<std::int32_t> order,
                  const std::string& phase) {
    Json list = Json::array();
    int errors = 0;
    int warnings = 0;
    for (const rm::Message& m : messages) {
        list.push_back(MessageJson(m));
        errors += m.severity == kvad::severity::kError ? 1 : 0;
        warnings += m.severity == kvad::severity::kWarning ? 1 : 0;
    }
    const int total = static_cast<int>(messages.size());
    return Json{{"order", order ? Json(*order) : Json(nullptr)},
                {"phase", phase},
                {"messages", std::move(list)},
                {"summary", Json{{"total", total},
                                 {"error", errors},
                                 {"warning", warnings},
                                 {"info", total - errors - warnings}}}};
}

Json ImportJson(const std::vector<rm::ChainReport>& chains) {
    Json list = Json::array();
    for (const rm::ChainReport& chain : chains) {
        Json documents = Json::array();
        for (const rm::ImportedDocument& d : chain.documents) {
            documents.push_back(Json{{"id", d.id},
                                     {"kind", d.kind},
                                     {"number", d.number},
                                     {"date", DateOrNull(d.date)},
                                     {"processing_code", d.code},
                                     {"imported", d.imported},
                                     {"processed", d.processed},
                                     {"closed", d.closed},
                                     {"erp_order", ErpOrderJson(d.erpOrder)},
                                     {"failure", TextOrNull(d.failure)}});
        }
        list.push_back(Json{{"outcome", std::string(rm::OutcomeName(chain.outcome))},
                            {"reason", TextOrNull(chain.reason)},
                            {"documents", std::move(documents)}});
    }
    const rm::ImportTotals totals = rm::CountImport(chains);
    return Json{{"chains", std::move(list)},
                {"summary", Json{{"chains", totals.chains},
                                 {"imported", totals.imported},
                                 {"failed", totals.failed},
                                 {"erp_orders_made", totals.ordersMade},
                                 {"closed", totals.closed}}}};
}

Json OrdersJson(const std::vector<rm::ErpOrder>& orders, std::int32_t company,
                const std::string& search, bool lines) {
    Json list = Json::array();
    for (const rm::ErpOrder& order : orders) {
        Json item{{"registration", order.registration},
                  {"document", order.document},
                  {"date", DateOrNull(order.date)},
                  {"customer", order.customer},
                  {"customer_name", TextOrNull(order.customerName)},
                  {"destination", TextOrNull(order.destination)},
                  {"nso_order",
                   order.nsoOrder.empty()
                       ? Json(nullptr)
                       : Json{{"number", order.nsoOrder},
                              {"date", DateOrNull(order.nsoDate)},
                              {"id", order.source == 0 ? Json(nullptr) : Json(order.source)}}},
                  {"closed", order.closed},
                  {"line_count", order.lines.size()}};
        if (lines) {
            Json rows = Json::array();
            for (const rm::ErpOrderLine& line : order.lines) {
                rows.push_back(ErpLineJson(line));
            }
            item["lines"] = std::move(rows);
        }
        list.push_back(std::move(item));
    }
    return Json{{"company", company}, {"search", TextOrNull(search)}, {"orders", std::move(list)}};
}

} // namespace nsoapp
