#include "kvad_nso/read_model/order_edit.h"

#include "kvad_nso/codes.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/read_model/master_lookup.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/recordset.h"
#include "rows.h"

namespace kvad::read_model {

using detail::Code;

namespace {

/// The row the changes go to: the order's header row, or one of its lines.
std::shared_ptr<Recordset> EditedRow(CLSIE_NSO& nso, const Order& order,
                                     std::optional<std::int32_t> line) {
    if (!order.editable) {
        throw Refusal(Title(order) + " is not one the import takes (" + order.plan +
                      "): its values cannot be edited");
    }
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
                      LineNumbersText(order));
    }
    return lines;
}

void RequireFields(const std::vector<FieldChange>& changes, std::optional<std::int32_t> line) {
    for (const FieldChange& change : changes) {
        if (change.field == nullptr || change.field->line != line.has_value()) {
            throw Refusal("a change is not of the " + std::string(line ? "line" : "header") +
                          " (nothing was changed)");
        }
    }
}

/// "A (...), B (...) and C (...)".
std::string Listed(const std::vector<MasterEntry>& entries) {
    std::string text;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == entries.size() ? " and " : ", ") + entries[i].Described();
    }
    return text;
}

/// "the nearest is A (...)", "the nearest<among> are A (...) and B (...)", or `none`.
std::string Nearest(const MasterMatch& match, const std::string& none,
                    const std::string& among = {}) {
    if (match.nearest.empty()) {
        return none;
    }
    return "the nearest" + among + (match.nearest.size() == 1 ? " is " : " are ") +
           Listed(match.nearest);
}

/// The changes to one row checked against the master data, with what the row holds beside them.
class ChangeCheck {
  public:
    ChangeCheck(CLSIE_NSO& nso, const Recordset& row, std::vector<FieldChange>& changes)
        : nso_(nso), row_(row), changes_(changes) {}

    std::vector<std::string> Header() {
        CheckCode(MasterData::DocumentCode, "document code", FindDocumentCode,
                  "the company has "
                  "none");
        CheckCode(MasterData::Currency, "currency", FindCurrency, "there are none");
        const bool customerChanged =
            Changes(MasterData::Customer) || Changes("IE93_DO11_TIPOCF_CG44");
        const std::int32_t kind = detail::Whole(After("IE93_DO11_TIPOCF_CG44"));
        const std::int32_t customer = detail::Whole(After("IE93_DO11_CLIFOR_CG44"));
        const std::string who = kind == customer_type::kSupplier ? "supplier" : "customer";
        bool customerKnown = true;
        if (customerChanged && customer != 0) {
            const MasterMatch match = FindCustomer(nso_, kind, customer);
            customerKnown = match.found.has_value();
            if (!customerKnown) {
                refused_.push_back("no " + who + " " + Code(customer) + ": " +
                                   Nearest(match, "the company has none"));
            }
        }
        const std::string destination = DisplayText(After("IE93_DO11_CLIFORDEST"));
        const bool destinationChanged = Changes(MasterData::Destination);
        if (destination.empty() || !customerKnown || (!destinationChanged && !customerChanged)) {
            return refused_;
        }
        if (customer == 0) {
            refused_.push_back("destination " + destination +
                               " cannot be checked: the order has no customer for it to belong "
                               "to; give the customer with it");
            return refused_;
        }
        const MasterMatch match = FindDestination(nso_, kind, customer, destination);
        if (match.found) {
            Respell(MasterData::Destination, match.found->code);
            return refused_;
        }
        const std::string owner = who + " " + Code(customer);
        const std::string theirs = Nearest(match, owner + " has no destinations",
                                           " of its "
                                           "destinations");
        refused_.push_back(destinationChanged
                               ? owner + " has no destination " + destination + ": " + theirs
                               : "destination " + destination + " is not one of " + owner + "'s (" +
                                     theirs + "): change or clear it with the customer");
        return refused_;
    }

    std::vector<std::string> Line() {
        CheckCode(MasterData::VatCode, "VAT code", FindVatCode, "the VAT table is empty");
        const bool itemKnown =
            CheckCode(MasterData::Item, "item", FindItem, "the company has no items");
        const std::string item = DisplayText(After("IE95_DO30_CODART_MG66"));
        const std::string option = DisplayText(After("IE95_DO30_OPZIONE_MG5E"));
        const bool changed = Changes(MasterData::ItemOption) || Changes(MasterData::Item);
        if (option.empty() || !changed || !itemKnown) {
            return refused_;
        }
        if (item.empty()) {
            refused_.push_back("option " + option +
                               " cannot be checked: the line has no item; give the item with it");
            return refused_;
        }
        const MasterMatch match = FindItemOption(nso_, item, option);
        if (match.found) {
            Respell(MasterData::ItemOption, match.found->code);
            return refused_;
        }
        refused_.push_back("item " + item + " has no option " + option + ": " +
                           Nearest(match, "it has no options", " of its options"));
        return refused_;
    }

