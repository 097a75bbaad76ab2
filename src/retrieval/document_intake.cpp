#include "retrieval/document_intake.h"

#include "frame/failure_path.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "retrieval/recupero_ordini.h"
#include "retrieval/riferimenti.h"
#include "ubl/expected_rows.h"
#include "ubl/xml_loader.h"
#include "xml/xml_document.h"

namespace kvad::nso {
namespace {

/// The reason column's size.
constexpr std::size_t kMaxReason = 1000;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

struct Outcome {
    IntakeOutcome outcome = IntakeOutcome::Loaded;
    std::string reason;
};

// What the load (and the link after it) left, read from the loader's account of the load.
Outcome AfterLoad(NsoState& state, bool linkFailed) {
    const LoaderState& loader = Loader(state);
    switch (loader.lastResult) {
    case LoadResult::NoText:
        return {IntakeOutcome::Empty, "the document is empty"};
    case LoadResult::NotParsed:
        return {IntakeOutcome::Unreadable, loader.lastParse.Plain()};
    case LoadResult::NoOrder:
        return {IntakeOutcome::NotAnOrder, loader.lastElement.empty()
                                               ? std::string("it is not an Order")
                                               : "it is not an Order (its document element is " +
                                                     Quoted(loader.lastElement) + ")"};
    case LoadResult::Failed:
    case LoadResult::NotRun:
        return {IntakeOutcome::LoadFailed,
                "it could not be staged: " + state.lastFailureDescription};
    case LoadResult::AlreadyStaged:
    case LoadResult::Loaded:
        break;
    }
    if (linkFailed) {
        return {IntakeOutcome::ReferenceFailed,
                "its reference to the order it changes cannot be read: " +
                    state.lastFailureDescription};
    }
    return {};
}

} // namespace

DocumentOutcome TakeInDocument(NsoState& state, std::int32_t fId, IntakeMode mode) {
    bool downloaded = true;
    if (mode != IntakeMode::Reload) {
        downloaded = ScaricaXMLOrdine(state, fId, mode == IntakeMode::MissingXml);
        if (downloaded) {
            GetOrderFromXML(state, fId, false);
        }
    } else {
        ClearStagingForReload(state, fId);
        GetOrderFromXML(state, fId, true);
    }
    // As the retrieval does: the link follows a load that left Stato at kaOK.
    bool linkFailed = false;
    if (state.Stato == kaOK) {
        AggiornaRiferimenti(state, fId);
        linkFailed = state.Stato != kaOK;
    }

    Outcome result;
    if (!downloaded) {
        result = {WebService(state).downloadOutcome, WebService(state).downloadProblem};
    } else {
        // The load ran: its account of itself is this document's.
        result = AfterLoad(state, linkFailed);
    }
    WriteIntake(state, fId, result.outcome, result.reason);
    DocumentOutcome outcome;
    outcome.id = fId;
    outcome.outcome = result.outcome;
    outcome.reason = result.reason;
    return outcome;
}

void WriteIntake(NsoState& state, std::int32_t fId, IntakeOutcome outcome,
                 const std::string& reason) {
    const StagingRows rows = StagedRows(state, fId);
    auto rs = Conn(state).OpenRecordset(
        "SELECT * FROM KVAD_DOCUMENT_INTAKE WHERE INTAKE_ID_IE91 = " + std::to_string(fId));
    if (rs->Eof()) {
        rs->AddNew();
        rs->SetValue("INTAKE_ID_IE91", fId);
    }
    rs->SetValue("INTAKE_OUTCOME", static_cast<std::int16_t>(outcome));
    rs->SetValue("INTAKE_REASON",
                 reason.empty() ? Variant::Null() : Variant(Utf8Left(reason, kMaxReason)));
    rs->SetValue("INTAKE_HEADERS", rows.headers);
    rs->SetValue("INTAKE_HEADER_CHARGES", rows.headerCharges);
    rs->SetValue("INTAKE_LINES", rows.lines);
    rs->SetValue("INTAKE_LINE_CHARGES", rows.lineCharges);
    rs->Update();
}

} // namespace kvad::nso
