#pragma once
// The state of one CLSIE_NSO instance: its public properties, the frame's private members and,
// through Part<T>(), the private members of each subsystem. Routines are free functions taking
// this state.

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <utility>
#include <vector>

#include "kvad_nso/connection.h"
#include "kvad_nso/enums.h"
#include "kvad_nso/host.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/variant.h"

namespace kvad::nso {

struct NsoState {
    // Public properties.
    std::string StringaDiConnessione;
    std::shared_ptr<Connection> Connessione;
    Variant CodiceDitta;
    bool Transazione = true;
    std::shared_ptr<HostApplication> ActiveInterface;
    kaEnumNSOErrStato Stato = kaOK;
    std::int16_t ErrorCode = 0;
    Variant Errore;
    std::string NomeTempOrdini = "#TEMP_ORD";
    std::shared_ptr<Recordset> RstOrdini;
    std::shared_ptr<Recordset> RstTestata;
    std::shared_ptr<Recordset> RstCorpo;
    std::shared_ptr<Recordset> RstLogMessages;
    std::string Param_CodiceDocumento;
    Variant Param_DataImport;
    kaEnumModalitaImportazione Param_ModalitaImport = kaInteraCatena;
    std::string Param_Tracciato;

    // Private members.
    std::string idIstanza;
    std::shared_ptr<NumberFormatter> numberFormatter;
    std::shared_ptr<DateObject> dateObject;

    // What the failure path handled: the description of the last error, and the database faults
    // (a database that failed, not a value it refused) with the last of them, so that a caller
    // can undo a unit of work that met one (see frame/transaction.h).
    std::string lastFailureDescription;
    std::int32_t databaseFaults = 0;
    std::exception_ptr lastDatabaseFault;
    // The database condition of the last failure (None when it was not the database's), for
    // hosts: Errore's text does not carry it. Reset with Stato.
    DatabaseCondition lastDatabaseCondition = DatabaseCondition::None;

    // OnProgress listeners with their tokens.
    std::vector<std::pair<int, ProgressListener>> progressListeners;
    int nextListenerToken = 1;

    /// The private members of one subsystem (a default-constructible struct declared by that
    /// subsystem), made on first use and kept for the instance's life, for the subsystem that
    /// owns them: T::Writer is a type that subsystem completes in a header of its own folder,
    /// which no other layer sees, so that only the owner can write its members.
    template <class T> [[nodiscard]] T& Part(const typename T::Writer& /*owner*/) {
        return Slot<T>();
    }

    /// The same members, read-only, for any subsystem.
    template <class T> [[nodiscard]] const T& Part() const { return Slot<T>(); }

  private:
    template <class T> [[nodiscard]] T& Slot() const {
        auto& slot = parts_[std::type_index(typeid(T))];
        if (!slot) {
            slot = std::make_shared<T>();
        }
        return *static_cast<T*>(slot.get());
    }

    // Made on first use, also by a read-only look: mutable.
    mutable std::map<std::type_index, std::shared_ptr<void>> parts_;
};

/// Creates the instance's number formatter and date object by ProgID. Errors are ignored: a host
/// without the framework objects still gets an instance, and FormatoDB reports the missing object
/// when it needs it.
void CreateFrameworkObjects(NsoState& state);

/// Adds an OnProgress listener; returns a token for RemoveProgressListener.
int AddProgressListener(NsoState& state, ProgressListener listener);

/// Removes the listener added with this token.
void RemoveProgressListener(NsoState& state, int token);

/// Raises OnProgress to every listener, in the order they were added.
void RaiseOnProgress(NsoState& state, kaenumTipoOperazione operation, std::int32_t current,
                     std::int32_t maximum, std::string message);

/// The company code as it is written into statements: its text form, unquoted.
[[nodiscard]] std::string CompanyCodeSql(const NsoState& state);

/// Resets Stato to kaOK, Errore to "" and the last database condition to None, as the operations
/// that start afresh do.
void ResetStatus(NsoState& state);

/// Shows the host's busy pointer (true) or its default pointer (false); a host that is missing
/// or fails to change it is ignored.
void ShowBusyPointer(NsoState& state, bool busy) noexcept;

/// The connection, or VbError 91 ("Object variable or With block variable not set").
[[nodiscard]] Connection& Conn(const NsoState& state);

} // namespace kvad::nso
