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
    /// A fault in a row (`column` "" when it is not in one column), or in the whole file when
    /// `line` is 0.
    MasterDataError(const std::string& file, std::size_t line, const std::string& column,
                    const std::string& reason);
    /// A fault in the text itself (bytes that are not text), at `character` (from 1) of `line`.
    MasterDataError(const std::string& file, std::size_t line, std::size_t character,
                    const std::string& reason);
    [[nodiscard]] const std::string& File() const noexcept { return file_; }
    /// The line (from 1); 0 for a fault of the whole file.
    [[nodiscard]] std::size_t Line() const noexcept { return line_; }
    /// The column's name; "" when the fault is not in one column.
    [[nodiscard]] const std::string& Column() const noexcept { return column_; }
    /// The character of the line (from 1) where the text itself is at fault; 0 otherwise.
    [[nodiscard]] std::size_t Character() const noexcept { return character_; }

  private:
    std::string file_;
    std::size_t line_;
    std::string column_;
    std::size_t character_ = 0;
};

/// The largest CSV file of master data that is read: a larger one is refused before it is read.
/// Loading holds the file's text and the keys of its rows: about three times the file's size.
inline constexpr std::size_t kMaxMasterFileBytes = std::size_t{16} * 1024 * 1024;

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

/// Loads a CSV file's content of one kind for a company in one transaction: a row whose key
/// exists is updated (only the columns the file has), any other row is added. The bytes are
/// text in `encoding` when one is named (any encoding iconv knows), else in the UTF-16 or UTF-32
/// a byte-order mark gives, else UTF-8. Bytes that are not text in their encoding, a bad row
/// (unknown column, missing key, a value that is not of its column's form, a key given twice, a
/// customer or item that does not exist) refuse the whole file with MasterDataError; nothing is
/// loaded then. Returns the number of rows loaded.
std::size_t LoadMasterData(Connection& db, std::int32_t company, const std::string& kind,
                           std::string bytes, const std::string& fileName,
                           const std::string& encoding = {});

/// LoadMasterData on a file's content. Throws MasterDataError, before reading it, for a file
/// that cannot be read or is larger than kMaxMasterFileBytes.
std::size_t LoadMasterDataFile(Connection& db, std::int32_t company, const std::string& kind,
                               const std::string& path, const std::string& encoding = {});

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
