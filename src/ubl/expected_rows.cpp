#include "ubl/expected_rows.h"

#include <vector>

#include "frame/failure_path.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"
#include "ubl/staging_writer.h"
#include "ubl/xml_loader.h"
#include "xml/xml_document.h"

namespace kvad::nso {
namespace {

// The relative paths of a staging table's data columns, as the writer maps them.
std::vector<std::string> TableColumnPaths(NsoState& state, const std::string& table) {
    auto columns = GetElencoCampiTabella(state, table);
    if (!columns) {
        ThrowObjectNotSet();
    }
    std::vector<std::string> paths;
    const std::string prefix = Utf8Left(table, 5);
    for (columns->MoveFirst(); !columns->Eof(); columns->MoveNext()) {
        paths.push_back(
            ParseColumnName(state, ReplaceAll(columns->Value("COLUMN_NAME").Text(), prefix, "")));
    }
    return paths;
}

// A node leaves a row when one of the columns finds an element under it.
bool LeavesRow(const xml::Node& node, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (!node.SelectSingleNode(path).IsNull()) {
            return true;
        }
    }
    return false;
}

std::int32_t RowsOf(const std::vector<xml::Node>& nodes, const std::vector<std::string>& paths) {
    std::int32_t rows = 0;
    for (const xml::Node& node : nodes) {
        rows += LeavesRow(node, paths) ? 1 : 0;
    }
    return rows;
}

} // namespace

std::optional<StagingRows> ExpectedStagingRows(NsoState& state, const std::string& text) {
    std::string reason;
    const auto document = xml::Document::Load(text, reason);
    if (!document) {
        return std::nullopt;
    }
    RegisterDocumentNamespaces(*document);
    const xml::Node order = CercaNodoFiglio(state, document->Root(), "Order");
    if (order.IsNull()) {
        return std::nullopt;
    }
    SetPathPieces(state, order);
    const LoaderState& loader = Loader(state);
    const std::string charges = loader.ApriCAC + "AllowanceCharge" + loader.ChiudiCAC;

    StagingRows rows;
    rows.headers = LeavesRow(order, TableColumnPaths(state, "IE92_NSOTESTATAXML")) ? 1 : 0;
    rows.headerCharges =
        RowsOf(order.SelectNodes(charges), TableColumnPaths(state, "IE96_NSOTESTATASCONTIXML"));
    const auto linePaths = TableColumnPaths(state, "IE94_NSOCORPOXML");
    const auto lineChargePaths = TableColumnPaths(state, "IE9A_NSOCORPOSCONTIXML");
    for (const xml::Node& line :
         order.SelectNodes(loader.ApriCAC + "OrderLine" + loader.ChiudiCAC)) {
        if (!LeavesRow(line, linePaths)) {
            continue;
        }
        ++rows.lines;
        const xml::Node item = CercaNodoFiglio(state, line, "LineItem");
        if (!item.IsNull()) {
            rows.lineCharges += RowsOf(item.SelectNodes(charges), lineChargePaths);
        }
    }
    return rows;
}

StagingRows StagedRows(NsoState& state, std::int32_t fId) {
    const std::string id = std::to_string(fId);
    auto rs = Conn(state).Query(
        "SELECT (SELECT COUNT(*) FROM IE92_NSOTESTATAXML WHERE IE92_ID_IE91 = " + id +
        ") AS HEADERS, (SELECT COUNT(*) FROM IE96_NSOTESTATASCONTIXML WHERE IE96_ID_IE91 = " + id +
        ") AS HEADER_CHARGES, (SELECT COUNT(*) FROM IE94_NSOCORPOXML WHERE IE94_ID_IE91 = " + id +
        ") AS LINES, (SELECT COUNT(*) FROM IE9A_NSOCORPOSCONTIXML WHERE IE9A_ID_IE91 = " + id +
        ") AS LINE_CHARGES");
    return {rs->Value("HEADERS").ToLong(), rs->Value("HEADER_CHARGES").ToLong(),
            rs->Value("LINES").ToLong(), rs->Value("LINE_CHARGES").ToLong()};
}

} // namespace kvad::nso
