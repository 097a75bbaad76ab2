#include "csv_reader.h"

#include <csv.h>

#include <algorithm>
#include <deque>
#include <new>

namespace kvad::host {
namespace {

char Separator(std::string_view text) {
    const std::string_view first = text.substr(0, text.find('\n'));
    const bool semicolon = first.find(';') != std::string_view::npos;
    const bool comma = first.find(',') != std::string_view::npos;
    return semicolon && !comma ? ';' : ',';
}

} // namespace

struct CsvReader::Impl {
    // The records the parser's callbacks collect. Nested rather than in the file's anonymous
    // namespace: a member's type must not have less linkage than the class.
    struct Collector {
        std::deque<CsvRecord> done;
        CsvRecord current;
        std::size_t recordStart = 0;
    };

    static void OnField(void* data, std::size_t length, void* context) {
        auto& c = *static_cast<Collector*>(context);
        if (c.current.fields.empty()) {
            c.current.line = c.recordStart;
        }
        c.current.fields.emplace_back(static_cast<const char*>(data), length);
    }

    static void OnRecordEnd(int /*terminator*/, void* context) {
        auto& c = *static_cast<Collector*>(context);
        c.done.push_back(std::move(c.current));
        c.current = CsvRecord{};
    }

    explicit Impl(std::string_view input) : text(input) {
        if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_APPEND_NULL) != 0) {
            throw std::bad_alloc();
        }
        csv_set_delim(&parser, static_cast<unsigned char>(Separator(text)));
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;
    ~Impl() { csv_free(&parser); }

    [[noreturn]] void Fail(std::size_t where, const std::string& message) const {
        throw CsvError(where, collector.current.fields.size() + 1, message);
    }

    // Fed one line at a time so that each record knows the line it starts on: a line begins a
    // record unless it continues a quoted field (an odd number of quotes so far).
    bool FeedLine() {
        if (offset >= text.size()) {
            return false;
        }
        const std::size_t end = text.find('\n', offset);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view chunk = text.substr(offset, next - offset);
        offset = next;
        ++line;
        if (!insideQuotes) {
            collector.recordStart = line;
        }
        if (std::count(chunk.begin(), chunk.end(), '"') % 2 != 0) {
            insideQuotes = !insideQuotes;
        }
        if (csv_parse(&parser, chunk.data(), chunk.size(), OnField, OnRecordEnd, &collector) !=
            chunk.size()) {
            Fail(line, csv_error(&parser) == CSV_EPARSE
                           ? "a quote out of place (a field with quotes must be wholly between "
                             "quotes, with inner quotes doubled)"
                           : "the CSV reader ran out of memory");
        }
        return true;
    }

    void Finish() {
        finished = true;
        if (csv_fini(&parser, OnField, OnRecordEnd, &collector) != 0) {
            Fail(collector.recordStart, "a quoted field is not closed");
        }
    }

    std::string_view text;
    std::size_t offset = 0;
    std::size_t line = 0;
    bool insideQuotes = false;
    bool finished = false;
    csv_parser parser{};
    Collector collector;
};

CsvReader::CsvReader(std::string_view text) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (text.starts_with(kBom)) {
        text.remove_prefix(kBom.size());
    }
    impl_ = std::make_unique<Impl>(text);
}

CsvReader::~CsvReader() = default;

bool CsvReader::Next(CsvRecord& record) {
    Impl& impl = *impl_;
    while (impl.collector.done.empty() && !impl.finished) {
        if (!impl.FeedLine()) {
            impl.Finish();
        }
    }
    if (impl.collector.done.empty()) {
        return false;
    }
    record = std::move(impl.collector.done.front());
    impl.collector.done.pop_front();
    return true;
}

std::vector<CsvRecord> ReadCsv(std::string_view text) {
    std::vector<CsvRecord> records;
    CsvReader reader(text);
    for (CsvRecord record; reader.Next(record);) {
        records.push_back(std::move(record));
    }
    return records;
}

} // namespace kvad::host
