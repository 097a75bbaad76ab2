#include "app/web/pages.h"

#include <map>
#include <utility>

#include "app/terminal_text.h"
#include "app/web/html.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/read_model/documents.h"
#include "kvad_nso/read_model/values.h"

namespace nsoweb {
namespace {

using kvad::read_model::DateText;
using kvad::read_model::DisplayText;

std::string Cell(const std::string& text) {
    return "<td>" + Escape(text) + "</td>";
}

std::string HiddenCsrf(const PageContext& context) {
    return "<input type=\"hidden\" name=\"csrf\" value=\"" + Escape(context.csrf) + "\">";
}

/// A form of one button that posts to `action`.
std::string ButtonForm(const PageContext& context, const std::string& action,
                       const std::string& label, const std::string& key) {
    return "<form method=\"post\" action=\"" + action + "\" class=\"inline\">" +
           HiddenCsrf(context) + "<button type=\"submit\" accesskey=\"" + key + "\">" + label +
           "</button></form>";
}

std::string VerdictClass(kvad::read_model::Verdict verdict) {
    return "verdict-" + std::string(kvad::read_model::VerdictName(verdict));
}

std::string VerdictLabel(const PageContext& context, kvad::read_model::Verdict verdict) {
    switch (verdict) {
    case kvad::read_model::Verdict::Ready:
        return context.T("ready");
    case kvad::read_model::Verdict::Warning:
        return context.T("warning");
    case kvad::read_model::Verdict::Error:
        return context.T("error");
    case kvad::read_model::Verdict::Unverified:
        return context.T("not verified");
    }
    return {};
}

std::string OrderLink(std::int32_t id, const std::string& text) {
    return "<a href=\"/orders/" + std::to_string(id) + "\">" + Escape(text) + "</a>";
}

std::string PdfLink(const PageContext& context, std::int32_t id) {
    return "<a class=\"pdf\" target=\"_blank\" href=\"/pdf/" + std::to_string(id) + "\">" +
           context.T("PDF") + "</a>";
}

std::string ChainRow(const PageContext& context, const kvad::read_model::ListedDocument& doc,
                     const std::set<std::int32_t>& selected) {
    const bool latest = doc.level == 0;
    const bool selectable = latest && !doc.blocked && doc.notLoadedWhy.empty();
    std::string row = "<tr class=\"level-" + std::to_string(doc.level) +
                      (doc.blocked ? " blocked" : "") + "\"><td>";
    if (selectable) {
        row += "<input type=\"checkbox\" class=\"pick\" name=\"id\" value=\"" +
               std::to_string(doc.id) + "\"" + (selected.count(doc.id) > 0 ? " checked" : "") +
               " aria-label=\"" + context.T("select") + " " + Escape(doc.number) + "\">";
    }
    row += "</td><td class=\"num\">" + std::to_string(doc.id) + "</td>" + Cell(doc.kind) +
           "<td class=\"docnum\">" + (doc.level > 0 ? "&#8627; " : "") +
           OrderLink(doc.id, doc.number) + "</td>" + Cell(DateText(doc.date)) + Cell(doc.buyer) +
           "<td>" + Escape(doc.state);
    if (doc.blocked) {
        row += " <span class=\"badge blocked\">" + context.T("blocked") + "</span>";
    }
    if (!doc.notLoadedWhy.empty()) {
        row += "<div class=\"why\">" + Escape(doc.notLoadedWhy) + "</div>";
    }
    row += "</td>" +
           Cell(doc.erpDocument.empty() ? "" : doc.erpDocument + " " + DateText(doc.erpDate)) +
           "<td>" + (doc.notLoadedWhy.empty() ? PdfLink(context, doc.id) : "") + "</td></tr>";
    return row;
}

std::string FilterLinks(const PageContext& context, ChainFilter filter) {
    const auto link = [&](ChainFilter f, const char* which, const char* label) {
        return "<a href=\"/chains?which=" + std::string(which) + "\"" +
               (f == filter ? " class=\"active\"" : "") + ">" + context.T(label) + "</a>";
    };
    return "<nav class=\"filters\">" + link(ChainFilter::ToProcess, "to-process", "To process") +
           link(ChainFilter::Processed, "processed", "Processed") +
           link(ChainFilter::All, "all", "All") + "</nav>";
}

const char* FilterName(ChainFilter filter) {
    switch (filter) {
    case ChainFilter::ToProcess:
        return "to-process";
    case ChainFilter::Processed:
        return "processed";
    case ChainFilter::All:
        return "all";
    }
    return "all";
}

} // namespace

std::string PageContext::T(std::string_view english) const {
    return Escape(Translate(language, english));
}

std::string Layout(const PageContext& context, const std::string& title, const std::string& screen,
                   const std::string& body) {
    const auto tab = [&](const char* name, const char* href, const char* label, const char* key) {
        return "<a href=\"" + std::string(href) + "\" accesskey=\"" + key + "\"" +
               (screen == name ? " class=\"active\" aria-current=\"page\"" : "") + ">" +
               context.T(label) + "</a>";
    };
    std::string page = "<!DOCTYPE html>\n<html lang=\"" +
                       std::string(LanguageTag(context.language)) +
                       "\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
                       "content=\"width=device-width, initial-scale=1\"><meta name=\"csrf\" "
                       "content=\"" +
                       Escape(context.csrf) + "\"><title>" + Escape(title) +
                       " - nso</title><link rel=\"stylesheet\" href=\"/static/web.css\">"
                       "<script src=\"/static/web.js\" defer></script></head><body>";
    page += "<header><span class=\"brand\">nso</span><nav class=\"tabs\">" +
            tab("chains", "/chains", "Chains", "c") +
            tab("orders", "/erp-orders", "ERP orders", "o") +
            tab("master", "/master", "Master data", "m") + "</nav>";
    if (context.watching) {
        page += "<span class=\"watching\">" + context.T("watching the inbox") + "</span>";
    }
    if (!context.user.empty()) {
        page += "<span class=\"user\">" + Escape(context.user) + "</span>" +
                ButtonForm(context, "/logout", context.T("Log out"), "q");
    }
    page += "</header><main>";
    if (!context.notice.empty()) {
        page += std::string("<div class=\"notice") + (context.noticeIsError ? " error" : "") +
                "\" role=\"status\"><pre>" + Escape(context.notice) + "</pre></div>";
    }
    page += "<h1>" + Escape(title) + "</h1>" + body + "</main></body></html>";
    return page;
}

std::string ChainListPage(const PageContext& context, const kvad::read_model::ChainList& list,
                          const std::set<std::int32_t>& selected, ChainFilter filter,
                          std::size_t limit) {
    std::string body = FilterLinks(context, filter);
    body += "<div class=\"actions\">" + ButtonForm(context, "/fetch", context.T("Fetch"), "f") +
            ButtonForm(context, "/process", context.T("Process the selection"), "p") +
            ButtonForm(context, "/import", context.T("Import the selection"), "i") +
            "<span class=\"count\" id=\"selected-count\">" + std::to_string(selected.size()) + " " +
            context.T("chains selected") + "</span></div>";
    body += "<form method=\"post\" action=\"/select\" id=\"selection\">" + HiddenCsrf(context) +
            "<input type=\"hidden\" name=\"which\" value=\"" + FilterName(filter) + "\">" +
            "<div class=\"actions\"><button name=\"action\" value=\"all\" accesskey=\"a\">" +
            context.T("Select all") +
            "</button><button name=\"action\" value=\"none\" "
            "accesskey=\"n\">" +
            context.T("Select none") +
            "</button><button name=\"action\" "
            "value=\"invert\" accesskey=\"v\">" +
            context.T("Invert") +
            "</button>"
            "<button name=\"action\" value=\"set\" class=\"nojs\">" +
            context.T("Apply the selection") + "</button></div>";
    body += "<table class=\"grid chains\"><thead><tr><th></th><th>" + context.T("Id") +
            "</th><th>" + context.T("Kind") + "</th><th>" + context.T("Number") + "</th><th>" +
            context.T("Date") + "</th><th>" + context.T("Buyer") + "</th><th>" +
            context.T("State") + "</th><th>" + context.T("ERP order") +
            "</th><th></th></tr></thead>";
    for (const kvad::read_model::ListedChain& chain : list.shown) {
        body += "<tbody class=\"chain\">";
        for (const kvad::read_model::ListedDocument& doc : chain.documents) {
            if (doc.level == 0 && !doc.blocked && doc.notLoadedWhy.empty()) {
                body += "<input type=\"hidden\" name=\"shown\" value=\"" + std::to_string(doc.id) +
                        "\">";
            }
            body += ChainRow(context, doc, selected);
        }
        body += "</tbody>";
    }
    body += "</table></form><p class=\"count\">" + std::to_string(list.shown.size()) + " / " +
            std::to_string(list.chains) + " " + context.T("chains shown") + "</p>";
    if (list.shown.size() < list.chains) {
        body += "<p><a href=\"/chains?which=" + std::string(FilterName(filter)) +
                "&amp;limit=" + std::to_string(limit * 2) + "\">" + context.T("Show more") +
                "</a></p>";
    }
    return Layout(context, Translate(context.language, "Received chains"), "chains", body);
}

std::string JobPage(const PageContext& context, const JobState& state) {
    std::string body;
    if (!state.done) {
        body +=
            "<div id=\"job\" data-events=\"/job/events\"><progress id=\"job-bar\" max=\"" +
            std::to_string(std::max(state.maximum, 1)) + "\" value=\"" +
            std::to_string(state.current) + "\"></progress> <span id=\"job-count\">" +
            (state.maximum > 0 ? std::to_string(state.current) + "/" + std::to_string(state.maximum)
                               : "") +
            "</span><div id=\"job-step\">" + Escape(state.step) +
            "</div>"
            "<div id=\"job-waiting\" class=\"waiting\"" +
            (state.waiting.empty() ? " hidden" : "") + ">" + context.T("Waiting:") + " <span>" +
            Escape(state.waiting) + "</span></div></div>";
        return Layout(context, state.title, "chains", body);
    }
    body += std::string("<div class=\"outcome") + (state.failed ? " error" : "") + "\">" +
            state.outcome + "</div><p><a href=\"/chains\">" + context.T("Back to the chains") +
            "</a></p>";
    return Layout(context, state.title, "chains", body);
}

std::string FetchOutcomeHtml(const PageContext& context, const nsoapp::FetchOutcome& outcome) {
    const kvad::RetrievalReport& report = outcome.report;
    std::size_t notLoaded = 0;
    std::string rows;
    const auto addNotLoaded = [&](const kvad::DocumentOutcome& doc) {
        if (doc.IsLoaded()) {
            return;
        }
        ++notLoaded;
        const nsoapp::SplitReason reason = nsoapp::SplitDetail(doc.reason);
        rows += "<tr>" + Cell(doc.number) + Cell(doc.hubId) + "<td>" + Escape(reason.plain) +
                (reason.detail.empty()
                     ? ""
                     : "<details><summary>" + context.T("details") + "</summary><pre>" +
                           Escape(reason.detail) + "</pre></details>") +
                "</td></tr>";
    };
    for (const auto& doc : report.registered) {
        addNotLoaded(doc);
    }
    for (const auto& doc : outcome.repaired) {
        addNotLoaded(doc);
    }
    std::string html =
        "<p class=\"summary\">" + context.T("listed") + " " + std::to_string(report.listed) + ", " +
        context.T("new") + " " + std::to_string(report.registered.size()) + ", " +
        context.T("already registered") + " " + std::to_string(report.alreadyRegistered.size()) +
        ", " + context.T("taken in again") + " " + std::to_string(outcome.repaired.size()) + ", " +
        context.T("not loaded") + " " + std::to_string(notLoaded) + "</p>";
    if (notLoaded > 0) {
        html += "<h2>" + context.T("Documents not loaded") +
                "</h2><table class=\"grid\"><thead><tr><th>" + context.T("Number") + "</th><th>" +
                context.T("Platform id") + "</th><th>" + context.T("Why") +
                "</th></tr></thead><tbody>" + rows + "</tbody></table>";
    }
    return html;
}

std::string ProcessOutcomeHtml(const PageContext& context,
                               const std::vector<kvad::read_model::Chain>& chains,
                               const kvad::read_model::ChainProcessing& processing) {
    const kvad::read_model::VerdictCounts tally = kvad::read_model::CountVerdicts(chains);
    std::string html = "<p class=\"summary\">" + std::to_string(tally.Reviewed()) + " " +
                       context.T("order(s) reviewed:") + " " + std::to_string(tally.ready) + " " +
                       context.T("ready") + ", " + std::to_string(tally.warning) + " " +
                       context.T("with warnings") + ", " + std::to_string(tally.error) + " " +
                       context.T("with errors") + "</p><table class=\"grid\"><thead><tr><th>" +
                       context.T("Order") + "</th><th>" + context.T("What happens") + "</th><th>" +
                       context.T("Status") + "</th></tr></thead>";
    for (const kvad::read_model::Chain& chain : chains) {
        html += "<tbody class=\"chain\">";
        for (const kvad::read_model::Order& order : chain.documents) {
            html += "<tr class=\"level-" + std::to_string(order.level) + "\"><td>" +
                    OrderLink(order.id, kvad::read_model::Title(order)) + "</td>" +
                    Cell(order.plan) + "<td class=\"" + VerdictClass(order.verdict) + "\">" +
                    (order.reviewed ? VerdictLabel(context, order.verdict) : "") + "</td></tr>";
        }
        html += "</tbody>";
    }
    html += "</table>";
    if (!processing.passedOver.empty()) {
        html += "<h2>" + context.T("Passed over") + "</h2><ul>";
        for (const kvad::read_model::PassedOver& passed : processing.passedOver) {
            html += "<li>" + Escape(kvad::read_model::Title(passed.document)) + ": " +
                    Escape(passed.notLoaded
                               ? passed.reason
                               : Translate(context.language, "processing failed on it") +
                                     (passed.reason.empty() ? "" : " (" + passed.reason + ")")) +
                    "</li>";
        }
        html += "</ul>";
    }
    if (!processing.stopped.empty()) {
        html += "<p class=\"error\">" +
                context.T("The processing stopped at a document that failed; the documents after "
                          "it were not processed.") +
                "</p><pre>" + Escape(processing.stopped) + "</pre>";
    }
    return html;
}

namespace {

/// One document of an imported chain: what became of it (the chain's outcome on its first row)
/// and its ERP order.
std::string ImportedRow(const PageContext& context, const kvad::read_model::ChainReport& chain,
                        std::size_t index) {
    const kvad::read_model::ImportedDocument& doc = chain.documents[index];
    std::string what =
        index == 0 ? Translate(context.language, kvad::read_model::OutcomeName(chain.outcome)) : "";
    if (!doc.failure.empty()) {
        what += (what.empty() ? "" : ": ") + doc.failure;
    } else if (index == 0 && !chain.reason.empty()) {
        what += ": " + chain.reason;
    }
    std::string erp;
    if (doc.erpOrder.registration != 0) {
        erp = doc.erpOrder.document +
              (doc.closed ? " (" + Translate(context.language, "closed") + ")" : "");
    }
    return "<tr class=\"level-" + std::to_string(index == 0 ? 0 : 1) + "\"><td>" +
           OrderLink(doc.id, doc.kind + " " + doc.number + " " + DateText(doc.date)) + "</td>" +
           Cell(what) + Cell(erp) + "</tr>";
}

} // namespace

std::string ImportOutcomeHtml(const PageContext& context,
                              const std::vector<kvad::read_model::ChainReport>& chains,
                              const std::vector<kvad::read_model::UnprocessedChain>& unprocessed) {
    const kvad::read_model::ImportTotals totals = kvad::read_model::CountImport(chains);
    std::string html =
        "<p class=\"summary\">" + std::to_string(totals.chains) + " " + context.T("chain(s):") +
        " " + std::to_string(totals.imported) + " " + context.T("imported") + ", " +
        std::to_string(totals.failed) + " " + context.T("failed") + ", " +
        std::to_string(totals.ordersMade) + " " + context.T("ERP order(s) made") + ", " +
        std::to_string(totals.closed) + " " + context.T("no longer to be fulfilled") +
        "</p><table class=\"grid\"><thead><tr><th>" + context.T("Order") + "</th><th>" +
        context.T("Outcome") + "</th><th>" + context.T("ERP order") + "</th></tr></thead>";
    for (const kvad::read_model::ChainReport& chain : chains) {
        html += "<tbody class=\"chain outcome-" +
                std::string(kvad::read_model::OutcomeName(chain.outcome)) + "\">";
        for (std::size_t i = 0; i < chain.documents.size(); ++i) {
            html += ImportedRow(context, chain, i);
        }
        html += "</tbody>";
    }
    html += "</table>";
    if (!unprocessed.empty()) {
        html += "<h2>" + context.T("Not imported, not processed yet") + "</h2><ul>";
        for (const kvad::read_model::UnprocessedChain& chain : unprocessed) {
            html += "<li>" + Escape(kvad::read_model::Title(chain.document)) + "</li>";
        }
        html += "</ul>";
    }
    return html + "<p><a href=\"/erp-orders\">" + context.T("See the ERP orders") + "</a></p>";
}

const std::vector<std::string>& LineGridFields() {
    static const std::vector<std::string> fields{"item",  "description", "quantity",
                                                 "price", "vat",         "delivery"};
    return fields;
}

std::string LineFieldText(const kvad::read_model::Line& line, const std::string& alias) {
    if (alias == "item") {
        return line.item;
    }
    if (alias == "description") {
        return line.description;
    }
    if (alias == "quantity") {
        return DisplayText(line.quantity);
    }
    if (alias == "price") {
        return DisplayText(line.price);
    }
    if (alias == "vat") {
        return line.vat;
    }
    if (alias == "delivery") {
        return line.delivery.IsNull() ? "" : DisplayText(line.delivery);
    }
    return {};
}

namespace {

/// The worst severity reported about each (line, field) of an order, to mark its cell.
std::map<std::pair<std::int32_t, std::string>, std::int32_t>
MarkedFields(const kvad::read_model::Order& order) {
    std::map<std::pair<std::int32_t, std::string>, std::int32_t> marks;
    for (const kvad::read_model::Message& m : order.messages) {
        if (m.field.empty() || m.severity == kvad::severity::kInfo) {
            continue;
        }
        auto& mark = marks[{m.line, m.field}];
        if (mark == 0 || m.severity == kvad::severity::kError) {
            mark = m.severity;
        }
    }
    return marks;
}

std::string MarkClass(const std::map<std::pair<std::int32_t, std::string>, std::int32_t>& marks,
                      std::int32_t line, const std::string& field) {
    const auto found = marks.find({line, field});
    if (found == marks.end()) {
        return {};
    }
    return " class=\"mark-" + std::string(kvad::severity::Name(found->second)) + "\"";
}

std::string Input(const std::string& name, const std::string& value, bool editable,
                  const std::string& form = {}) {
    return "<input name=\"" + name + "\" value=\"" + Escape(value) + "\"" +
           (form.empty() ? "" : " form=\"" + form + "\"") + (editable ? "" : " readonly") +
           " aria-label=\"" + name + "\">";
}

std::string HeaderGrid(const PageContext& context, const kvad::read_model::Order& order,
                       const std::map<std::pair<std::int32_t, std::string>, std::int32_t>& marks) {
    std::string html = "<form method=\"post\" action=\"/orders/" + std::to_string(order.id) +
                       "/edit\" id=\"header-form\">" + HiddenCsrf(context) +
                       "<table class=\"grid header\"><thead><tr><th>" + context.T("Field") +
                       "</th><th>" + context.T("Decoded value") + "</th><th>" +
                       context.T("From the order") + "</th></tr></thead><tbody>";
    for (const kvad::read_model::HeaderField& field : order.header) {
        html += "<tr" + MarkClass(marks, 0, field.field) + "><th scope=\"row\">" +
                Escape(field.field) + "</th><td>" +
                Input(field.field, field.value, order.editable) + "</td>" + Cell(field.note) +
                "</tr>";
    }
    html += "</tbody></table>";
    if (order.editable) {
        html +=
            "<button type=\"submit\" accesskey=\"s\">" + context.T("Save and verify") + "</button>";
    }
    return html + "</form>";
}

std::string LineGrid(const PageContext& context, const kvad::read_model::Order& order,
                     const std::map<std::pair<std::int32_t, std::string>, std::int32_t>& marks) {
    if (order.lines.empty()) {
        return {};
    }
    std::string html = "<h2>" + context.T("Lines") +
                       "</h2><table class=\"grid lines\"><thead><tr><th>" + context.T("Line") +
                       "</th>";
    for (const std::string& field : LineGridFields()) {
        html += "<th>" + Escape(field) + "</th>";
    }
    html += "<th>" + context.T("Status") + "</th><th></th></tr></thead><tbody>";
    for (const kvad::read_model::Line& line : order.lines) {
        const std::string form = "line-" + std::to_string(line.number);
        html += "<tr><td class=\"num\">" + std::to_string(line.number) + "</td>";
        for (const std::string& field : LineGridFields()) {
            html += "<td" + MarkClass(marks, line.number, field) + ">" +
                    Input(field, LineFieldText(line, field), order.editable, form) + "</td>";
        }
        html += "<td class=\"" + VerdictClass(line.verdict) + "\">" +
                VerdictLabel(context, line.verdict) + "</td><td>";
        if (order.editable) {
            html += "<form method=\"post\" action=\"/orders/" + std::to_string(order.id) +
                    "/edit\" id=\"" + form + "\">" + HiddenCsrf(context) +
                    "<input type=\"hidden\" name=\"line\" value=\"" + std::to_string(line.number) +
                    "\"><button type=\"submit\">" + context.T("Save") + "</button></form>";
        }
        html += "</td></tr>";
    }
    return html + "</tbody></table>";
}

std::string MessageGrid(const PageContext& context, const kvad::read_model::Order& order) {
    if (order.messages.empty()) {
        return "<p>" + context.T("No messages.") + "</p>";
    }
    std::string html = "<h2>" + context.T("Messages") +
                       "</h2><table class=\"grid messages\"><thead><tr><th>" +
                       context.T("Severity") + "</th><th>" + context.T("Code") + "</th><th>" +
                       context.T("Where") + "</th><th>" + context.T("Field") + "</th><th>" +
                       context.T("Text") + "</th></tr></thead><tbody>";
    for (const kvad::read_model::Message& m : order.messages) {
        const std::string where =
            m.line == 0 ? Translate(context.language, "header")
                        : Translate(context.language, "line") + " " + std::to_string(m.line);
        const std::string about = m.field.empty() ? "" : m.field + " = " + m.value;
        html += "<tr class=\"sev-" + std::string(m.SeverityName()) + "\">" +
                Cell(Translate(context.language, m.SeverityName())) + "<td class=\"num\">" +
                std::to_string(m.code) + "</td>" + Cell(where) + Cell(about) + Cell(m.text) +
                "</tr>";
    }
    return html + "</tbody></table>";
}

} // namespace

std::string OrderPage(const PageContext& context, const kvad::read_model::Order& order) {
    std::string body = "<p class=\"plan\">" + Escape(order.plan);
    if (order.reviewed || order.erpOrder) {
        body += " &mdash; <span class=\"" + VerdictClass(order.verdict) + "\">" +
                VerdictLabel(context, order.verdict) + "</span>";
    }
    body += " &middot; " + PdfLink(context, order.id) + "</p>";
    if (order.erpOrder && !order.reviewed) {
        body += "<p class=\"readonly\">" + context.T("Read-only: the ERP order") + " " +
                Escape(order.erpOrder->document) + " " + Escape(DateText(order.erpOrder->date)) +
                " " + context.T("was made from it; its values stay as imported.") + "</p>";
    } else if (!order.decoded) {
        body += "<p class=\"error\">" +
                context.T("Not decoded: processing failed on this document or stopped before it.") +
                "</p>";
    }
    const auto marks = MarkedFields(order);
    body += HeaderGrid(context, order, marks) + LineGrid(context, order, marks) +
            MessageGrid(context, order);
    return Layout(context, kvad::read_model::Title(order), "chains", body);
}

namespace {

std::string ErpLineRow(const PageContext& context, const kvad::read_model::ErpOrderLine& line) {
    std::string discounts;
    for (const std::string& d : line.discounts) {
        discounts += (discounts.empty() ? "" : "+") + d + "%";
    }
    return "<tr class=\"level-1 erp-line\"><td class=\"num\">" + std::to_string(line.line) +
           "</td>" + Cell(line.item + (line.option.empty() ? "" : "/" + line.option)) +
           Cell(line.description) +
           Cell(DisplayText(line.quantity) + " x " + DisplayText(line.price) +
                (discounts.empty() ? "" : " - " + discounts)) +
           Cell(Translate(context.language, "VAT") + " " + line.vatCode + ", " +
                (line.delivery.IsNull() ? "" : DateText(line.delivery))) +
           Cell(Translate(context.language, line.closed ? "closed" : "open")) + "</tr>";
}

} // namespace

std::string ErpOrdersPage(const PageContext& context,
                          const std::vector<kvad::read_model::ErpOrder>& orders,
                          const std::string& search) {
    std::string body = "<form method=\"get\" action=\"/erp-orders\" class=\"search\"><input "
                       "type=\"search\" name=\"search\" value=\"" +
                       Escape(search) + "\" placeholder=\"" + context.T("Search") +
                       "\" accesskey=\"k\"><button>" + context.T("Search") + "</button></form>";
    body += "<table class=\"grid erp\"><thead><tr><th>" + context.T("Document") + "</th><th>" +
            context.T("Date") + "</th><th>" + context.T("Customer") + "</th><th>" +
            context.T("Destination") + "</th><th>" + context.T("NSO order") + "</th><th>" +
            context.T("State") + "</th></tr></thead>";
    for (const kvad::read_model::ErpOrder& order : orders) {
        body +=
            "<tbody class=\"erp-order\"><tr class=\"level-0\">" + Cell(order.document) +
            Cell(DateText(order.date)) +
            Cell(std::to_string(order.customer) + " " + order.customerName) +
            Cell(order.destination) + "<td>" +
            (order.source == 0 ? Escape(order.nsoOrder) : OrderLink(order.source, order.nsoOrder)) +
            "</td>" +
            Cell(Translate(context.language, order.closed ? "no longer to be fulfilled" : "open")) +
            "</tr>";
        for (const kvad::read_model::ErpOrderLine& line : order.lines) {
            body += ErpLineRow(context, line);
        }
        body += "</tbody>";
    }
    body += "</table><p class=\"count\">" + std::to_string(orders.size()) + " " +
            context.T("ERP order(s)") + "</p>";
    return Layout(context, Translate(context.language, "ERP orders"), "orders", body);
}

std::string MasterPage(const PageContext& context, const std::string& kind,
                       const std::string& search, const kvad::host::MasterListing* listing) {
    std::string body = "<form method=\"get\" action=\"/master\" class=\"search\"><select "
                       "name=\"kind\" aria-label=\"kind\">";
    for (const kvad::host::MasterKind& k : kvad::host::MasterKinds()) {
        body += "<option value=\"" + Escape(k.name) + "\"" + (k.name == kind ? " selected" : "") +
                ">" + Escape(k.name) + " - " + Escape(k.meaning) + "</option>";
    }
    body += "</select><input type=\"search\" name=\"search\" value=\"" + Escape(search) +
            "\" placeholder=\"" + context.T("Search") + "\" accesskey=\"k\"><button>" +
            context.T("Search") + "</button></form>";
    if (listing != nullptr) {
        body += "<table class=\"grid master\"><thead><tr>";
        for (const std::string& column : listing->columns) {
            body += "<th>" + Escape(column) + "</th>";
        }
        body += "</tr></thead><tbody>";
        for (const auto& row : listing->rows) {
            body += "<tr>";
            for (const std::string& value : row) {
                body += Cell(value);
            }
            body += "</tr>";
        }
        body += "</tbody></table><p class=\"count\">" + std::to_string(listing->rows.size()) + " " +
                context.T("row(s)") + "</p>";
    }
    return Layout(context, Translate(context.language, "Master data"), "master", body);
}

std::string LoginPage(const PageContext& context, const std::string& failure) {
    std::string body;
    if (!failure.empty()) {
        body += "<p class=\"error\" role=\"alert\">" + Escape(failure) + "</p>";
    }
    body += "<form method=\"post\" action=\"/login\" class=\"login\">" + HiddenCsrf(context) +
            "<label>" + context.T("User") +
            " <input name=\"user\" autocomplete=\"username\" autofocus required></label><label>" +
            context.T("Password") +
            " <input name=\"password\" type=\"password\" autocomplete=\"current-password\" "
            "required></label><button type=\"submit\">" +
            context.T("Log in") + "</button></form>";
    return Layout(context, Translate(context.language, "Log in"), "", body);
}

std::string ErrorPage(const PageContext& context, const std::string& message,
                      const std::string& detail) {
    std::string body = "<p class=\"error\" role=\"alert\">" + Escape(message) + "</p>";
    if (!detail.empty()) {
        body += "<details><summary>" + context.T("details") + "</summary><pre>" + Escape(detail) +
                "</pre></details>";
    }
    body += "<p><a href=\"/chains\">" + context.T("Back to the chains") + "</a></p>";
    return Layout(context, Translate(context.language, "Not done"), "", body);
}

} // namespace nsoweb
