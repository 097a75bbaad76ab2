#pragma once
// CSV text read into records with the line each one starts on, through libcsv.

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kvad::host {

/// One record: its fields (unquoted, blanks around unquoted fields removed) and the line of
/// the text it starts on (1 for the first line).
struct CsvRecord {
    std::size_t line = 0;
    std::vector<std::string> fields;
};

/// Text that is not well-formed CSV: the line where reading stopped and the position (from 1)
/// in its record of the field being read.
class CsvError : public std::runtime_error {
  public:
    CsvError(std::size_t line, std::size_t field, const std::string& message)
        : std::runtime_error(message), line_(line), field_(field) {}
    [[nodiscard]] std::size_t Line() const noexcept { return line_; }
    [[nodiscard]] std::size_t Field() const noexcept { return field_; }

  private:
    std::size_t line_;
    std::size_t field_;
};

/// Reads CSV text (UTF-8, an optional byte-order mark, CR LF or LF line ends) one record at a
/// time, so that a large file is never held twice. The separator is ';' when the first line
/// has a ';' and no ',', else ','. Blank lines are skipped.
class CsvReader {
  public:
    /// `text` must outlive the reader.
    explicit CsvReader(std::string_view text);
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;
    CsvReader(CsvReader&&) = delete;
    CsvReader& operator=(CsvReader&&) = delete;
    ~CsvReader();

    /// The next record into `record`; false at the end of the text. Throws CsvError for a
    /// quote out of place or a quoted field left open.
    bool Next(CsvRecord& record);

  private:
    struct Impl; ///< the parser and what its callbacks collect
    std::unique_ptr<Impl> impl_;
};

/// Every record of the text at once (CsvReader until the end).
[[nodiscard]] std::vector<CsvRecord> ReadCsv(std::string_view text);

} // namespace kvad::host
