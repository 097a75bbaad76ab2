#include "import/importa_documenti.h"

#include <memory>
#include <string>
#include <vector>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "import/chain_outcomes.h"
#include "import/dati_aggiuntivi.h"
#include "import/esito_ordine.h"
#include "import/importa_singolo_ordine.h"
#include "import_members.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "workspace/ordini.h"

namespace kvad::nso {
namespace {

// The main rows the import visits: the latest document of a chain to import, or a cancellation.
std::string MainRowsFilter() {
    const std::string toImport = std::to_string(processing::kToImport);
    const std::string cancellation = std::to_string(processing::kCancellation);
    return "(ID_PADRE = NULL AND TMP_ELABORA = " + toImport +
           ") OR (ID_PADRE = NULL AND TMP_ELABORA = " + cancellation + ")";
}

std::string ProgressMessage(const Recordset& main) {
    return "Id : " + main.Value("IE91_IDORD").Text() + " (" + main.Value("IE91_ISSUEDATE").Text() +
           ") - " + main.Value("IE91_ENDPOINTID").Text();
}

// Additional data, the import itself and the processed mark of one document; the attempt is
// recorded whatever happened, so a document after a failure carries that failure.
void AttemptDocumentImport(NsoState& state, std::int32_t id, std::vector<ImportAttempt>& attempts) {
    if (state.Stato == kaOK) {
        ScriviDatiAggiuntivi(state, id);
    }
    if (state.Stato == kaOK) {
        const Variant document = ImportaSingoloOrdine(state, id);
        if (state.Stato == kaOK) {
            SettaInfoOrdine(state, id, true, document);
        }
    }
    attempts.push_back({id, state.Stato, state.Errore.Text()});
}

// The chain's latest document: imported, or, a cancellation, counted as processed without a
// document.
void ImportMainRow(NsoState& state, const Recordset& main, std::vector<ImportAttempt>& attempts) {
    const std::int32_t id = main.Value("IE91_ID").ToLong();
    const std::int32_t code = main.Value("TMP_ELABORA").ToLong();
    if (code == processing::kToImport) {
        AttemptDocumentImport(state, id, attempts);
    } else if (code == processing::kCancellation && state.Stato == kaOK) {
        SettaInfoOrdine(state, id, true, Variant());
    }
}

// The older documents, oldest first. They are visited whatever happened: after a failure a
// document to import is not attempted, but its entry carries the failure.
void ImportOlderDocuments(NsoState& state, Recordset& chain, const std::string& parent,
                          std::vector<ImportAttempt>& attempts) {
    chain.SetFilter(parent);
    if (chain.RecordCount() <= 0) {
        return;
    }
    chain.SetSort("LIVELLO DESC");
    for (chain.MoveFirst(); !chain.Eof(); chain.MoveNext()) {
        const std::int32_t id = chain.Value("IE91_ID").ToLong();
        const std::int32_t code = chain.Value("TMP_ELABORA").ToLong();
        if (code == processing::kToImport) {
            AttemptDocumentImport(state, id, attempts);
        } else if ((code == processing::kNotImported || code == processing::kCancellation) &&
                   state.Stato == kaOK && !IsDecimalAboveZero(chain.Value("IE91_PROCESSATO"))) {
            SettaInfoOrdine(state, id, true, Variant());
        }
    }
}

// The ids of the older documents whose ERP orders are to be closed, oldest first, each followed
// by a comma.
std::string DocumentsToClose(Recordset& chain, const std::string& parent) {
    std::string list;
    chain.SetFilter(parent + " AND TMP_FLGNONPIUEV = 1");
    if (chain.RecordCount() > 0) {
        chain.SetSort("LIVELLO DESC");
        for (chain.MoveFirst(); !chain.Eof(); chain.MoveNext()) {
            list += chain.Value("IE91_ID").Text() + ",";
        }
    }
    return list;
}

// The superseded ERP orders made no longer to be fulfilled; a failure is the chain's, on its
// main row.
void CloseSupersededOrders(NsoState& state, std::string list, std::int32_t mainId,
                           std::vector<ImportAttempt>& attempts) {
    if (list.empty()) {
        return;
    }
    list.pop_back();
    RendiNonPiuEvadibile(state, list);
    if (state.Stato != kaOK) {
        attempts.push_back({mainId, state.Stato, state.Errore.Text()});
    }
}

// Commits the chain's transaction when it succeeded, rolls it back otherwise.
void EndChainTransaction(NsoState& state, ImportMembers& members) {
    if (members.transactionLevel == 0) {
        return;
    }
    if (state.Stato == kaOK) {
        Conn(state).CommitTrans();
    } else {
        Conn(state).RollbackTrans();
    }
    members.transactionLevel = 0;
}

// One chain: its documents imported or marked processed, its superseded ERP orders closed, its
// transaction ended and the outcome of every attempt recorded. A chain that succeeded inside a
// transaction has its outcome written with it, before the commit, so that a process killed after
// the commit cannot leave the chain imported without its outcome; a chain that failed, or one
// without a transaction, has it written after the chain.
void ImportChain(NsoState& state, ImportMembers& members, Recordset& main, Recordset& chain,
                 std::int32_t position, std::int32_t total) {
    std::vector<ImportAttempt> attempts;
    ResetStatus(state);
    RaiseOnProgress(state, kaOperazioneImport, position, total, ProgressMessage(main));
    if (state.Transazione && members.transactionLevel == 0) {
        members.transactionLevel = Conn(state).BeginTrans();
    }

    const std::int32_t mainId = main.Value("IE91_ID").ToLong();
    ImportMainRow(state, main, attempts);
    const std::string parent = "ID_PADRE = " + FilterLiteral(main.Value("ID_RIGA").Text());
    ImportOlderDocuments(state, chain, parent, attempts);
    if (state.Stato == kaOK) {
        CloseSupersededOrders(state, DocumentsToClose(chain, parent), mainId, attempts);
    }

    if (members.transactionLevel > 0 && state.Stato == kaOK &&
        RecordOutcomesWithChain(state, mainId, attempts)) {
        EndChainTransaction(state, members);
        return;
    }
    EndChainTransaction(state, members);
    RecordOutcomes(state, attempts);
}

} // namespace

void ImportaDocumenti(NsoState& state) {
    ImportMembers& members = ImportMembersOf(state);
    GuardOptions options;
    options.beforeHandler = [&] {
        if (members.transactionLevel == 0) {
            return;
        }
        members.transactionLevel = 0;
        // The error text reports what failed, not the rollback.
        const std::vector<ProviderError> errors = Conn(state).Errors();
        try {
            Conn(state).RollbackTrans();
        } catch (...) {
        }
        Conn(state).Errors() = errors;
    };
    Guard(
        state, "ImportaDocumenti",
        [&] {
            if (!state.RstOrdini) {
                ThrowObjectNotSet();
            }
            auto mains = state.RstOrdini->Clone();
            auto chain = state.RstOrdini->Clone();
            mains->SetFilter(MainRowsFilter());
            const auto total = static_cast<std::int32_t>(mains->RecordCount());
            std::int32_t position = 0;
            for (; !mains->Eof(); mains->MoveNext()) {
                ImportChain(state, members, *mains, *chain, ++position, total);
            }
            mains.reset();
            chain.reset();
            if (!state.RstTestata) {
                ThrowObjectNotSet();
            }
            state.RstTestata->Requery();
        },
        options);
}

} // namespace kvad::nso
