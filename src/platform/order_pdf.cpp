#include "order_pdf.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "italian_format.h"
#include "kvad_nso/errors.h"
#include "order_totals.h"
#include "pdf_canvas.h"

namespace kvad::platform {
namespace {

// A4 portrait, in points.
constexpr double kPageWidth = 595.28;
constexpr double kPageHeight = 841.89;
constexpr double kLeft = 36;
constexpr double kRight = kPageWidth - 36;
constexpr double kWidth = kRight - kLeft;
constexpr double kTop = 36;
constexpr double kBottom = kPageHeight - 54; ///< content ends here; the footer sits below
constexpr double kFooterLine = kPageHeight - 44;

constexpr double kGap = 12;    ///< between side-by-side boxes and between sections
constexpr double kPad = 6;     ///< inside boxes
constexpr double kCellPad = 3; ///< inside table cells

// Text looks.
constexpr TextStyle kTitle{13, true, false, 0};
constexpr TextStyle kBody{8, false, false, 0};
constexpr TextStyle kBodyBold{8, true, false, 0};
constexpr TextStyle kName{9, true, false, 0};
constexpr TextStyle kLabel{6.5, true, false, 0.4};
constexpr TextStyle kCell{7.5, false, false, 0};
constexpr TextStyle kCellBold{7.5, true, false, 0};
constexpr TextStyle kHead{7, true, false, 0};
constexpr TextStyle kSecondary{7, false, false, 0.25};
constexpr TextStyle kDetail{6.5, false, false, 0.4};
constexpr TextStyle kNote{7, false, true, 0.3};
constexpr TextStyle kFooter{7, false, false, 0.4};

constexpr double kMaxBoxHeight = 220;  ///< a party box, a header field
constexpr double kMaxCellHeight = 500; ///< a table cell
constexpr double kMaxNoteHeight = 600; ///< one note paragraph

std::string Title(OrderKind kind) {
    switch (kind) {
    case OrderKind::Order:
        return "ORDINE D'ACQUISTO";
    case OrderKind::Revision:
        return "REVISIONE DELL'ORDINE";
    case OrderKind::Cancellation:
        return "ANNULLAMENTO DELL'ORDINE";
    }
    return "ORDINE D'ACQUISTO";
}

/// Common UN/ECE unit codes as an Italian clerk writes them; other codes as they are.
std::string UnitName(const std::string& code) {
    static const std::pair<const char*, const char*> kUnits[] = {
        {"C62", "pz"},     {"H87", "pz"},   {"EA", "pz"},    {"NAR", "n."},   {"KGM", "kg"},
        {"GRM", "g"},      {"TNE", "t"},    {"LTR", "l"},    {"MLT", "ml"},   {"MTR", "m"},
        {"CMT", "cm"},     {"MTK", "m²"},   {"MTQ", "m³"},   {"HUR", "ore"},  {"DAY", "giorni"},
        {"MON", "mesi"},   {"ANN", "anni"}, {"PK", "conf."}, {"PA", "conf."}, {"BX", "scatole"},
        {"CT", "cartoni"}, {"PR", "paia"},  {"SET", "set"},  {"KMT", "km"},   {"KWH", "kWh"},
    };
    for (const auto& [unit, name] : kUnits) {
        if (code == unit) {
            return name;
        }
    }
    return code;
}

std::string SignedAmount(const Decimal& value) {
    return (value.Sign() > 0 ? "+" : "") + FormatAmount(value);
}

/// An allowance or charge in words: "Sconto 5% su 420,00 (Sconto quantità): -21,00".
std::string AllowanceText(const AllowanceCharge& allowance) {
    std::string text = allowance.charge ? "Maggiorazione" : "Sconto";
    if (allowance.percent) {
        text += " " + FormatQuantity(*allowance.percent) + "%";
    }
    if (allowance.base) {
        text += " su " + FormatAmount(*allowance.base);
    }
    if (!allowance.reason.empty()) {
        text += " (" + allowance.reason + ")";
    }
    return text + ": " + SignedAmount(allowance.Signed());
}

/// One line of text per entry, in one look.
RichText Lines(const std::vector<std::string>& lines, const TextStyle& style) {
    RichText text;
    for (const auto& line : lines) {
        text.push_back(Span{(text.empty() ? "" : "\n") + line, style});
    }
    return text;
}

struct Column {
    std::string title;
    Align align = Align::Left;
    double width = 0;
};

struct Table {
    std::vector<Column> columns;
    std::vector<std::vector<RichText>> rows;
};

/// A label and an amount of the totals box.
struct TotalRow {
    std::string label;
    Decimal amount;
    bool strong = false;
};

class OrderPrinter {
  public:
    OrderPrinter(PdfCanvas& canvas, const OrderDocument& order, const OrderTotals& totals,
                 int pages)
        : canvas_(canvas), order_(order), totals_(totals), pages_(pages) {}

