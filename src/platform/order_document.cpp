#include "order_document.h"

#include <initializer_list>

#include "italian_format.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"
#include "ubl_elements.h"
#include "xml/xml_document.h"

namespace kvad::platform {
namespace {

constexpr const char* kCannotShow = "the order cannot be shown as a PDF: ";

/// The text with every run of white space made one blank, as a printed field shows it.
std::string Clean(std::string_view text) {
    std::string out;
    bool blank = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            blank = !out.empty();
            continue;
        }
        if (blank) {
            out += ' ';
            blank = false;
        }
        out += c;
    }
    return out;
}

/// A free text (a note): its own line breaks kept, each line cleaned.
std::string Paragraphs(std::string_view text) {
    std::string out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = Clean(text.substr(start, end - start));
        if (!line.empty()) {
            out += (out.empty() ? "" : "\n") + line;
        }
        start = end + 1;
    }
    return out;
}

std::string TextOf(const xml::Node& node) {
    return node.IsNull() ? std::string() : Clean(node.Text());
}

std::string TextAt(const xml::Node& node, std::initializer_list<std::string_view> path) {
    return TextOf(Path(node, path));
}

std::string Attribute(const xml::Node& node, std::string_view name) {
    if (node.IsNull()) {
        return {};
    }
    for (const auto& attribute : node.Attributes()) {
        if (attribute.name == name) {
            return Clean(attribute.value);
        }
    }
    return {};
}

/// The number an element holds; nullopt when the element is missing or empty.
std::optional<Decimal> Number(const xml::Node& node, const std::string& where) {
    const std::string text = TextOf(node);
    if (text.empty()) {
        return std::nullopt;
    }
    std::optional<Decimal> value;
    try {
        value = Decimal::Parse(text);
    } catch (const Error&) {
        // Too large for an amount: reported below like any other unusable number.
    }
    if (!value) {
        throw OrderRenderError(std::string(kCannotShow) + "\"" + text + "\" is not a number (" +
                               where + ")");
    }
    return value;
}

std::string SchemeLabel(const std::string& scheme, const std::string& fallback) {
    if (scheme == "0201" || scheme == "9921") {
        return "Codice IPA";
    }
    if (scheme == "0211" || scheme == "9906") {
        return "Partita IVA";
    }
    if (scheme == "0210" || scheme == "9907") {
        return "Codice fiscale";
    }
    if (scheme == "0088") {
        return "GLN";
    }
    if (scheme == "0160") {
        return "GTIN";
    }
    return scheme.empty() ? fallback : fallback + " (" + scheme + ")";
}

void AddIdentifier(Party& party, const std::string& label, const std::string& value) {
    if (value.empty()) {
        return;
    }
    std::string line = label + ": " + value;
    for (const auto& existing : party.identifiers) {
        if (existing == line) {
            return;
        }
    }
    party.identifiers.push_back(std::move(line));
}

void AddIdentifierOf(Party& party, const xml::Node& id, const std::string& fallback) {
    AddIdentifier(party, SchemeLabel(Attribute(id, "schemeID"), fallback), TextOf(id));
}

std::vector<std::string> AddressLines(const xml::Node& address) {
    std::vector<std::string> lines;
    if (address.IsNull()) {
        return lines;
    }
    for (const auto* name : {"StreetName", "AdditionalStreetName"}) {
        if (std::string text = TextAt(address, {name}); !text.empty()) {
            lines.push_back(std::move(text));
        }
    }
    for (const auto& line : Children(address, "AddressLine")) {
        if (std::string text = TextAt(line, {"Line"}); !text.empty()) {
            lines.push_back(std::move(text));
        }
    }
    std::string town = TextAt(address, {"PostalZone"});
    if (const std::string city = TextAt(address, {"CityName"}); !city.empty()) {
        town += (town.empty() ? "" : " ") + city;
    }
    if (const std::string area = TextAt(address, {"CountrySubentity"}); !area.empty()) {
        town += (town.empty() ? "" : " ") + ("(" + area + ")");
    }
    const std::string country = TextAt(address, {"Country", "IdentificationCode"});
    if (!country.empty() && country != "IT") {
        town += (town.empty() ? "" : " - ") + country;
    }
    if (!town.empty()) {
        lines.push_back(std::move(town));
    }
    return lines;
}

