#pragma once
/// Values of the component's rows as a host shows them, and the two ways a read-model call
/// refuses: a request it cannot answer, and a component method that did not end with kaOK.

#include <stdexcept>
#include <string>

#include "kvad_nso/enums.h"
#include "kvad_nso/variant.h"

namespace kvad::read_model {

/// A request the read model cannot answer as asked: a document in no chain, a line an order does
/// not have, a change the configuration cannot take. Nothing was written.
class Refusal : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// A method of the component that the read model called ended with a Stato other than kaOK.
class ComponentFailure : public std::runtime_error {
  public:
    /// `task` says in plain words what the call was for ("reading the chains").
    ComponentFailure(std::string task, kaEnumNSOErrStato stato, std::string errore,
                     DatabaseCondition condition = DatabaseCondition::None);

    [[nodiscard]] const std::string& Task() const noexcept { return task_; }
    [[nodiscard]] kaEnumNSOErrStato Stato() const noexcept { return stato_; }
    /// The component's Errore: its own account of the failure.
    [[nodiscard]] const std::string& Errore() const noexcept { return errore_; }
    /// The condition of the database behind the failure (LastDatabaseCondition), if any.
    [[nodiscard]] DatabaseCondition Condition() const noexcept { return condition_; }

  private:
    std::string task_;
    kaEnumNSOErrStato stato_;
    std::string errore_;
    DatabaseCondition condition_;
};

/// A stored value as a clerk reads it: dates as dd/mm/yyyy, numbers and texts without trailing
/// blanks, "" for Null.
[[nodiscard]] std::string DisplayText(const Variant& value);

/// The document note as a clerk reads it. Decoding stores the note as the SQL literal of its text
/// (N'...' with apostrophes doubled, null for none, possibly cut before its closing apostrophe);
/// this gives back the text. A note a clerk typed is shown as it is.
[[nodiscard]] std::string NoteText(const Variant& value);

/// "dd/mm/yyyy", or "" for a value that is not a date.
[[nodiscard]] std::string DateText(const Variant& value);

/// "yyyy-mm-dd", or "" for a value that is not a date.
[[nodiscard]] std::string IsoDateText(const Variant& value);

} // namespace kvad::read_model
