#include "kvad_nso/read_model/order_edit.h"

#include "kvad_nso/errors.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/recordset.h"
#include "rows.h"

namespace kvad::read_model {

using detail::Code;

namespace {

/// The row the changes go to: the order's header row, or one of its lines.
std::shared_ptr<Recordset> EditedRow(CLSIE_NSO& nso, const Order& order,
                                     std::optional<std::int32_t> line) {
    const std::string id = Code(order.id);
    const std::shared_ptr<Recordset> grid = line ? nso.RstCorpo() : nso.RstTestata();
    if (!grid || !grid->IsOpen()) {
        throw Refusal(Title(order) + " is not in the result recordsets (GetRstElaborazione)");
    }
    if (!line) {
        auto header = grid->Clone();
        header->SetFilter("IE91_ID = " + id);
        return header;
    }
    if (order.lines.empty()) {
        throw Refusal(Title(order) + " has no lines to correct (" + order.plan + ")");
    }
    auto lines = grid->Clone();
    lines->SetFilter("IE95_ID_IE91 = " + id + " AND IE95_DO30_PROGRIGA = " + Code(*line));
    if (lines->Eof()) {
        throw Refusal(Title(order) + " has no line " + Code(*line) + ": its lines are " +
                      Code(order.lines.front().number) + " to " + Code(order.lines.back().number));
    }
    return lines;
}

} // namespace

std::vector<std::string> EditOrder(CLSIE_NSO& nso, const Order& order,
                                   std::optional<std::int32_t> line,
                                   const std::vector<FieldChange>& changes) {
    if (!order.editable) {
        throw Refusal(Title(order) + " is not one the import takes (" + order.plan +
                      "): its values cannot be edited");
    }
    for (const FieldChange& change : changes) {
        if (change.field == nullptr || change.field->line != line.has_value()) {
            throw Refusal("a change is not of the " + std::string(line ? "line" : "header") +
                          " (nothing was changed)");
        }
    }
    auto row = EditedRow(nso, order, line);
    std::vector<std::string> before;
    before.reserve(changes.size());
    for (const FieldChange& change : changes) {
        before.push_back(DisplayText(row->Value(change.field->column)));
        row->SetValue(change.field->column, change.value);
    }
    try {
        row->Update();
    } catch (const DbError& e) {
        // A condition of the database (busy, read-only, full) travels on with its code.
        row->CancelUpdate();
        throw DbError("nothing was changed: " + e.Description(), e.SqlState(), e.Statement(),
                      e.Source(), e.Code());
    } catch (const Error& e) {
        row->CancelUpdate();
        throw Refusal("nothing was changed: " + e.Description());
    }
    auto code = static_cast<std::int16_t>(order.code);
    std::int32_t id = order.id;
    bool header = !line.has_value();
    bool lines = line.has_value();
    nso.VerificaDati(code, id, header, lines, line.value_or(0));
    detail::RequireOk(nso, "verifying the order");
    return before;
}

} // namespace kvad::read_model