    /// Draws the whole order; returns the number of pages.
    int Print() {
        StartPage();
        Heading();
        PartyBoxes();
        HeaderFields();
        Notes();
        LineTable();
        HeaderAllowances();
        Summary();
        FinishPage();
        return page_;
    }

  private:
    void StartPage() {
        ++page_;
        y_ = kTop;
        if (page_ > 1) {
            const std::string text = Title(order_.kind) + " n. " + order_.number + " del " +
                                     FormatDate(order_.issueDate) + " (segue)";
            y_ += canvas_.Draw(kLeft, y_, Plain(text, kBodyBold), TextBox{kWidth});
            y_ += 4;
            canvas_.Line(kLeft, y_, kRight, y_, 0.5, 0.6);
            y_ += 8;
        }
        pageTop_ = y_;
    }

    void FinishPage() {
        canvas_.Line(kLeft, kFooterLine, kRight, kFooterLine, 0.5, 0.6);
        std::string left =
            KindName(order_.kind) + " n. " + order_.number + " del " + FormatDate(order_.issueDate);
        if (!order_.buyer.name.empty()) {
            left += " - " + order_.buyer.name;
        }
        const double oneLine = canvas_.Height(Plain("Ag", kFooter), TextBox{});
        canvas_.Draw(kLeft, kFooterLine + 4, Plain(left, kFooter),
                     TextBox{kWidth - 110, Align::Left, oneLine});
        std::string number = "Pagina " + std::to_string(page_);
        if (pages_ > 0) {
            number += " di " + std::to_string(pages_);
        }
        canvas_.Draw(kRight - 100, kFooterLine + 4, Plain(number, kFooter),
                     TextBox{100, Align::Right});
        canvas_.EndPage();
    }

    /// Goes on on a new page when `height` does not fit below y_ (a block taller than a
    /// whole page starts at the top of one and is cut by its own height limit).
    void Ensure(double height) {
        if (y_ + height > kBottom && y_ > pageTop_) {
            FinishPage();
            StartPage();
            if (repeatHeader_) {
                repeatHeader_();
            }
        }
    }

    void Heading() {
        const double boxWidth = 185;
        RichText left = Plain(Title(order_.kind), kTitle);
        if (!order_.reference.empty()) {
            left.push_back(Span{"\n" + order_.reference, kBodyBold});
        }
        const double leftHeight =
            canvas_.Draw(kLeft, y_, left, TextBox{kWidth - boxWidth - kGap, Align::Left, 120});

        std::vector<std::pair<std::string, std::string>> facts{
            {"Numero", order_.number}, {"Data", FormatDate(order_.issueDate)}};
        if (!order_.currency.empty()) {
            facts.emplace_back("Valuta", order_.currency);
        }
        const double x = kRight - boxWidth;
        double boxY = y_ + kPad;
        for (const auto& [label, value] : facts) {
            const double labelHeight =
                canvas_.Draw(x + kPad, boxY + 1.5, Plain(label, kLabel), TextBox{50});
            const double valueHeight =
                canvas_.Draw(x + kPad + 50, boxY, Plain(value, kName),
                             TextBox{boxWidth - 2 * kPad - 50, Align::Left, 60});
            boxY += std::max(labelHeight, valueHeight) + 2;
        }
        const double boxHeight = boxY - y_ + kPad - 2;
        canvas_.StrokeRect(x, y_, boxWidth, boxHeight, 0.8, 0.2);
        y_ += std::max(leftHeight, boxHeight) + kGap;
    }

