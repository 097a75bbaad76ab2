#pragma once
// CSV text read into records with the line each one starts on, through libcsv.

#include <cstddef>
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

/// Text that is not well-formed CSV, with the line where reading stopped.
class CsvError : public std::runtime_error {
  public:
    CsvError(std::size_t line, const std::string& message)
        : std::runtime_error(message), line_(line) {}
    [[nodiscard]] std::size_t Line() const noexcept { return line_; }

  private:
    std::size_t line_;
};

/// Reads CSV text (UTF-8, an optional byte-order mark, CR LF or LF line ends). The separator is
/// ';' when the first line has a ';' and no ',', else ','. Blank lines are skipped. Throws
/// CsvError for a quote out of place or a quoted field left open.
[[nodiscard]] std::vector<CsvRecord> ReadCsv(std::string_view text);

} // namespace kvad::host
