#include "generator/ubl_order.h"

#include <cstdio>

namespace kvad::generator {
namespace {

constexpr long kLineAllowanceCents = 125;
constexpr long kHeaderChargeCents = 1500;
constexpr long kVatPercent = 22;

/// Cents as a UBL amount: "12.50".
std::string Amount(long cents) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%02ld", cents / 100, cents % 100);
    return text;
}

std::string Money(const char* element, long cents) {
    return std::string("<cbc:") + element + " currencyID=\"EUR\">" + Amount(cents) +
           "</cbc:" + element + ">";
}

long LineAmountCents(const LineShape& line) {
    return line.quantity * line.priceCents - kLineAllowanceCents;
}

std::string LineXml(int number, const LineShape& line, const std::string& deliveryStart) {
    const std::string id = std::to_string(number);
    const std::string item = std::to_string(line.item);
    return "<cac:OrderLine><cac:LineItem><cbc:ID>" + id +
           "</cbc:ID><cbc:Quantity unitCode=\"C62\">" + std::to_string(line.quantity) +
           "</cbc:Quantity>" + Money("LineExtensionAmount", LineAmountCents(line)) +
           "<cac:Delivery><cac:RequestedDeliveryPeriod><cbc:StartDate>" + deliveryStart +
           "</cbc:StartDate></cac:RequestedDeliveryPeriod></cac:Delivery>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>false</cbc:ChargeIndicator>" +
           Money("Amount", kLineAllowanceCents) + "</cac:AllowanceCharge><cac:Price>" +
           Money("PriceAmount", line.priceCents) +
           "</cac:Price><cac:Item><cbc:Description>Articolo " + item +
           "</cbc:Description><cbc:Name>Articolo " + item +
           "</cbc:Name><cac:SellersItemIdentification><cbc:ID>" + ItemCode(line.item) +
           "</cbc:ID></cac:SellersItemIdentification><cac:StandardItemIdentification>"
           "<cbc:ID schemeID=\"0160\">" +
           ItemStandardId(line.item) +
           "</cbc:ID></cac:StandardItemIdentification>"
           "<cac:ClassifiedTaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>22</cbc:Percent>"
           "<cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:ClassifiedTaxCategory>"
           "</cac:Item></cac:LineItem></cac:OrderLine>";
}

std::string Parties(const OrderShape& shape) {
    const std::string& endpoint = shape.endpoint;
    return "<cac:BuyerCustomerParty><cac:Party><cbc:EndpointID schemeID=\"0201\">" + endpoint +
           "</cbc:EndpointID><cac:PartyIdentification><cbc:ID>" + endpoint +
           "</cbc:ID></cac:PartyIdentification><cac:PartyName><cbc:Name>ASL di prova</cbc:Name>"
           "</cac:PartyName><cac:PostalAddress><cbc:StreetName>Via Roma 1</cbc:StreetName>"
           "<cbc:CityName>Torino</cbc:CityName><cbc:PostalZone>10100</cbc:PostalZone>"
           "<cac:Country><cbc:IdentificationCode>IT</cbc:IdentificationCode></cac:Country>"
           "</cac:PostalAddress><cac:PartyTaxScheme><cbc:CompanyID>IT" +
           shape.buyerVat +
           "</cbc:CompanyID>"
           "<cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:PartyTaxScheme>"
           "<cac:PartyLegalEntity><cbc:RegistrationName>Azienda Sanitaria Locale"
           "</cbc:RegistrationName></cac:PartyLegalEntity><cac:Contact><cbc:Name>Ufficio acquisti"
           "</cbc:Name><cbc:Telephone>011000000</cbc:Telephone><cbc:ElectronicMail>"
           "acquisti@example.org</cbc:ElectronicMail></cac:Contact></cac:Party>"
           "</cac:BuyerCustomerParty>"
           "<cac:SellerSupplierParty><cac:Party><cbc:EndpointID schemeID=\"0211\">IT09876543210"
           "</cbc:EndpointID><cac:PartyName><cbc:Name>Fornitore di prova</cbc:Name>"
           "</cac:PartyName><cac:PostalAddress><cbc:StreetName>Via Milano 2</cbc:StreetName>"
           "<cbc:CityName>Milano</cbc:CityName><cbc:PostalZone>20100</cbc:PostalZone>"
           "<cac:Country><cbc:IdentificationCode>IT</cbc:IdentificationCode></cac:Country>"
           "</cac:PostalAddress></cac:Party></cac:SellerSupplierParty>";
}

} // namespace

