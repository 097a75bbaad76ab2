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

std::string Megabytes(std::size_t bytes) {
    return std::to_string(bytes / (std::size_t{1024} * 1024)) + " MiB";
}

// Why the XML layer refused the stored text, for the user.
std::string UnreadableReason(const LoaderState& loader, const std::string& text) {
    switch (loader.lastProblem) {
    case xml::Problem::TooLarge:
        return "it is larger than the " + Megabytes(xml::Limits{}.maxBytes) + " limit (" +
               std::to_string(text.size()) + " bytes)";
    case xml::Problem::Encoding: {
        std::string_view body = text;
        if (body.substr(0, 3) == "\xEF\xBB\xBF") {
            body.remove_prefix(3);
        }
        const std::string_view declared = xml::DeclaredEncoding(body);
        if (!declared.empty() && !EqualsNoCase(declared, "UTF-8")) {
            return "its encoding " + Quoted(std::string(declared)) + " cannot be read";
        }
        return "it is not text in a known encoding (" + loader.lastDetail + ")";
    }
    case xml::Problem::Empty:
        return "the document is empty";
    case xml::Problem::Doctype:
        return "it is not a plain XML document (" + loader.lastDetail + ")";
    case xml::Problem::OverLimits:
        return "it has more elements or deeper nesting than an order can have (" +
               loader.lastDetail + ")";
    case xml::Problem::NotWellFormed:
    case xml::Problem::NoMemory:
    case xml::Problem::None:
        break;
    }
    return "it is not XML (" + loader.lastDetail + ")";
}

struct Outcome {
    IntakeOutcome outcome = IntakeOutcome::Loaded;
    std::string reason;
};

// What the load (and the link after it) left, read from the loader's account of the load.
Outcome AfterLoad(NsoState& state, std::int32_t fId, bool linkFailed) {
    const LoaderState& loader = Loader(state);
    switch (loader.lastResult) {
    case LoadResult::NoText:
        return {IntakeOutcome::Empty, "the document is empty"};
    case LoadResult::NotParsed:
        return {IntakeOutcome::Unreadable, UnreadableReason(loader, GetXML(state, fId))};
    case LoadResult::NoOrder:
        return {IntakeOutcome::NotAnOrder, loader.lastDetail.empty()
                                               ? std::string("it is not an Order")
                                               : "it is not an Order (its document element is " +
                                                     Quoted(loader.lastDetail) + ")"};
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
        result = AfterLoad(state, fId, linkFailed);
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