  private:
    using Finder = MasterMatch (*)(CLSIE_NSO&, const std::string&);

    /// A changed text code looked up; false when it is not there.
    bool CheckCode(MasterData master, const std::string& what, Finder find,
                   const std::string& none) {
        const FieldChange* change = ChangeOf(master);
        if (change == nullptr || change->value.IsNull()) {
            return true;
        }
        const std::string code = change->value.Text();
        const MasterMatch match = find(nso_, code);
        if (match.found) {
            Respell(master, match.found->code);
            return true;
        }
        refused_.push_back("no " + what + " " + code + ": " + Nearest(match, none));
        return false;
    }

    const FieldChange* ChangeOf(MasterData master) const {
        for (const FieldChange& change : changes_) {
            if (change.field->master == master) {
                return &change;
            }
        }
        return nullptr;
    }

    [[nodiscard]] bool Changes(MasterData master) const { return ChangeOf(master) != nullptr; }

    [[nodiscard]] bool Changes(const std::string& column) const {
        for (const FieldChange& change : changes_) {
            if (change.field->column == column) {
                return true;
            }
        }
        return false;
    }

    /// The value a column will hold: the change's, else the row's.
    [[nodiscard]] Variant After(const std::string& column) const {
        for (const FieldChange& change : changes_) {
            if (change.field->column == column) {
                return change.value;
            }
        }
        return row_.Value(column);
    }

    /// The code as the master data spells it.
    void Respell(MasterData master, const std::string& code) {
        for (FieldChange& change : changes_) {
            if (change.field->master == master && !change.value.IsNull()) {
                change.value = code;
            }
        }
    }

    CLSIE_NSO& nso_;
    const Recordset& row_;
    std::vector<FieldChange>& changes_;
    std::vector<std::string> refused_;
};

} // namespace

std::string LineNumbersText(const Order& order) {
    std::vector<std::string> runs;
    for (std::size_t i = 0; i < order.lines.size();) {
        std::size_t end = i;
        while (end + 1 < order.lines.size() &&
               order.lines[end + 1].number == order.lines[end].number + 1) {
            ++end;
        }
        runs.push_back(end == i
                           ? Code(order.lines[i].number)
                           : Code(order.lines[i].number) + " to " + Code(order.lines[end].number));
        i = end + 1;
    }
    std::string text;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == runs.size() ? " and " : ", ") + runs[i];
    }
    return text.empty() ? "none" : text;
}

std::vector<std::string> CheckChanges(CLSIE_NSO& nso, const Order& order,
                                      std::optional<std::int32_t> line,
                                      std::vector<FieldChange>& changes) {
    RequireFields(changes, line);
    auto row = EditedRow(nso, order, line);
    ChangeCheck check(nso, *row, changes);
    return line ? check.Line() : check.Header();
}

std::vector<std::string> EditOrder(CLSIE_NSO& nso, const Order& order,
                                   std::optional<std::int32_t> line,
                                   const std::vector<FieldChange>& changes) {
    RequireFields(changes, line);
    auto row = EditedRow(nso, order, line);
    std::vector<FieldChange> checked = changes;
    ChangeCheck check(nso, *row, checked);
    const std::vector<std::string> refused = line ? check.Line() : check.Header();
    if (!refused.empty()) {
        std::string text;
        for (const std::string& sentence : refused) {
            text += (text.empty() ? "" : "\n") + sentence;
        }
        throw Refusal(text);
    }
    std::vector<std::string> before;
    before.reserve(checked.size());
    for (const FieldChange& change : checked) {
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
    // A corrected number no longer counts as unreadable when the order is verified again, and a
    // failed import's reasons no longer hold the corrected order.
    nso.RecheckUnreadableNumbers(order.id);
    detail::RequireOk(nso, "checking the order's unreadable numbers again");
    nso.ForgetImportAttempt(order.id);
    detail::RequireOk(nso, "clearing the last import attempt's messages");
    auto code = static_cast<std::int16_t>(order.code);
    std::int32_t id = order.id;
    bool header = !line.has_value();
    bool lines = line.has_value();
    nso.VerificaDati(code, id, header, lines, line.value_or(0));
    detail::RequireOk(nso, "verifying the order");
    return before;
}

} // namespace kvad::read_model
