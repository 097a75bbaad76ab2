#pragma once
// Generated UBL orders for the benchmarks: a header with buyer, seller, delivery and totals,
// one header allowance, and lines each with one allowance. A 20-line order is about 20 KB, the
// size of the orders the platform delivers. A revision refers to the order it replaces; a
// cancellation has the one "NA" line of quantity 0 the platform gives it.

#include <string>

namespace bench {

/// What varies between generated orders.
struct OrderShape {
    int lines = 20;
    std::string number = "B-1";
    std::string endpoint = "UFABCD";      ///< the buyer's office (IPA code)
    std::string buyerVat = "01234567890"; ///< the buyer's VAT number, without "IT"
    std::string issueDate = "2024-03-05";
    std::string deliveryLocation = "8012345000009";
    /// OrderDocumentReference ID ("number#date#endpoint#Revised" or "...#Cancelled"); "" none.
    std::string reference;
    bool cancellation = false; ///< the one "NA" line, no delivery, totals 0
};

inline std::string OrderLine(int n) {
    const std::string id = std::to_string(n);
    return "<cac:OrderLine><cac:LineItem><cbc:ID>" + id +
           "</cbc:ID><cbc:Quantity unitCode=\"C62\">" + std::to_string(n % 7 + 1) +
           "</cbc:Quantity><cbc:LineExtensionAmount currencyID=\"EUR\">12.50"
           "</cbc:LineExtensionAmount>"
           "<cac:Delivery><cac:RequestedDeliveryPeriod><cbc:StartDate>2024-03-20</cbc:StartDate>"
           "</cac:RequestedDeliveryPeriod></cac:Delivery>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>false</cbc:ChargeIndicator>"
           "<cbc:Amount currencyID=\"EUR\">1.25</cbc:Amount></cac:AllowanceCharge>"
           "<cac:Price><cbc:PriceAmount currencyID=\"EUR\">2.50</cbc:PriceAmount></cac:Price>"
           "<cac:Item><cbc:Description>Articolo " +
           id + "</cbc:Description><cbc:Name>Articolo " + id +
           "</cbc:Name><cac:SellersItemIdentification><cbc:ID>ART-" + id +
           "</cbc:ID></cac:SellersItemIdentification><cac:StandardItemIdentification>"
           "<cbc:ID schemeID=\"0160\">80" +
           id +
           "</cbc:ID></cac:StandardItemIdentification>"
           "<cac:ClassifiedTaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>22</cbc:Percent>"
           "<cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:ClassifiedTaxCategory>"
           "</cac:Item></cac:LineItem></cac:OrderLine>";
}

/// The line a cancellation carries.
inline std::string CancellationLine() {
    return "<cac:OrderLine><cac:LineItem><cbc:ID>NA</cbc:ID><cbc:Quantity unitCode=\"C62\">0"
           "</cbc:Quantity><cac:Item><cbc:Name>NA</cbc:Name></cac:Item></cac:LineItem>"
           "</cac:OrderLine>";
}

/// An order, a revision or a cancellation as `shape` describes it.
inline std::string OrderXml(const OrderShape& shape) {
    const std::string& endpoint = shape.endpoint;
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
        "<cbc:Note>Consegna al magazzino centrale, piano terra</cbc:Note>"
        "<cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>"
        "<cbc:CustomerReference>RIF-2024-001</cbc:CustomerReference>";
    if (!shape.reference.empty()) {
        xml += "<cac:OrderDocumentReference><cbc:ID>" + shape.reference +
               "</cbc:ID></cac:OrderDocumentReference>";
    }
    xml += "<cac:BuyerCustomerParty><cac:Party><cbc:EndpointID schemeID=\"0201\">" + endpoint +
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
    if (shape.cancellation) {
        return xml +
               "<cac:TaxTotal><cbc:TaxAmount currencyID=\"EUR\">0.00</cbc:TaxAmount>"
               "</cac:TaxTotal><cac:AnticipatedMonetaryTotal><cbc:LineExtensionAmount "
               "currencyID=\"EUR\">0.00</cbc:LineExtensionAmount><cbc:PayableAmount "
               "currencyID=\"EUR\">0.00</cbc:PayableAmount></cac:AnticipatedMonetaryTotal>" +
               CancellationLine() + "</Order>";
    }
    xml += "<cac:Delivery><cac:DeliveryLocation><cbc:ID schemeID=\"0088\">" +
           shape.deliveryLocation +
           "</cbc:ID>"
           "<cac:Address><cbc:StreetName>Via Roma 1</cbc:StreetName><cbc:CityName>Torino"
           "</cbc:CityName><cbc:PostalZone>10100</cbc:PostalZone><cac:Country>"
           "<cbc:IdentificationCode>IT</cbc:IdentificationCode></cac:Country></cac:Address>"
           "</cac:DeliveryLocation><cac:RequestedDeliveryPeriod><cbc:StartDate>2024-03-20"
           "</cbc:StartDate><cbc:EndDate>2024-03-30</cbc:EndDate></cac:RequestedDeliveryPeriod>"
           "</cac:Delivery>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>true</cbc:ChargeIndicator>"
           "<cbc:Amount currencyID=\"EUR\">15</cbc:Amount></cac:AllowanceCharge>"
           "<cac:TaxTotal><cbc:TaxAmount currencyID=\"EUR\">55.00</cbc:TaxAmount></cac:TaxTotal>"
           "<cac:AnticipatedMonetaryTotal><cbc:LineExtensionAmount currencyID=\"EUR\">250.00"
           "</cbc:LineExtensionAmount><cbc:PayableAmount currencyID=\"EUR\">305.00"
           "</cbc:PayableAmount></cac:AnticipatedMonetaryTotal>";
    for (int n = 1; n <= shape.lines; ++n) {
        xml += OrderLine(n);
    }
    return xml + "</Order>";
}

/// An order with `lines` lines, number `number`, buyer office `endpoint`.
inline std::string OrderXml(int lines, const std::string& number = "B-1",
                            const std::string& endpoint = "UFABCD") {
    OrderShape shape;
    shape.lines = lines;
    shape.number = number;
    shape.endpoint = endpoint;
    return OrderXml(shape);
}

} // namespace bench