    static RichText PartyText(const std::string& label, const Party& party,
                              const std::string& extra) {
        RichText text = Plain(label, kLabel);
        if (!party.name.empty()) {
            text.push_back(Span{"\n" + party.name, kName});
        }
        for (const auto& identifier : party.identifiers) {
            text.push_back(Span{"\n" + identifier, kBody});
        }
        for (const auto& line : party.address) {
            text.push_back(Span{"\n" + line, kBody});
        }
        if (!party.contact.empty()) {
            text.push_back(Span{"\n" + party.contact, kSecondary});
        }
        if (!extra.empty()) {
            text.push_back(Span{"\n" + extra, kBodyBold});
        }
        return text;
    }

    /// Boxes side by side, as tall as the tallest.
    void BoxRow(const std::vector<RichText>& boxes) {
        if (boxes.empty()) {
            return;
        }
        const double width = (kWidth - kGap) / 2;
        const TextBox inner{width - 2 * kPad, Align::Left, kMaxBoxHeight};
        double height = 0;
        for (const auto& box : boxes) {
            height = std::max(height, canvas_.Height(box, inner) + 2 * kPad);
        }
        Ensure(height);
        double x = kLeft;
        for (const auto& box : boxes) {
            canvas_.StrokeRect(x, y_, width, height, 0.5, 0.55);
            canvas_.Draw(x + kPad, y_ + kPad, box, inner);
            x += width + kGap;
        }
        y_ += height + kGap / 2;
    }

    void PartyBoxes() {
        BoxRow(
            {PartyText("ACQUIRENTE", order_.buyer, ""), PartyText("FORNITORE", order_.seller, "")});
        std::vector<RichText> second;
        if (!order_.delivery.Empty() || !order_.deliveryPeriod.empty()) {
            second.push_back(PartyText("LUOGO DI CONSEGNA", order_.delivery,
                                       order_.deliveryPeriod.empty()
                                           ? ""
                                           : "Consegna richiesta " + order_.deliveryPeriod));
        }
        if (!order_.invoicee.Empty()) {
            second.push_back(PartyText("INTESTATARIO FATTURA", order_.invoicee, ""));
        }
        BoxRow(second);
        y_ += kGap / 2;
    }

    void HeaderFields() {
        const double width = (kWidth - kGap) / 2;
        const TextBox box{width, Align::Left, kMaxBoxHeight};
        const auto text = [](const Field& field) {
            RichText result = Plain(field.label + ": ", kBodyBold);
            result.push_back(Span{field.value, kBody});
            return result;
        };
        for (std::size_t i = 0; i < order_.fields.size(); i += 2) {
            const RichText left = text(order_.fields[i]);
            const std::optional<RichText> right = i + 1 < order_.fields.size()
                                                      ? std::optional(text(order_.fields[i + 1]))
                                                      : std::nullopt;
            double height = canvas_.Height(left, box);
            if (right) {
                height = std::max(height, canvas_.Height(*right, box));
            }
            Ensure(height);
            canvas_.Draw(kLeft, y_, left, box);
            if (right) {
                canvas_.Draw(kLeft + width + kGap, y_, *right, box);
            }
            y_ += height + 3;
        }
        if (!order_.fields.empty()) {
            y_ += kGap - 3;
        }
    }

    void SectionLabel(const std::string& label, const std::string& right = {}) {
        const double height = canvas_.Height(Plain(label, kLabel), TextBox{kWidth});
        Ensure(height + 40); // never alone at the foot of a page
        canvas_.Draw(kLeft, y_, Plain(label, kLabel), TextBox{kWidth});
        if (!right.empty()) {
            canvas_.Draw(kLeft, y_, Plain(right, kDetail), TextBox{kWidth, Align::Right});
        }
        y_ += height + 3;
    }

