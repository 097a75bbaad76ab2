#include "csv_reader.h"

#include <csv.h>

#include <algorithm>
#include <memory>

namespace kvad::host {
namespace {

struct Collector {
    std::vector<CsvRecord> records;
    CsvRecord current;
    std::size_t recordStart = 0;
};

void OnField(void* data, std::size_t length, void* context) {
    auto& c = *static_cast<Collector*>(context);
    if (c.current.fields.empty()) {
        c.current.line = c.recordStart;
    }
    c.current.fields.emplace_back(static_cast<const char*>(data), length);
}

void OnRecordEnd(int /*terminator*/, void* context) {
    auto& c = *static_cast<Collector*>(context);
    c.records.push_back(std::move(c.current));
    c.current = CsvRecord{};
}

struct ParserDeleter {
    void operator()(csv_parser* p) const noexcept {
        csv_free(p);
        delete p; // NOLINT(cppcoreguidelines-owning-memory): paired with the new in ReadCsv
    }
};

char Separator(std::string_view text) {
    const std::string_view first = text.substr(0, text.find('\n'));
    const bool semicolon = first.find(';') != std::string_view::npos;
    const bool comma = first.find(',') != std::string_view::npos;
    return semicolon && !comma ? ';' : ',';
}

} // namespace

std::vector<CsvRecord> ReadCsv(std::string_view text) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (text.starts_with(kBom)) {
        text.remove_prefix(kBom.size());
    }
    std::unique_ptr<csv_parser, ParserDeleter> parser(new csv_parser{});
    if (csv_init(parser.get(), CSV_STRICT | CSV_STRICT_FINI | CSV_APPEND_NULL) != 0) {
        throw std::bad_alloc();
    }
    csv_set_delim(parser.get(), static_cast<unsigned char>(Separator(text)));

    Collector collector;
    // Fed one line at a time so that each record knows the line it starts on: a line begins a
    // record unless it continues a quoted field (an odd number of quotes so far).
    bool insideQuotes = false;
    std::size_t line = 0;
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t end = text.find('\n', offset);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view chunk = text.substr(offset, next - offset);
        ++line;
        if (!insideQuotes) {
            collector.recordStart = line;
        }
        if (std::count(chunk.begin(), chunk.end(), '"') % 2 != 0) {
            insideQuotes = !insideQuotes;
        }
        if (csv_parse(parser.get(), chunk.data(), chunk.size(), OnField, OnRecordEnd, &collector) !=
            chunk.size()) {
            throw CsvError(line, csv_error(parser.get()) == CSV_EPARSE
                                     ? "a quote out of place (a field with quotes must be "
                                       "wholly between quotes, with inner quotes doubled)"
                                     : csv_strerror(csv_error(parser.get())));
        }
        offset = next;
    }
    if (csv_fini(parser.get(), OnField, OnRecordEnd, &collector) != 0) {
        throw CsvError(collector.recordStart, "a quoted field is not closed");
    }
    return std::move(collector.records);
}

} // namespace kvad::host
