// "nso edit": the clerk corrects decoded values of a processed order, its header or one line,
// through the result recordsets; the order (or the line) is verified again and what remains to
// fix is shown. A value that cannot be taken changes nothing.
#include <algorithm>
#include <iostream>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/commands.h"
#include "app/order_ref.h"
#include "app/review.h"
#include "app/session.h"
#include "app/work_lock.h"
#include "kvad_nso/read_model/edit_fields.h"
#include "kvad_nso/read_model/order_edit.h"
#include "kvad_nso/read_model/values.h"

namespace nsoapp {
namespace {

using kvad::read_model::EditField;
using kvad::read_model::FieldChange;

/// The fields of one kind as "alias (what)" lines, for help and error texts.
std::string DescribeEditFields(bool line) {
    std::string text;
    for (const EditField& field : kvad::read_model::EditFields()) {
        if (field.line == line) {
            text += "  " + field.alias +
                    std::string(field.alias.size() < 15 ? 15 - field.alias.size() : 1, ' ') +
                    field.meaning + " (" + field.column + ")\n";
        }
    }
    return text;
}

/// One FIELD=VALUE as a change, checked before anything is written.
FieldChange ParseAssignment(const std::string& assignment, bool line) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) {
        throw std::runtime_error("'" + assignment +
                                 "' is not FIELD=VALUE (VALUE may be empty to clear a value)");
    }
    const std::string name = assignment.substr(0, eq);
    const EditField* field = kvad::read_model::FindEditField(name);
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
    try {
        return {field, kvad::read_model::ParseFieldValue(*field, assignment.substr(eq + 1))};
    } catch (const kvad::read_model::Refusal& e) {
        throw std::runtime_error(std::string(e.what()) + " (nothing was changed)");
    }
}

/// The assignments as changes, every one checked before anything is written.
std::vector<FieldChange> ParseAssignments(const EditOptions& options) {
    std::vector<FieldChange> changes;
    std::set<std::string> seen;
    for (const std::string& assignment : options.assignments) {
        FieldChange change = ParseAssignment(assignment, options.line.has_value());
        if (!seen.insert(change.field->column).second) {
            throw std::runtime_error("'" + change.field->alias +
                                     "' is given twice (nothing was changed)");
        }
        changes.push_back(std::move(change));
    }
    return changes;
}

/// The refusal of the read model's check, in one line, or one line per refused value beneath a
/// line that says nothing was changed.
[[noreturn]] void Refused(const std::string& refusal) {
    if (refusal.rfind("nothing was changed", 0) == 0) {
        throw std::runtime_error(refusal);
    }
    if (refusal.find('\n') == std::string::npos) {
        throw std::runtime_error(refusal + " (nothing was changed)");
    }
    std::string lines;
    std::size_t count = 0;
    std::size_t start = 0;
    while (start <= refusal.size()) {
        const std::size_t end = std::min(refusal.find('\n', start), refusal.size());
        lines += "\n  " + refusal.substr(start, end - start);
        ++count;
        start = end + 1;
    }
    throw std::runtime_error(std::to_string(count) +
                             " values were refused, nothing was changed:" + lines);
}

/// The changes checked against the master data (their codes then spelled as it spells them) and
/// written through the read model; its refusals told as nso tells them.
std::vector<std::string> Edit(Session& session, const Order& order,
                              std::optional<std::int32_t> line, std::vector<FieldChange>& changes) {
    try {
        const std::vector<std::string> refused =
            kvad::read_model::CheckChanges(*session.nso, order, line, changes);
        if (!refused.empty()) {
            std::string text;
            for (const std::string& sentence : refused) {
                text += (text.empty() ? "" : "\n") + sentence;
            }
            Refused(text);
        }
        return kvad::read_model::EditOrder(*session.nso, order, line, changes);
    } catch (const kvad::read_model::Refusal& e) {
        Refused(e.what());
    }
}

} // namespace

std::string EditFieldsHelp() {
    return "Header fields:\n" + DescribeEditFields(false) + "Line fields (with --line N):\n" +
           DescribeEditFields(true);
}

void RunEdit(const Settings& settings, const EditOptions& options) {
    std::vector<FieldChange> changes = ParseAssignments(options);
    Session session = OpenSession(settings);
    // Taken before the order is read: an edit that waited for an import finds its order
    // imported, and is refused, instead of changing values the import has already taken.
    const WorkLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Clerk, "nso edit",
                    options.waitSeconds);
    const std::int32_t id = ResolveDocument(*session.db, settings.company, options.order);
    const Order before = ReviewedOrder(session, id);
    if (before.erpOrder && !before.reviewed) {
        throw std::runtime_error(kvad::read_model::Title(before) + " was imported as ERP order " +
                                 before.erpOrder->document + ": its values cannot be edited");
    }
    if (!before.editable) {
        throw std::runtime_error(kvad::read_model::Title(before) + " is not imported (" +
                                 before.plan + "): its values cannot be edited");
    }
    const std::vector<std::string> was = Edit(session, before, options.line, changes);

    const std::string where = options.line ? " line " + std::to_string(*options.line) : "";
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const std::string now = kvad::read_model::DisplayText(changes[i].value);
        std::cout << "changed" << where << ": " << changes[i].field->alias << " "
                  << (was[i].empty() ? "(empty)" : was[i]) << " -> "
                  << (now.empty() ? "(empty)" : now) << "\n";
    }
    std::cout << "\n";
    PrintOrder(std::cout, kvad::read_model::ReadOrder(*session.nso, id));
}

} // namespace nsoapp
