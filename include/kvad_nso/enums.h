#pragma once
/// The component's public enumerations, with the member names and values hosts rely on.

#include <cstdint>
#include <functional>
#include <string>

namespace kvad {

enum kaEnumNSOErrStato : std::int32_t {
    kaOK = 0,
    kaErrConnessione = 1,
    kaErrParametri = 2,
    kaErrFormatoDB = 3,
    kaErrImportXML = 4,
    kaErrNessunDatoDaElaborare = 5,
    kaErrConnessioneNSO = 6,
    kaWarnDatiPresenti = 50,
    kaErrVB = 99,
};

enum kaEnumNSOSelez : std::int32_t {
    kaTutti = 0,
    kaNessuno = 1,
    kaInverti = 2,
};

enum kaEnumModalitaImportazione : std::int32_t {
    kaInteraCatena = 0,
    kaSoloPiuRecente = 1,
};

enum kaEnumContesto : std::int32_t {
    Contesto_Tutti = 0,
    Contesto_VerificaDati = 1,
    Contesto_ImportDati = 2,
    Contesto_DecodificaDati = 3,
};

enum kaEnumStatoVerifica : std::int32_t {
    kaVerificaOk = 1,
    kaVerificaWarning = 2,
    kaVerificaCritical = 3,
    kaVerificaCerottoRosso = 12,
    kaVerificaPuntoEsclamativo = 13,
};

enum kaenumTipoOperazione : std::int32_t {
    kaOperazioneImport = 1,
    kaRecuperoOrdiniDaNuvolix = 2,
};

enum kaenumTipoOrdiniProcessati : std::int32_t {
    kaOrdiniDaProcessare = 0,
    kaOrdiniProcessati = 1,
    kaOrdiniTutti = 2,
};

/// What a failure of the database means for a host that can act on it: the condition a DbError
/// carries, and the one of the component's last failure (CLSIE_NSO::LastDatabaseCondition).
enum class DatabaseCondition : std::int32_t {
    None = 0,        ///< no database failure, or one a host cannot act on (a statement, a value)
    Busy = 1,        ///< another connection holds the database (busy or locked) past the timeout
    ReadOnly = 2,    ///< the file cannot be written
    Full = 3,        ///< the disk, or the database's size limit, is full
    NotDatabase = 4, ///< the file is not a database, or it is damaged
    CannotOpen = 5,  ///< the file or its folder cannot be opened
    NewerSchema = 6, ///< the file holds a schema version newer than this program knows
};

/// Listener of the event OnProgress(fTipoOperazione, fCurrentValue, fMaxValue, fMessage); the
/// arguments are passed by reference, as the event interface declares them.
using ProgressListener =
    std::function<void(kaenumTipoOperazione&, std::int32_t&, std::int32_t&, std::string&)>;

} // namespace kvad