    void Notes() {
        if (order_.notes.empty()) {
            return;
        }
        SectionLabel("NOTE");
        const TextBox box{kWidth, Align::Left, kMaxNoteHeight};
        for (const auto& note : order_.notes) {
            const RichText text = Plain(note, kBody);
            Ensure(canvas_.Height(text, box));
            y_ += canvas_.Draw(kLeft, y_, text, box) + 3;
        }
        y_ += kGap - 3;
    }

    // Tables.

    [[nodiscard]] double HeaderHeight(const Table& table) {
        double height = 0;
        for (const auto& column : table.columns) {
            height = std::max(height,
                              canvas_.Height(Plain(column.title, kHead),
                                             TextBox{column.width - 2 * kCellPad, column.align}));
        }
        return height + 2 * kCellPad;
    }

    void DrawHeader(const Table& table, double x) {
        const double height = HeaderHeight(table);
        double width = 0;
        for (const auto& column : table.columns) {
            width += column.width;
        }
        canvas_.FillRect(x, y_, width, height, 0.86);
        for (const auto& column : table.columns) {
            canvas_.Draw(x + kCellPad, y_ + kCellPad, Plain(column.title, kHead),
                         TextBox{column.width - 2 * kCellPad, column.align});
            x += column.width;
        }
        y_ += height;
    }

    /// Draws the table from y_, going on on new pages with the header repeated.
    void DrawTable(const Table& table, double x) {
        double width = 0;
        for (const auto& column : table.columns) {
            width += column.width;
        }
        repeatHeader_ = [this, &table, x] { DrawHeader(table, x); };
        bool first = true;
        std::size_t index = 0;
        for (const auto& row : table.rows) {
            double height = 0;
            for (std::size_t c = 0; c < row.size(); ++c) {
                const Column& column = table.columns[c];
                height =
                    std::max(height, canvas_.Height(row[c], TextBox{column.width - 2 * kCellPad,
                                                                    column.align, kMaxCellHeight}));
            }
            height += 2 * kCellPad;
            if (first) {
                // The header never stays alone at the foot of a page.
                repeatHeader_ = nullptr;
                Ensure(HeaderHeight(table) + height);
                repeatHeader_ = [this, &table, x] { DrawHeader(table, x); };
                DrawHeader(table, x);
                first = false;
            } else {
                Ensure(height);
            }
            if (index++ % 2 == 1) {
                canvas_.FillRect(x, y_, width, height, 0.955);
            }
            double cellX = x;
            for (std::size_t c = 0; c < row.size(); ++c) {
                const Column& column = table.columns[c];
                canvas_.Draw(cellX + kCellPad, y_ + kCellPad, row[c],
                             TextBox{column.width - 2 * kCellPad, column.align, kMaxCellHeight});
                cellX += column.width;
            }
            y_ += height;
            canvas_.Line(x, y_, x + width, y_, 0.4, 0.75);
        }
        repeatHeader_ = nullptr;
    }

    /// Sets the width of every column but `flexible` to its widest text (capped), and gives
    /// `flexible` the rest of `total`.
    void FitColumns(Table& table, std::size_t flexible, double total,
                    const std::vector<double>& caps) {
        double used = 0;
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            if (c == flexible) {
                continue;
            }
            double widest = 0;
            for (const auto& line : SplitLines(table.columns[c].title)) {
                widest = std::max(widest, canvas_.Width(line, kHead));
            }
            for (const auto& row : table.rows) {
                for (const auto& span : row[c]) {
                    for (const auto& line : SplitLines(span.text)) {
                        widest = std::max(widest, canvas_.Width(line, span.style));
                    }
                }
            }
            double width = widest + 2 * kCellPad + 1;
            if (c < caps.size() && caps[c] > 0) {
                width = std::min(width, caps[c]);
            }
            table.columns[c].width = width;
            used += width;
        }
        table.columns[flexible].width = std::max(total - used, 60.0);
    }

