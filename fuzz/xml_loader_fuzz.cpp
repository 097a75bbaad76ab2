// Fuzzes the XML layer with the reads the order loader makes: any bytes are parsed by the
// hardened DOM, walked, and then loaded as a registered document by GetOrderFromXML into the
// staging tables of an in-memory database (namespace prefixes, the search for the Order element,
// the XPath of every staging column, the conversions of the values found).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "frame/nso_state.h"
#include "frame/trace.h"
#include "host/stand_ins.h"
#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"
#include "ubl/xml_loader.h"
#include "xml/xml_document.h"

namespace {

using kvad::xml::Node;

/// An instance wired the way the nso host wires one, on a private in-memory database with the
/// schema and one registered document whose XML each input replaces.
struct Loader {
    std::shared_ptr<kvad::Connection> connection;
    std::unique_ptr<kvad::nso::NsoState> state;
    std::int32_t documentId = 0;

    Loader() {
        kvad::nso::SetTraceSink([](const std::string&) {});
        kvad::host::HostConfig config;
        config.cacheDir = (std::filesystem::temp_directory_path() / "kvad-fuzz-cache").string();
        auto host = kvad::host::RegisterStandIns(config);
        connection = kvad::db::OpenSqlite(":memory:");
        kvad::db::ApplySchema(*connection);
        state = std::make_unique<kvad::nso::NsoState>();
        kvad::nso::CreateFrameworkObjects(*state);
        state->Connessione = connection;
        state->CodiceDitta = std::int32_t{1};
        state->ActiveInterface = host;
        connection->Execute("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_IDORD, "
                            "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE) "
                            "VALUES (1, 0, 'F1', '2024-03-05 00:00:00', 'UFABCD', 0)");
        documentId = connection->Query("SELECT MAX(IE91_ID) FROM IE91_NSOFILES")->Value(0).ToLong();
    }

    /// Stores the text as the document's XML (a bound value: any bytes) and loads it again.
    void Load(const std::string& text) {
        auto row = connection->OpenRecordset("SELECT IE91_ID, IE91_XML FROM IE91_NSOFILES "
                                             "WHERE IE91_ID = " +
                                             std::to_string(documentId));
        row->SetValue("IE91_XML", text);
        row->Update();
        kvad::nso::GetOrderFromXML(*state, documentId, true);
        // The error log would otherwise grow with every input.
        connection->Execute("DELETE FROM IE98_NSO_LOGERRORS");
    }
};

/// Reads every node the way the loader and the platform adapters do; text only of the leaves,
/// so that a deep document does not cost the square of its size.
void Walk(const Node& node) {
    (void)node.Name();
    (void)node.LocalName();
    if (node.HasAttributeCollection()) {
        (void)node.Attributes();
    }
    bool leaf = true;
    for (const Node& child : node.ChildNodes()) {
        leaf = leaf && !child.IsElement();
        Walk(child);
    }
    if (leaf) {
        (void)kvad::xml::TrimXmlSpace(node.Text());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Loader loader;
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::string error;
    if (const auto document = kvad::xml::Document::Load(text, error)) {
        Walk(document->Root());
        document->SetSelectionNamespaces(" xmlns:cac='urn:oasis:names:specification:ubl:schema:"
                                         "xsd:CommonAggregateComponents-2'");
        (void)document->Root().SelectNodes(".//cac:OrderLine");
        (void)document->Root().SelectSingleNode(".//*[local-name()='ID']");
    }
    loader.Load(text);
    return 0;
}