std::string ContactLine(const xml::Node& contact) {
    std::string line;
    const auto add = [&line](const std::string& prefix, const std::string& text) {
        if (!text.empty()) {
            line += (line.empty() ? "" : " \xC2\xB7 ") + prefix + text;
        }
    };
    add("", TextAt(contact, {"Name"}));
    add("tel. ", TextAt(contact, {"Telephone"}));
    add("", TextAt(contact, {"ElectronicMail"}));
    return line;
}

Party ReadParty(const xml::Node& party) {
    Party result;
    if (party.IsNull()) {
        return result;
    }
    result.name = TextAt(party, {"PartyName", "Name"});
    const std::string legalName = TextAt(party, {"PartyLegalEntity", "RegistrationName"});
    if (result.name.empty()) {
        result.name = legalName;
    } else if (!legalName.empty() && legalName != result.name) {
        AddIdentifier(result, "Ragione sociale", legalName);
    }
    AddIdentifierOf(result, Child(party, "EndpointID"), "Indirizzo elettronico");
    for (const auto& identification : Children(party, "PartyIdentification")) {
        AddIdentifierOf(result, Child(identification, "ID"), "Identificativo");
    }
    for (const auto& scheme : Children(party, "PartyTaxScheme")) {
        AddIdentifier(result, "Partita IVA", TextAt(scheme, {"CompanyID"}));
    }
    AddIdentifierOf(result, Path(party, {"PartyLegalEntity", "CompanyID"}), "Codice fiscale");
    result.address = AddressLines(Child(party, "PostalAddress"));
    result.contact = ContactLine(Child(party, "Contact"));
    return result;
}

std::string TimeText(const std::string& time) {
    return time.size() >= 5 ? " ore " + time.substr(0, 5) : std::string();
}

/// A requested delivery period in words: "dal 11/03/2024 al 15/03/2024".
std::string PeriodText(const xml::Node& period) {
    const std::string start = TextAt(period, {"StartDate"});
    const std::string end = TextAt(period, {"EndDate"});
    const std::string from = FormatDate(start) + TimeText(TextAt(period, {"StartTime"}));
    const std::string to = FormatDate(end) + TimeText(TextAt(period, {"EndTime"}));
    if (!start.empty() && !end.empty()) {
        return from == to ? "il " + from : "dal " + from + " al " + to;
    }
    if (!start.empty()) {
        return "dal " + from;
    }
    return end.empty() ? std::string() : "entro il " + to;
}

std::optional<TaxRate> ReadRate(const xml::Node& category, const std::string& where) {
    if (category.IsNull()) {
        return std::nullopt;
    }
    TaxRate rate{TextAt(category, {"ID"}),
                 Number(Child(category, "Percent"), where + ", VAT rate")};
    if (rate.category.empty() && !rate.percent) {
        return std::nullopt;
    }
    return rate;
}

AllowanceCharge ReadAllowanceCharge(const xml::Node& node, const std::string& where) {
    AllowanceCharge result;
    result.charge = EqualsNoCase(TextAt(node, {"ChargeIndicator"}), "true");
    result.reason = TextAt(node, {"AllowanceChargeReason"});
    if (result.reason.empty()) {
        result.reason = TextAt(node, {"AllowanceChargeReasonCode"});
    }
    result.percent = Number(Child(node, "MultiplierFactorNumeric"), where + ", percentage");
    result.base = Number(Child(node, "BaseAmount"), where + ", base amount");
    if (const auto amount = Number(Child(node, "Amount"), where + ", amount")) {
        result.amount = *amount;
    } else if (result.percent && result.base) {
        result.amount = RoundHalfUp(*result.base * *result.percent / Decimal(100), 2);
    }
    result.rate = ReadRate(Child(node, "TaxCategory"), where);
    return result;
}

std::string UnitSuffix(const std::string& unit) {
    return unit.empty() ? std::string() : " " + unit;
}

/// The item's name and, when it says more, its description.
void ReadItemNames(OrderLine& line, const xml::Node& article) {
    line.name = TextAt(article, {"Name"});
    std::string description;
    for (const auto& node : Children(article, "Description")) {
        if (const std::string text = Paragraphs(node.Text()); !text.empty()) {
            description += (description.empty() ? "" : "\n") + text;
        }
    }
    if (line.name.empty()) {
        line.name = description;
    } else if (description != line.name) {
        line.description = description;
    }
}