std::string ItemCode(int item) {
    return "ART-" + std::to_string(item);
}

std::string ItemStandardId(int item) {
    // A GTIN-13: 80, the item number in ten digits, and the GS1 check digit.
    char digits[16];
    std::snprintf(digits, sizeof digits, "80%010d", item);
    int sum = 0;
    for (int i = 0; i < 12; ++i) {
        sum += (digits[i] - '0') * (i % 2 == 0 ? 1 : 3);
    }
    return std::string(digits) + static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string OrderXml(const OrderShape& shape) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Order "
        "xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Order-2\" "
        "xmlns:cac=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\" "
        "xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">"
        "<cbc:CustomizationID>urn:fdc:peppol.eu:poacc:trns:order:3</cbc:CustomizationID>"
        "<cbc:ProfileID>urn:fdc:peppol.eu:poacc:bis:ordering:3</cbc:ProfileID>"
        "<cbc:ID>" +
        shape.number + "</cbc:ID><cbc:IssueDate>" + shape.issueDate +
        "</cbc:IssueDate>"
        "<cbc:OrderTypeCode>220</cbc:OrderTypeCode>"
        "<cbc:Note>Consegna al magazzino centrale dell'azienda, piano terra</cbc:Note>"
        "<cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>"
        "<cbc:CustomerReference>RIF-2024-001</cbc:CustomerReference>";
    if (!shape.reference.empty()) {
        xml += "<cac:OrderDocumentReference><cbc:ID>" + shape.reference +
               "</cbc:ID></cac:OrderDocumentReference>";
    }
    xml += Parties(shape);
    if (shape.cancellation) {
        return xml + "<cac:TaxTotal>" + Money("TaxAmount", 0) +
               "</cac:TaxTotal><cac:AnticipatedMonetaryTotal>" + Money("LineExtensionAmount", 0) +
               Money("PayableAmount", 0) +
               "</cac:AnticipatedMonetaryTotal><cac:OrderLine><cac:LineItem><cbc:ID>NA</cbc:ID>"
               "<cbc:Quantity unitCode=\"C62\">0</cbc:Quantity><cac:Item><cbc:Name>NA</cbc:Name>"
               "</cac:Item></cac:LineItem></cac:OrderLine></Order>";
    }
    long linesCents = 0;
    for (const LineShape& line : shape.lines) {
        linesCents += LineAmountCents(line);
    }
    const long taxCents = ((linesCents + kHeaderChargeCents) * kVatPercent + 50) / 100;
    xml += "<cac:Delivery><cac:DeliveryLocation><cbc:ID>" + shape.deliveryLocation +
           "</cbc:ID>"
           "<cac:Address><cbc:StreetName>Via Roma 1</cbc:StreetName><cbc:CityName>Torino"
           "</cbc:CityName><cbc:PostalZone>10100</cbc:PostalZone><cac:Country>"
           "<cbc:IdentificationCode>IT</cbc:IdentificationCode></cac:Country></cac:Address>"
           "</cac:DeliveryLocation><cac:RequestedDeliveryPeriod><cbc:StartDate>" +
           shape.deliveryStart + "</cbc:StartDate><cbc:EndDate>" + shape.deliveryEnd +
           "</cbc:EndDate></cac:RequestedDeliveryPeriod></cac:Delivery>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>true</cbc:ChargeIndicator>" +
           Money("Amount", kHeaderChargeCents) + "</cac:AllowanceCharge><cac:TaxTotal>" +
           Money("TaxAmount", taxCents) + "</cac:TaxTotal><cac:AnticipatedMonetaryTotal>" +
           Money("LineExtensionAmount", linesCents) +
           Money("PayableAmount", linesCents + kHeaderChargeCents + taxCents) +
           "</cac:AnticipatedMonetaryTotal>";
    for (std::size_t n = 0; n < shape.lines.size(); ++n) {
        xml += LineXml(static_cast<int>(n + 1), shape.lines[n], shape.deliveryStart);
    }
    return xml + "</Order>";
}

std::string OrderXml(int lines, const std::string& number, const std::string& endpoint) {
    OrderShape shape;
    for (int n = 1; n <= lines; ++n) {
        shape.lines.push_back({n, n % 7 + 1, 250});
    }
    shape.number = number;
    shape.endpoint = endpoint;
    return OrderXml(shape);
}

} // namespace kvad::generator
