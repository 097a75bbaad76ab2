#pragma once
/// The ERP's master data that decoding reads (customers, public-administration offices,
/// destinations, items and their codes and descriptions, VAT codes, currencies, document
/// defaults), loaded from CSV files a clerk can write and listed back. This is ERP tooling that
/// the nso host offers; the component only reads these tables.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvad_nso/connection.h"

namespace kvad::host {

/// A CSV file that cannot be loaded: the file, the line and the column at fault.
class MasterDataError : public std::runtime_error {
  public:
    MasterDataError(const std::string& file, std::size_t line, const std::string& column,
                    const std::string& reason);
    [[nodiscard]] const std::string& File() const noexcept { return file_; }
    [[nodiscard]] std::size_t Line() const noexcept { return line_; }
    /// The column's name; "" when the fault is not in one column.
    [[nodiscard]] const std::string& Column() const noexcept { return column_; }

  private:
    std::string file_;
    std::size_t line_;
    std::string column_;
};

/// One column of a kind's CSV files.
struct MasterColumn {
    std::string name;
    bool key = false;      ///< identifies the row; required
    bool required = false; ///< must be in the header and filled
    std::string meaning;
};

/// A kind of master data and its CSV columns.
struct MasterKind {
    std::string name;
    std::string meaning;
    std::vector<MasterColumn> columns;
};

/// The kinds, in the order they can be loaded (later kinds refer to earlier ones).
[[nodiscard]] const std::vector<MasterKind>& MasterKinds();

/// Loads CSV text of one kind for a company in one transaction: a row whose key exists is
/// updated (only the columns the file has), any other row is added. A bad row (unknown column,
/// missing key, a value that is not of its column's form, a key given twice, a customer or item
/// that does not exist) refuses the whole file with MasterDataError; nothing is loaded then.
/// Returns the number of rows loaded.
std::size_t LoadMasterData(Connection& db, std::int32_t company, const std::string& kind,
                           std::string_view csv, const std::string& fileName);

/// LoadMasterData on a file's content. Throws MasterDataError when it cannot be read.
std::size_t LoadMasterDataFile(Connection& db, std::int32_t company, const std::string& kind,
                               const std::string& path);

/// The master data of a kind as a table with the kind's CSV columns; only the rows with a cell
/// that contains `search` (ignoring case) when it is not empty.
struct MasterListing {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};
[[nodiscard]] MasterListing ListMasterData(Connection& db, std::int32_t company,
                                           const std::string& kind, const std::string& search);

/// Loads the demo set built into the program (examples/master/<kind>.csv) kind by kind; returns
/// the file name and the rows loaded of each.
std::vector<std::pair<std::string, std::size_t>> LoadDemoMasterData(Connection& db,
                                                                    std::int32_t company);

} // namespace kvad::host