/// The item's codes, labelled: the seller's, the buyer's, the maker's and the standard ones.
void ReadItemCodes(OrderLine& line, const xml::Node& article) {
    const auto addCode = [&line](const std::string& label, const std::string& code) {
        if (!code.empty()) {
            line.codes.push_back(label + ": " + code);
        }
    };
    addCode("Forn.", TextAt(article, {"SellersItemIdentification", "ID"}));
    addCode("Cliente", TextAt(article, {"BuyersItemIdentification", "ID"}));
    addCode("Produtt.", TextAt(article, {"ManufacturersItemIdentification", "ID"}));
    for (const auto& standard : Children(article, "StandardItemIdentification")) {
        const xml::Node id = Child(standard, "ID");
        addCode(SchemeLabel(Attribute(id, "schemeID"), "Std."), TextOf(id));
    }
}

/// The line's notes, the item's properties and the delivery period asked for.
void ReadLineDetails(OrderLine& line, const xml::Node& orderLine, const xml::Node& item,
                     const xml::Node& article) {
    for (const auto& note : Children(orderLine, "Note")) {
        if (const std::string text = Paragraphs(note.Text()); !text.empty()) {
            line.details.push_back("Nota: " + text);
        }
    }
    for (const auto& property : Children(article, "AdditionalItemProperty")) {
        const std::string name = TextAt(property, {"Name"});
        const std::string value = TextAt(property, {"Value"});
        if (!name.empty() || !value.empty()) {
            std::string detail = name;
            detail += name.empty() || value.empty() ? "" : ": ";
            detail += value;
            line.details.push_back(std::move(detail));
        }
    }
    if (const std::string period = PeriodText(Path(item, {"Delivery", "RequestedDeliveryPeriod"}));
        !period.empty()) {
        line.details.push_back("Consegna richiesta " + period);
    }
}

/// The quantity, the unit price and what the price says of itself (the quantity it is for, a
/// discount or surcharge on it); returns the quantity the price is for, when given.
std::optional<Decimal> ReadQuantityAndPrice(OrderLine& line, const xml::Node& item,
                                            const std::string& where) {
    const xml::Node quantity = Child(item, "Quantity");
    line.quantity = Number(quantity, where + ", quantity");
    line.unit = Attribute(quantity, "unitCode");

    const xml::Node price = Child(item, "Price");
    line.price = Number(Child(price, "PriceAmount"), where + ", price");
    const xml::Node baseQuantityNode = Child(price, "BaseQuantity");
    const auto baseQuantity = Number(baseQuantityNode, where + ", quantity the price is for");
    if (baseQuantity && *baseQuantity != Decimal(1) && !baseQuantity->IsZero()) {
        line.details.push_back("Prezzo riferito a " + FormatQuantity(*baseQuantity) +
                               UnitSuffix(Attribute(baseQuantityNode, "unitCode")));
    }
    if (const xml::Node discount = Child(price, "AllowanceCharge"); !discount.IsNull()) {
        const AllowanceCharge priceDiscount = ReadAllowanceCharge(discount, where + ", price");
        std::string text = "Prezzo netto";
        if (priceDiscount.base) {
            text += ": lordo " + FormatPrice(*priceDiscount.base);
        }
        text += std::string(priceDiscount.base ? "," : ":") +
                (priceDiscount.charge ? " maggiorazione " : " sconto ") +
                FormatPrice(priceDiscount.amount);
        line.details.push_back(text);
    }
    return baseQuantity;
}

/// The line's amount as declared, else quantity times price (for the quantity the price is
/// for) with the line's allowances and charges, rounded to cents.
Decimal LineAmount(const OrderLine& line, const xml::Node& item,
                   const std::optional<Decimal>& baseQuantity, const std::string& where) {
    if (const auto declared = Number(Child(item, "LineExtensionAmount"), where + ", amount")) {
        return *declared;
    }
    Decimal amount;
    if (line.quantity && line.price) {
        amount = *line.quantity * *line.price;
        if (baseQuantity && !baseQuantity->IsZero()) {
            amount = amount / *baseQuantity;
        }
    }
    for (const auto& allowance : line.allowances) {
        amount = amount + allowance.Signed();
    }
    return RoundHalfUp(amount, 2);
}

