#include "ubl/xml_loader.h"

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "frame/transaction.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/text.h"
#include "loader_writer.h"
#include "ubl/staging_writer.h"
#include "verification/error_log.h"

namespace kvad::nso {
namespace {

// The step of a path to an element of an undeclared namespace, by its local name.
constexpr const char* kLocalNameOpen = ".//*[local-name()='";
constexpr const char* kLocalNameClose = "']";

void LogXmlError(NsoState& state, std::int32_t fId, const Variant& text) {
    ScriviErrorLog(state, fId, 0, 0, message::kXmlNotLoaded, std::string(), severity::kError,
                   Contesto_VerificaDati, text);
}

// True when document fId has its header staged.
bool HeaderStaged(NsoState& state, std::int32_t fId) {
    return !Conn(state)
                .Query(
                    "SELECT TOP 1 1 FROM IE92_NSOTESTATAXML WITH (NOLOCK) WHERE IE92_ID_IE91 = " +
                    std::to_string(fId))
                ->Eof();
}

// The local name of the document's first element: what the document is, when not an Order.
std::string DocumentElementName(const xml::Document& document) {
    for (const xml::Node& child : document.Root().ChildNodes()) {
        if (child.IsElement()) {
            return child.LocalName();
        }
    }
    return {};
}

// The header, its allowances and charges, and the lines with theirs, in one transaction with
// the log entry of a step that fails (the steps after it are not run). A database failure on
// the way undoes them all: Stato and Errore already name the routine it failed under.
LoadResult StageOrder(NsoState& state, std::int32_t fId, const xml::Node& order) {
    const LoaderState& loader = Loader(state);
    Transaction load(state);
    // The numbers kept as unreadable belong to the rows about to be replaced.
    Conn(state).Execute("DELETE FROM KVAD_UNREADABLE_NUMBER WHERE UNREADABLE_ID_IE91 = " +
                        std::to_string(fId));
    const auto failed = [&] {
        if (state.Stato == kaOK) {
            return false;
        }
        LogXmlError(state, fId, state.Errore);
        return true;
    };
    const bool stopped = [&] {
        CaricaDatiTestataXML(state, fId, "IE92_NSOTESTATAXML", order);
        if (failed()) {
            return true;
        }
        CaricaNodiMultipliXML(state, fId, "IE96_NSOTESTATASCONTIXML", order,
                              loader.ApriCAC + "AllowanceCharge" + loader.ChiudiCAC, std::string(),
                              0);
        if (failed()) {
            return true;
        }
        CaricaNodiMultipliXML(state, fId, "IE94_NSOCORPOXML", order,
                              loader.ApriCAC + "OrderLine" + loader.ChiudiCAC, std::string(), 0);
        return failed();
    }();
    if (load.MetDatabaseFault()) {
        load.Rollback();
        return LoadResult::Failed;
    }
    load.Commit();
    return stopped ? LoadResult::Failed : LoadResult::Loaded;
}

} // namespace

void ClearStagingForReload(NsoState& state, std::int32_t fId) {
    Conn(state).Execute("DELETE FROM IE9A_NSOCORPOSCONTIXML WHERE IE9A_ID_IE91 = " +
                        std::to_string(fId));
    DeleteLogEntries(state, fId, message::kXmlNotLoaded, 0);
}

void RegisterDocumentNamespaces(xml::Document& document) {
    std::string declarations;
    for (const xml::Node& child : document.Root().ChildNodes()) {
        std::int32_t counter = 0;
        RaccogliNamespace(declarations, child, counter);
    }
    if (!declarations.empty()) {
        document.SetSelectionNamespaces(declarations);
    }
}

void SetPathPieces(NsoState& state, const xml::Node& order) {
    LoaderState& loader = OwnLoader(state);
    loader.PrefissoCAC = PrefissoNamespace(order, "CommonAggregateComponents");
    loader.PrefissoCBC = PrefissoNamespace(order, "CommonBasicComponents");
    loader.ApriCAC = loader.PrefissoCAC.empty() ? kLocalNameOpen : loader.PrefissoCAC;
    loader.ChiudiCAC = loader.PrefissoCAC.empty() ? kLocalNameClose : "";
    loader.ApriCBC = loader.PrefissoCBC.empty() ? kLocalNameOpen : loader.PrefissoCBC;
    loader.ChiudiCBC = loader.PrefissoCBC.empty() ? kLocalNameClose : "";
}

void GetOrderFromXML(NsoState& state, std::int32_t fId, bool fRicarica) {
    ResetStatus(state);
    LoaderState& loader = OwnLoader(state);
    loader.lastResult = LoadResult::Failed; // until the load tells otherwise
    loader.lastParse = {};
    loader.lastElement.clear();
    Guard(state, "GetOrderFromXML", [&] {
        if (!fRicarica && HeaderStaged(state, fId)) {
            loader.lastResult = LoadResult::AlreadyStaged;
            return;
        }
        const std::string text = GetXML(state, fId);
        if (LunghezzaTesto(text) == 0) {
            loader.lastResult = state.Stato == kaOK ? LoadResult::NoText : LoadResult::Failed;
            return;
        }
        const auto document = xml::Document::Load(text, loader.lastParse);
        if (!document) {
            // Text that does not parse (or is refused) changes nothing and is not logged.
            loader.lastResult = LoadResult::NotParsed;
            return;
        }
        RegisterDocumentNamespaces(*document);
        const xml::Node order = CercaNodoFiglio(state, document->Root(), "Order");
        if (order.IsNull()) {
            loader.lastElement = DocumentElementName(*document);
            LogXmlError(state, fId, std::string());
            loader.lastResult = state.Stato == kaOK ? LoadResult::NoOrder : LoadResult::Failed;
            return;
        }
        SetPathPieces(state, order);
        loader.lastResult = StageOrder(state, fId, order);
    });
}

std::string GetXML(NsoState& state, std::int32_t fId) {
    std::string result;
    GuardOptions options;
    options.restorePointer = true;
    Guard(
        state, "GetXML",
        [&] {
            auto rs = Conn(state).Query(
                "SELECT IE91_XML FROM IE91_NSOFILES WITH (NOLOCK) WHERE IE91_ID = " +
                std::to_string(fId));
            if (rs->RecordCount() == 1) {
                result = ValoreODefault(rs->Value("IE91_XML"), std::string()).Text();
            }
        },
        options);
    return result;
}

xml::Node CercaNodoFiglio(NsoState& state, const xml::Node& node, const std::string& name) {
    xml::Node result;
    // Each child's descendants are searched before the child: the deepest match of the first
    // branch that has one.
    Guard(state, "CercaNodoFiglio", [&] { result = node.FirstDescendantChildrenFirst(name); });
    return result;
}

void RaccogliNamespace(std::string& declarations, const xml::Node& node, std::int32_t& counter) {
    try {
        if (node.HasAttributeCollection()) {
            // Only attributes named like a declaration are looked at: read just those.
            for (const xml::Attribute& attribute : node.AttributesNamedLike("xmlns")) {
                if (Trim(attribute.value).empty()) {
                    continue;
                }
                std::string declared = attribute.name;
                if (declared.find(':') == std::string::npos) {
                    declared += ":locNS" + std::to_string(counter);
                    ++counter;
                }
                if (declarations.find(declared) == std::string::npos) {
                    declarations += " " + declared + "='" + attribute.value + "'";
                }
            }
        }
        for (xml::Node child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
            RaccogliNamespace(declarations, child, counter);
        }
    } catch (...) {
        // What was collected so far stays.
    }
}

std::string PrefissoNamespace(const xml::Node& node, const std::string& uriText) {
    try {
        for (const xml::Attribute& attribute : node.Attributes()) {
            if (attribute.name.find("xmlns") == std::string::npos ||
                Trim(attribute.value).empty() ||
                attribute.value.find(uriText) == std::string::npos) {
                continue;
            }
            const auto colon = attribute.name.find(':');
            if (colon == std::string::npos) {
                return {};
            }
            return attribute.name.substr(colon + 1) + ":";
        }
    } catch (...) {
    }
    return {};
}

} // namespace kvad::nso
