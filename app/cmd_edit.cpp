// "nso edit": the clerk corrects decoded values of a processed order, its header or one line,
// through the result recordsets; the order (or the line) is verified again and what remains to
// fix is shown. A value that cannot be taken changes nothing.
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/commands.h"
#include "app/edit_fields.h"
#include "app/failure.h"
#include "app/order_ref.h"
#include "app/review.h"
#include "app/session.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"

namespace nsoapp {
namespace {

struct EditOptions {
    std::string order;
    std::optional<std::int32_t> line;
    std::vector<std::string> assignments;
};

struct Change {
    const EditField* field = nullptr;
    kvad::Variant value;
};

/// The assignments as changes, every one checked before anything is written.
std::vector<Change> ParseAssignments(const EditOptions& options) {
    const bool line = options.line.has_value();
    std::vector<Change> changes;
    std::set<std::string> seen;
    for (const std::string& assignment : options.assignments) {
        const std::size_t eq = assignment.find('=');
        if (eq == std::string::npos || eq == 0) {
            throw std::runtime_error("'" + assignment +
                                     "' is not FIELD=VALUE (VALUE may be empty to clear a value)");
        }
        const std::string name = assignment.substr(0, eq);
        const EditField* field = FindEditField(name);
        if (field == nullptr) {
            throw std::runtime_error("unknown field '" + name + "'; " + (line ? "line" : "header") +
                                     " fields are:\n" + DescribeEditFields(line) +
                                     "(nothing was changed)");
        }
        if (field->line != line) {
            throw std::runtime_error(field->line ? "'" + field->alias +
                                                       "' is a line field: give the line with "
                                                       "--line N (nothing was changed)"
                                                 : "'" + field->alias +
                                                       "' is a header field: leave out --line "
                                                       "(nothing was changed)");
        }
        if (!seen.insert(field->column).second) {
            throw std::runtime_error("'" + field->alias + "' is given twice (nothing was changed)");
        }
        try {
            changes.push_back({field, ParseFieldValue(*field, assignment.substr(eq + 1))});
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(std::string(e.what()) + " (nothing was changed)");
        }
    }
    return changes;
}

/// The row the changes go to: the order's header row, or one of its lines.
std::shared_ptr<kvad::Recordset> TargetRow(Session& session, const OrderView& order,
                                           std::optional<std::int32_t> line) {
    const std::string id = std::to_string(order.id);
    if (!line) {
        auto header = session.nso->RstTestata()->Clone();
        header->SetFilter("IE91_ID = " + id);
        return header;
    }
    if (order.lines.empty()) {
        throw std::runtime_error(OrderTitle(order) + " has no lines to correct (" + order.plan +
                                 ")");
    }
    auto lines = session.nso->RstCorpo()->Clone();
    lines->SetFilter("IE95_ID_IE91 = " + id + " AND IE95_DO30_PROGRIGA = " + std::to_string(*line));
    if (lines->Eof()) {
        throw std::runtime_error(OrderTitle(order) + " has no line " + std::to_string(*line) +
                                 ": its lines are " + std::to_string(order.lines.front().number) +
                                 " to " + std::to_string(order.lines.back().number));
    }
    return lines;
}

void Edit(const Settings& settings, const EditOptions& options) {
    const std::vector<Change> changes = ParseAssignments(options);
    Session session = OpenSession(settings);
    std::int32_t id = ResolveDocument(*session.db, settings.company, options.order);
    OpenReview(session, id);
    const OrderView before = ReviewedOrder(session, id);
    if (!before.editable) {
        throw std::runtime_error(OrderTitle(before) + " is not imported (" + before.plan +
                                 "): its values cannot be edited");
    }
    auto row = TargetRow(session, before, options.line);

    std::vector<std::pair<std::string, std::string>> shown;
    for (const Change& change : changes) {
        shown.emplace_back(DisplayValue(row->Value(change.field->column)),
                           DisplayValue(change.value));
        row->SetValue(change.field->column, change.value);
    }
    try {
        row->Update();
    } catch (const kvad::DbError& e) {
        row->CancelUpdate();
        throw WithContext(e, "nothing was changed: ");
    } catch (const kvad::Error& e) {
        row->CancelUpdate();
        throw std::runtime_error("nothing was changed: " + e.Description());
    }

    auto code = static_cast<std::int16_t>(before.code);
    bool header = !options.line.has_value();
    bool lines = options.line.has_value();
    session.nso->VerificaDati(code, id, header, lines, options.line.value_or(0));
    RequireOk(session, "verifying the order");

    const std::string where = options.line ? " line " + std::to_string(*options.line) : "";
    for (std::size_t i = 0; i < changes.size(); ++i) {
        std::cout << "changed" << where << ": " << changes[i].field->alias << " "
                  << (shown[i].first.empty() ? "(empty)" : shown[i].first) << " -> "
                  << (shown[i].second.empty() ? "(empty)" : shown[i].second) << "\n";
    }
    std::cout << "\n";
    PrintOrder(std::cout, GatherOrder(session, id));
}

} // namespace

void AddEditCommand(CLI::App& app, Settings& settings) {
    CLI::App* edit = app.add_subcommand(
        "edit", "Correct decoded values of a processed order and verify it again");
    auto options = std::make_shared<EditOptions>();
    edit->add_option("ORDER", options->order, "Register id of the document, or its order number")
        ->required();
    edit->add_option("FIELD=VALUE", options->assignments,
                     "Values to set (an empty VALUE clears it), by short name or column name")
        ->required();
    edit->add_option("--line", options->line, "Correct this line instead of the header")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    edit->footer("Header fields:\n" + DescribeEditFields(false) + "Line fields (with --line N):\n" +
                 DescribeEditFields(true));
    edit->callback([&settings, options] { Edit(settings, *options); });
}

} // namespace nsoapp