OrderLine ReadLine(const xml::Node& orderLine, std::size_t position) {
    const xml::Node item = Child(orderLine, "LineItem");
    OrderLine line;
    line.id = TextAt(item, {"ID"});
    const std::string where = "line " + (line.id.empty() ? std::to_string(position) : line.id);

    const xml::Node article = Child(item, "Item");
    ReadItemNames(line, article);
    ReadItemCodes(line, article);
    ReadLineDetails(line, orderLine, item, article);
    const auto baseQuantity = ReadQuantityAndPrice(line, item, where);
    for (const auto& node : Children(item, "AllowanceCharge")) {
        line.allowances.push_back(ReadAllowanceCharge(node, where + ", allowances and charges"));
    }
    line.rate = ReadRate(Child(article, "ClassifiedTaxCategory"), where);
    line.amount = LineAmount(line, item, baseQuantity, where);
    return line;
}

/// The reference to the order that this one revises, cancels or is connected to.
void ReadReference(OrderDocument& document, const std::string& reference) {
    if (reference.empty()) {
        return;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = reference.find('#', start);
        parts.push_back(reference.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    if (parts.size() < 4) {
        document.reference = "Ordine di riferimento: " + reference;
        return;
    }
    std::string order = parts[0] + " del " + FormatDate(parts[1]);
    if (!parts[2].empty()) {
        order += " (" + parts[2] + ")";
    }
    const std::string type = AsciiUpper(parts[3]);
    if (type == "REVISED") {
        document.kind = OrderKind::Revision;
        document.reference = "Sostituisce l'ordine " + order;
    } else if (type == "CANCELLED") {
        document.kind = OrderKind::Cancellation;
        document.reference = "Annulla l'ordine " + order;
    } else if (type == "CONNECTED") {
        document.reference = "Collegato all'ordine " + order;
    } else {
        document.reference = "Ordine di riferimento: " + reference;
    }
}

void AddField(OrderDocument& document, std::string label, std::string value) {
    if (!value.empty()) {
        document.fields.push_back({std::move(label), std::move(value)});
    }
}

void ReadFields(OrderDocument& document, const xml::Node& order) {
    AddField(document, "Riferimento cliente", TextAt(order, {"CustomerReference"}));
    AddField(document, "Contratto", TextAt(order, {"Contract", "ID"}));
    AddField(document, "Documento d'origine", TextAt(order, {"OriginatorDocumentReference", "ID"}));
    AddField(document, "Preventivo", TextAt(order, {"QuotationDocumentReference", "ID"}));
    AddField(document, "Catalogo", TextAt(order, {"CatalogueReference", "ID"}));
    AddField(document, "Progetto", TextAt(order, {"ProjectReference", "ID"}));
    AddField(document, "Centro di costo", TextAt(order, {"AccountingCost"}));
    if (const std::string end = TextAt(order, {"ValidityPeriod", "EndDate"}); !end.empty()) {
        AddField(document, "Valido fino al", FormatDate(end));
    }
    std::string attachments;
    for (const auto& reference : Children(order, "AdditionalDocumentReference")) {
        std::string text = TextAt(reference, {"ID"});
        if (const std::string type = TextAt(reference, {"DocumentType"}); !type.empty()) {
            text += " (" + type + ")";
        }
        attachments += (attachments.empty() ? "" : "; ") + text;
    }
    AddField(document, "Documenti allegati", attachments);
    std::string terms = TextAt(order, {"DeliveryTerms", "ID"});
    if (const std::string special = TextAt(order, {"DeliveryTerms", "SpecialTerms"});
        !special.empty()) {
        terms += (terms.empty() ? "" : " - ") + special;
    }
    AddField(document, "Resa", terms);
    for (const auto& payment : Children(order, "PaymentTerms")) {
        AddField(document, "Pagamento", Paragraphs(payment.Text()));
    }
}

Party ReadDelivery(const xml::Node& delivery) {
    Party place;
    const xml::Node location = Child(delivery, "DeliveryLocation");
    const xml::Node party = Child(delivery, "DeliveryParty");
    place.name = TextAt(party, {"PartyName", "Name"});
    if (place.name.empty()) {
        place.name = TextAt(location, {"Name"});
    }
    const xml::Node id = Child(location, "ID");
    AddIdentifier(place, SchemeLabel(Attribute(id, "schemeID"), "Codice luogo"), TextOf(id));
    for (const auto& identification : Children(party, "PartyIdentification")) {
        AddIdentifierOf(place, Child(identification, "ID"), "Identificativo");
    }
    place.address = AddressLines(Child(location, "Address"));
    place.contact = ContactLine(Child(party, "Contact"));
    return place;
}

/// The Order element, or the reason there is none.
xml::Node RequireOrder(const xml::Document& document) {
    const xml::Node order = BusinessElement(document);
    if (order.IsNull()) {
        throw OrderRenderError(std::string(kCannotShow) + "the document has no main element");
    }
    const std::string name = order.LocalName();
    if (name != "Order") {
        throw OrderRenderError(std::string(kCannotShow) +
                               "the document is not a UBL Order (its main element is \"" + name +
                               "\")");
    }
    return order;
}

} // namespace

std::string KindName(OrderKind kind) {
    switch (kind) {
    case OrderKind::Order:
        return "Ordine";
    case OrderKind::Revision:
        return "Revisione";
    case OrderKind::Cancellation:
        return "Annullamento";
    }
    return "Ordine";
}

OrderDocument ReadOrderDocument(std::string_view text) {
    text = WithoutUtf8Mark(text);
    if (xml::TrimXmlSpace(text).empty()) {
        throw OrderRenderError(std::string(kCannotShow) + "its XML is empty");
    }
    xml::ParseFailure failure;
    const auto parsed = xml::Document::Load(text, failure);
    if (!parsed) {
        // The XML layer's own account goes on a line of its own, beneath the plain one.
        throw OrderRenderError(std::string(kCannotShow) +
                               "its XML cannot be read: " + failure.Plain() + "\n" + failure.text);
    }
    const xml::Node order = RequireOrder(*parsed);

    OrderDocument document;
    document.number = TextAt(order, {"ID"});
    if (document.number.empty()) {
        throw OrderRenderError(std::string(kCannotShow) + "the order has no number (element ID)");
    }
    document.issueDate = TextAt(order, {"IssueDate"});
    document.currency = TextAt(order, {"DocumentCurrencyCode"});
    ReadReference(document, TextAt(order, {"OrderDocumentReference", "ID"}));
    for (const auto& note : Children(order, "Note")) {
        if (std::string paragraph = Paragraphs(note.Text()); !paragraph.empty()) {
            document.notes.push_back(std::move(paragraph));
        }
    }
    ReadFields(document, order);
    document.buyer = ReadParty(Path(order, {"BuyerCustomerParty", "Party"}));
    document.seller = ReadParty(Path(order, {"SellerSupplierParty", "Party"}));
    document.invoicee = ReadParty(Path(order, {"AccountingCustomerParty", "Party"}));
    const xml::Node delivery = Child(order, "Delivery");
    document.delivery = ReadDelivery(delivery);
    document.deliveryPeriod = PeriodText(Child(delivery, "RequestedDeliveryPeriod"));

    std::size_t position = 0;
    for (const auto& line : Children(order, "OrderLine")) {
        document.lines.push_back(ReadLine(line, ++position));
    }
    for (const auto& node : Children(order, "AllowanceCharge")) {
        document.allowances.push_back(ReadAllowanceCharge(node, "allowances and charges"));
    }

    const xml::Node totals = Child(order, "AnticipatedMonetaryTotal");
    const std::string where = "totals";
    DeclaredTotals& declared = document.declared;
    declared.lines = Number(Child(totals, "LineExtensionAmount"), where);
    declared.allowances = Number(Child(totals, "AllowanceTotalAmount"), where);
    declared.charges = Number(Child(totals, "ChargeTotalAmount"), where);
    declared.taxExclusive = Number(Child(totals, "TaxExclusiveAmount"), where);
    declared.taxInclusive = Number(Child(totals, "TaxInclusiveAmount"), where);
    declared.prepaid = Number(Child(totals, "PrepaidAmount"), where);
    declared.rounding = Number(Child(totals, "PayableRoundingAmount"), where);
    declared.payable = Number(Child(totals, "PayableAmount"), where);
    declared.tax = Number(Path(order, {"TaxTotal", "TaxAmount"}), "VAT total");
    return document;
}

} // namespace kvad::platform