    static std::vector<std::string> SplitLines(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (true) {
            const std::size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end - start));
            if (end == std::string::npos) {
                return lines;
            }
            start = end + 1;
        }
    }

    /// The columns of the table of lines: the item codes and the allowances only when a line
    /// has some; `caps` gets each column's widest width, 0 for the one that takes the rest.
    static Table LineColumns(bool codes, bool allowances, std::vector<double>& caps) {
        Table table;
        const auto add = [&](std::string title, Align align, double cap) {
            table.columns.push_back(Column{std::move(title), align, 0});
            caps.push_back(cap);
        };
        add("N.", Align::Left, 42);
        if (codes) {
            add("Articolo", Align::Left, 120);
        }
        add("Descrizione", Align::Left, 0);
        add("Q.tà", Align::Right, 70);
        add("U.M.", Align::Left, 48);
        add("Prezzo", Align::Right, 80);
        if (allowances) {
            add("Sconti\nmagg.", Align::Right, 80);
        }
        add("IVA", Align::Right, 52);
        add("Importo", Align::Right, 90);
        return table;
    }

    /// The description cell: the name, what the description adds, the details and each
    /// allowance or charge of the line.
    static RichText LineDescription(const OrderLine& line) {
        RichText description = Plain(line.name, kCell);
        if (!line.description.empty()) {
            description.push_back(Span{"\n" + line.description, kSecondary});
        }
        for (const auto& detail : line.details) {
            description.push_back(Span{"\n" + detail, kDetail});
        }
        for (const auto& allowance : line.allowances) {
            description.push_back(Span{"\n" + AllowanceText(allowance), kDetail});
        }
        return description;
    }

    static std::vector<RichText> LineRow(const OrderLine& line, bool codes, bool allowances) {
        std::vector<RichText> row;
        row.push_back(Plain(line.id, kCell));
        if (codes) {
            row.push_back(Lines(line.codes, kDetail));
        }
        row.push_back(LineDescription(line));
        row.push_back(Plain(line.quantity ? FormatQuantity(*line.quantity) : "", kCell));
        row.push_back(Plain(UnitName(line.unit), kCell));
        row.push_back(Plain(line.price ? FormatPrice(*line.price) : "", kCell));
        if (allowances) {
            Decimal net;
            for (const auto& allowance : line.allowances) {
                net = net + allowance.Signed();
            }
            row.push_back(Plain(line.allowances.empty() ? "" : SignedAmount(net), kCell));
        }
        row.push_back(Plain(RateText(line.rate), kCell));
        row.push_back(Plain(FormatAmount(line.amount), kCellBold));
        return row;
    }

    void LineTable() {
        const bool codes = std::any_of(order_.lines.begin(), order_.lines.end(),
                                       [](const OrderLine& l) { return !l.codes.empty(); });
        const bool allowances =
            std::any_of(order_.lines.begin(), order_.lines.end(),
                        [](const OrderLine& l) { return !l.allowances.empty(); });
        std::vector<double> caps;
        Table table = LineColumns(codes, allowances, caps);
        const std::size_t flexible = codes ? 2 : 1; // the description
        for (const auto& line : order_.lines) {
            table.rows.push_back(LineRow(line, codes, allowances));
        }
        FitColumns(table, flexible, kWidth, caps);

        SectionLabel("RIGHE DELL'ORDINE (" + std::to_string(order_.lines.size()) + ")",
                     order_.currency.empty() ? "" : "Importi in " + order_.currency);
        if (table.rows.empty()) {
            Ensure(20);
            y_ += canvas_.Draw(kLeft, y_, Plain("L'ordine non ha righe.", kNote), TextBox{kWidth});
        } else {
            DrawTable(table, kLeft);
        }
        y_ += kGap;
    }

    void HeaderAllowances() {
        if (order_.allowances.empty()) {
            return;
        }
        Table table;
        table.columns = {{"Tipo", Align::Left, 0}, {"Motivo", Align::Left, 0},
                         {"%", Align::Right, 0},   {"Base", Align::Right, 0},
                         {"IVA", Align::Right, 0}, {"Importo", Align::Right, 0}};
        for (const auto& allowance : order_.allowances) {
            table.rows.push_back({
                Plain(allowance.charge ? "Maggiorazione" : "Sconto", kCell),
                Plain(allowance.reason, kCell),
                Plain(allowance.percent ? FormatQuantity(*allowance.percent) + "%" : "", kCell),
                Plain(allowance.base ? FormatAmount(*allowance.base) : "", kCell),
                Plain(RateText(RateOf(order_, allowance)), kCell),
                Plain(SignedAmount(allowance.Signed()), kCellBold),
            });
        }
        FitColumns(table, 1, kWidth, {});
        SectionLabel("SCONTI E MAGGIORAZIONI SULL'ORDINE");
        DrawTable(table, kLeft);
        y_ += kGap;
    }

    [[nodiscard]] std::vector<TotalRow> TotalRows() const {
        const DeclaredTotals& declared = order_.declared;
        std::vector<TotalRow> rows;
        rows.push_back({"Totale righe", declared.lines.value_or(totals_.lines)});
        const Decimal allowances = declared.allowances.value_or(totals_.allowances);
        if (!allowances.IsZero()) {
            rows.push_back({"Sconti sull'ordine", allowances.Negated()});
        }
        const Decimal charges = declared.charges.value_or(totals_.charges);
        if (!charges.IsZero()) {
            rows.push_back({"Maggiorazioni sull'ordine", charges});
        }
        rows.push_back({"Imponibile", declared.taxExclusive.value_or(totals_.taxable)});
        rows.push_back({"IVA", declared.tax.value_or(totals_.tax)});
        const Decimal inclusive = declared.taxInclusive.value_or(totals_.total);
        const bool settled = declared.prepaid || declared.rounding;
        rows.push_back({"Totale ordine", inclusive, !settled});
        if (declared.prepaid) {
            rows.push_back({"Importo già pagato", declared.prepaid->Negated()});
        }
        if (declared.rounding) {
            rows.push_back({"Arrotondamento", *declared.rounding});
        }
        if (settled) {
            Decimal payable = inclusive - declared.prepaid.value_or(Decimal()) +
                              declared.rounding.value_or(Decimal());
            rows.push_back({"Totale da pagare", declared.payable.value_or(payable), true});
        }
        return rows;
    }

    /// The VAT summary on the left, the totals box on the right, kept on one page.
    void Summary() {
        Table rates;
        rates.columns = {{"Aliquota IVA", Align::Left, 0},
                         {"Imponibile", Align::Right, 0},
                         {"Imposta", Align::Right, 0}};
        for (const auto& rate : totals_.rates) {
            rates.rows.push_back({Plain(RateText(rate.rate), kCell),
                                  Plain(FormatAmount(rate.taxable), kCell),
                                  Plain(FormatAmount(rate.tax), kCell)});
        }
        const double ratesWidth = 250;
        FitColumns(rates, 0, ratesWidth, {});

        const double boxWidth = 230;
        const double boxX = kRight - boxWidth;
        const std::vector<TotalRow> rows = TotalRows();
        const auto rowStyle = [](const TotalRow& row) {
            return row.strong ? TextStyle{10, true, false, 0} : kBody;
        };
        // Amounts take the width they need on the right; labels wrap in what is left.
        double amountWidth = 0;
        for (const auto& row : rows) {
            amountWidth =
                std::max(amountWidth, canvas_.Width(FormatAmount(row.amount), rowStyle(row)));
        }
        const TextBox labelBox{boxWidth - 2 * kPad - amountWidth - kGap, Align::Left, 60};
        const auto rowHeight = [&](const TotalRow& row) {
            return std::max(
                canvas_.Height(Plain(row.label, rowStyle(row)), labelBox),
                canvas_.Height(Plain(FormatAmount(row.amount), rowStyle(row)), TextBox{}));
        };
        double boxHeight = 2 * kPad;
        for (const auto& row : rows) {
            boxHeight += rowHeight(row) + 3;
        }
        std::string warning;
        const auto& declared = order_.declared;
        if (declared.taxInclusive && *declared.taxInclusive != totals_.total) {
            warning = "Il totale calcolato da righe, sconti, maggiorazioni e IVA è " +
                      FormatAmount(totals_.total) + ", diverso da quello dichiarato nell'ordine.";
        }
        const TextBox warningBox{boxWidth, Align::Left, 80};
        const double warningHeight =
            warning.empty() ? 0 : canvas_.Height(Plain(warning, kNote), warningBox) + 4;

        const double labelHeight = canvas_.Height(Plain("Ag", kLabel), TextBox{}) + 3;
        double ratesHeight = HeaderHeight(rates);
        for (std::size_t i = 0; i < rates.rows.size(); ++i) {
            ratesHeight += canvas_.Height(rates.rows[i][0], TextBox{}) + 2 * kCellPad;
        }
        Ensure(labelHeight + std::max(ratesHeight, boxHeight + warningHeight));

        const int page = page_;
        canvas_.Draw(kLeft, y_, Plain("RIEPILOGO IVA", kLabel), TextBox{ratesWidth});
        canvas_.Draw(
            boxX, y_,
            Plain(order_.currency.empty() ? "TOTALI" : "TOTALI (" + order_.currency + ")", kLabel),
            TextBox{boxWidth});
        y_ += labelHeight;
        const double boxTop = y_;
        DrawTable(rates, kLeft);
        const double ratesEnd = y_;
        if (page_ != page) {
            // Only a summary of very many rates gets here: the totals follow it.
            y_ += kGap;
            Ensure(boxHeight + warningHeight);
        } else {
            y_ = boxTop;
        }

        canvas_.StrokeRect(boxX, y_, boxWidth, boxHeight, 0.8, 0.2);
        double rowY = y_ + kPad;
        for (const auto& row : rows) {
            const TextStyle style = rowStyle(row);
            if (row.strong) {
                canvas_.Line(boxX + kPad, rowY - 1.5, kRight - kPad, rowY - 1.5, 0.5, 0.4);
            }
            canvas_.Draw(boxX + kPad, rowY, Plain(row.label, style), labelBox);
            canvas_.Draw(boxX + kPad, rowY, Plain(FormatAmount(row.amount), style),
                         TextBox{boxWidth - 2 * kPad, Align::Right});
            rowY += rowHeight(row) + 3;
        }
        y_ += boxHeight + 4;
        if (!warning.empty()) {
            y_ += canvas_.Draw(boxX, y_, Plain(warning, kNote), warningBox);
        }
        y_ = std::max(y_, page_ == page ? ratesEnd : y_) + kGap;
    }

    PdfCanvas& canvas_;
    const OrderDocument& order_;
    const OrderTotals& totals_;
    int pages_;
    int page_ = 0;
    double y_ = kTop;
    double pageTop_ = kTop;
    std::function<void()> repeatHeader_;
};

std::vector<std::uint8_t> Render(const OrderDocument& order, const OrderTotals& totals, int pages,
                                 int& printed) {
    PdfCanvas canvas(kPageWidth, kPageHeight,
                     KindName(order.kind) + " " + order.number + " del " +
                         FormatDate(order.issueDate));
    OrderPrinter printer(canvas, order, totals, pages);
    printed = printer.Print();
    return canvas.Finish();
}

} // namespace

std::vector<std::uint8_t> RenderOrderPdf(const OrderDocument& order) {
    const OrderTotals totals = ComputeTotals(order);
    // The first run counts the pages that "Pagina N di M" needs; the second one is printed.
    int pages = 0;
    static_cast<void>(Render(order, totals, 0, pages));
    int printed = 0;
    return Render(order, totals, pages, printed);
}

std::vector<std::uint8_t> RenderOrderPdf(std::string_view xml) {
    try {
        return RenderOrderPdf(ReadOrderDocument(xml));
    } catch (const Error& error) {
        // Sums beyond the 28 digits of an amount.
        throw OrderRenderError("the order cannot be shown as a PDF: an amount is too large to "
                               "compute (more than 28 digits)\n" +
                               error.Description());
    }
}

} // namespace kvad::platform
