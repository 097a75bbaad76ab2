UPDATE IE91_NSOFILES SET IE91_XML = '<?xml version="1.0" encoding="UTF-8"?>
<Order xmlns="urn:oasis:names:specification:ubl:schema:xsd:Order-2"
       xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"
       xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2">
    <cbc:CustomizationID>urn:fdc:peppol.eu:poacc:trns:order:3:restrictive:urn:www.agid.gov.it:trns:ordine:3.1</cbc:CustomizationID>
    <cbc:ProfileID>urn:fdc:peppol.eu:poacc:bis:order_only:3</cbc:ProfileID>
    <cbc:ID>93/2024</cbc:ID>
    <cbc:IssueDate>2024-03-08</cbc:IssueDate>
    <cbc:OrderTypeCode>220</cbc:OrderTypeCode>
    <cbc:Note>Annullamento dell''ordine 87/2024 per revoca della determina n. 142</cbc:Note>
    <cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>
    <cac:OrderDocumentReference>
        <cbc:ID>87/2024#2024-03-05#UFB4TN#Cancelled</cbc:ID>
    </cac:OrderDocumentReference>
    <cac:OriginatorDocumentReference>
        <cbc:ID>Z4A3B2C1D0</cbc:ID>
    </cac:OriginatorDocumentReference>
    <cac:BuyerCustomerParty>
        <cac:Party>
            <cbc:EndpointID schemeID="0201">UFB4TN</cbc:EndpointID>
            <cac:PartyIdentification>
                <cbc:ID schemeID="0201">UFB4TN</cbc:ID>
            </cac:PartyIdentification>
            <cac:PartyName>
                <cbc:Name>Comune di Borgo San Vitale</cbc:Name>
            </cac:PartyName>
            <cac:PostalAddress>
                <cbc:StreetName>Piazza del Municipio, 1</cbc:StreetName>
                <cbc:CityName>Borgo San Vitale</cbc:CityName>
                <cbc:PostalZone>48012</cbc:PostalZone>
                <cbc:CountrySubentity>RA</cbc:CountrySubentity>
                <cac:Country>
                    <cbc:IdentificationCode>IT</cbc:IdentificationCode>
                </cac:Country>
            </cac:PostalAddress>
            <cac:PartyTaxScheme>
                <cbc:CompanyID>IT00412345670</cbc:CompanyID>
                <cac:TaxScheme>
                    <cbc:ID>VAT</cbc:ID>
                </cac:TaxScheme>
            </cac:PartyTaxScheme>
            <cac:PartyLegalEntity>
                <cbc:RegistrationName>Comune di Borgo San Vitale</cbc:RegistrationName>
                <cbc:CompanyID>00412345670</cbc:CompanyID>
            </cac:PartyLegalEntity>
            <cac:Contact>
                <cbc:Name>Ufficio Economato</cbc:Name>
                <cbc:Telephone>0545000217</cbc:Telephone>
                <cbc:ElectronicMail>economato@comune.borgosanvitale.example.it</cbc:ElectronicMail>
            </cac:Contact>
        </cac:Party>
    </cac:BuyerCustomerParty>
    <cac:SellerSupplierParty>
        <cac:Party>
            <cbc:EndpointID schemeID="0211">IT01234567890</cbc:EndpointID>
            <cac:PartyName>
                <cbc:Name>Alfa Forniture Pubbliche S.p.A.</cbc:Name>
            </cac:PartyName>
            <cac:PartyLegalEntity>
                <cbc:RegistrationName>Alfa Forniture Pubbliche S.p.A.</cbc:RegistrationName>
            </cac:PartyLegalEntity>
        </cac:Party>
    </cac:SellerSupplierParty>
    <cac:AccountingCustomerParty>
        <cac:Party>
            <cbc:EndpointID schemeID="0201">UFB4TN</cbc:EndpointID>
            <cac:PartyName>
                <cbc:Name>Comune di Borgo San Vitale - Servizio Finanziario</cbc:Name>
            </cac:PartyName>
        </cac:Party>
    </cac:AccountingCustomerParty>
    <cac:TaxTotal>
        <cbc:TaxAmount currencyID="EUR">0.00</cbc:TaxAmount>
    </cac:TaxTotal>
    <cac:AnticipatedMonetaryTotal>
        <cbc:LineExtensionAmount currencyID="EUR">0.00</cbc:LineExtensionAmount>
        <cbc:TaxExclusiveAmount currencyID="EUR">0.00</cbc:TaxExclusiveAmount>
        <cbc:TaxInclusiveAmount currencyID="EUR">0.00</cbc:TaxInclusiveAmount>
        <cbc:PayableAmount currencyID="EUR">0.00</cbc:PayableAmount>
    </cac:AnticipatedMonetaryTotal>
    <cac:OrderLine>
        <cac:LineItem>
            <cbc:ID>NA</cbc:ID>
            <cbc:Quantity unitCode="C62">0</cbc:Quantity>
            <cac:Item>
                <cbc:Name>NA</cbc:Name>
            </cac:Item>
        </cac:LineItem>
    </cac:OrderLine>
</Order>
' WHERE IE91_DITTA_CG18 = 1 AND       IE91_ID         = 4