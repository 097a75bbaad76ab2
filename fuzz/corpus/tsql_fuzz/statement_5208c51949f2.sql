UPDATE IE91_NSOFILES SET IE91_XML = '<?xml version="1.0" encoding="UTF-8"?>
<Order xmlns="urn:oasis:names:specification:ubl:schema:xsd:Order-2"
       xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"
       xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2">
    <cbc:CustomizationID>urn:fdc:peppol.eu:poacc:trns:order:3:restrictive:urn:www.agid.gov.it:trns:ordine:3.1</cbc:CustomizationID>
    <cbc:ProfileID>urn:fdc:peppol.eu:poacc:bis:order_only:3</cbc:ProfileID>
    <cbc:ID>87/2024</cbc:ID>
    <cbc:IssueDate>2024-03-05</cbc:IssueDate>
    <cbc:OrderTypeCode>220</cbc:OrderTypeCode>
    <cbc:Note>Fornitura di cancelleria per gli uffici comunali - determina n. 142 del 28/02/2024</cbc:Note>
    <cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>
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
    <cac:Delivery>
        <cac:DeliveryLocation>
            <cbc:ID>00412345670-ECON</cbc:ID>
            <cac:Address>
                <cbc:StreetName>Via Giuseppe Mazzini, 7 - piano terra</cbc:StreetName>
                <cbc:CityName>Borgo San Vitale</cbc:CityName>
                <cbc:PostalZone>48012</cbc:PostalZone>
                <cbc:CountrySubentity>RA</cbc:CountrySubentity>
                <cac:Country>
                    <cbc:IdentificationCode>IT</cbc:IdentificationCode>
                </cac:Country>
            </cac:Address>
        </cac:DeliveryLocation>
        <cac:RequestedDeliveryPeriod>
            <cbc:StartDate>2024-03-18</cbc:StartDate>
            <cbc:EndDate>2024-03-29</cbc:EndDate>
        </cac:RequestedDeliveryPeriod>
        <cac:DeliveryParty>
            <cac:PartyName>
                <cbc:Name>Ufficio Economato - Magazzino</cbc:Name>
            </cac:PartyName>
        </cac:DeliveryParty>
    </cac:Delivery>
    <cac:AllowanceCharge>
        <cbc:ChargeIndicator>false</cbc:ChargeIndicator>
        <cbc:AllowanceChargeReasonCode>95</cbc:AllowanceChargeReasonCode>
        <cbc:AllowanceChargeReason>Sconto da convenzione 5%</cbc:AllowanceChargeReason>
        <cbc:MultiplierFactorNumeric>5</cbc:MultiplierFactorNumeric>
        <cbc:Amount currencyID="EUR">58.12</cbc:Amount>
        <cbc:BaseAmount currencyID="EUR">1162.40</cbc:BaseAmount>
        <cac:TaxCategory>
            <cbc:ID>S</cbc:ID>
            <cbc:Percent>22</cbc:Percent>
            <cac:TaxScheme>
                <cbc:ID>VAT</cbc:ID>
            </cac:TaxScheme>
        </cac:TaxCategory>
    </cac:AllowanceCharge>
    <cac:AllowanceCharge>
        <cbc:ChargeIndicator>false</cbc:ChargeIndicator>
        <cbc:AllowanceChargeReason>Abbuono per ritardata consegna ordine precedente</cbc:AllowanceChargeReason>
        <cbc:Amount currencyID="EUR">20.00</cbc:Amount>
    </cac:AllowanceCharge>
    <cac:TaxTotal>
        <cbc:TaxAmount currencyID="EUR">238.54</cbc:TaxAmount>
    </cac:TaxTotal>
    <cac:AnticipatedMonetaryTotal>
        <cbc:LineExtensionAmount currencyID="EUR">1162.40</cbc:LineExtensionAmount>
        <cbc:TaxExclusiveAmount currencyID="EUR">1084.28</cbc:TaxExclusiveAmount>
        <cbc:TaxInclusiveAmount currencyID="EUR">1322.82</cbc:TaxInclusiveAmount>
        <cbc:AllowanceTotalAmount currencyID="EUR">78.12</cbc:AllowanceTotalAmount>
        <cbc:PayableAmount currencyID="EUR">1322.82</cbc:PayableAmount>
    </cac:AnticipatedMonetaryTotal>
    <cac:OrderLine>
        <cac:LineItem>
            <cbc:ID>1</cbc:ID>
            <cbc:Quantity unitCode="PK">120</cbc:Quantity>
            <cbc:LineExtensionAmount currencyID="EUR">414.00</cbc:LineExtensionAmount>
            <cac:Price>
                <cbc:PriceAmount currencyID="EUR">3.45</cbc:PriceAmount>
            </cac:Price>
            <cac:Item>
                <cbc:Description>Carta bianca multifunzione, certificata FSC</cbc:Description>
                <cbc:Name>CARTA PER FOTOCOPIE A4 80 G/M2 RISMA DA 500 FOGLI</cbc:Name>
                <cac:SellersItemIdentification>
                    <cbc:ID>AFP-UFF-00112</cbc:ID>
                </cac:SellersItemIdentification>
                <cac:StandardItemIdentification>
                    <cbc:ID schemeID="0160">8012345000050</cbc:ID>
                </cac:StandardItemIdentification>
                <cac:ClassifiedTaxCategory>
                    <cbc:ID>S</cbc:ID>
                    <cbc:Percent>22</cbc:Percent>
                    <cac:TaxScheme>
                        <cbc:ID>VAT</cbc:ID>
                    </cac:TaxScheme>
                </cac:ClassifiedTaxCategory>
            </cac:Item>
        </cac:LineItem>
    </cac:OrderLine>
    <cac:OrderLine>
        <cac:LineItem>
            <cbc:ID>2</cbc:ID>
            <cbc:Quantity unitCode="C62">6</cbc:Quantity>
            <cbc:LineExtensionAmount currencyID="EUR">539.40</cbc:LineExtensionAmount>
            <cac:Price>
                <cbc:PriceAmount currencyID="EUR">89.90</cbc:PriceAmount>
            </cac:Price>
            <cac:Item>
                <cbc:Name>TONER NERO COMPATIBILE HP CF259X ALTA CAPACITA''</cbc:Name>
                <cac:SellersItemIdentification>
                    <cbc:ID>AFP-UFF-07431</cbc:ID>
                </cac:SellersItemIdentification>
                <cac:ClassifiedTaxCategory>
                    <cbc:ID>S</cbc:ID>
                    <cbc:Percent>22</cbc:Percent>
                    <cac:TaxScheme>
                        <cbc:ID>VAT</cbc:ID>
                    </cac:TaxScheme>
                </cac:ClassifiedTaxCategory>
            </cac:Item>
        </cac:LineItem>
    </cac:OrderLine>
    <cac:OrderLine>
        <cac:LineItem>
            <cbc:ID>3</cbc:ID>
            <cbc:Quantity unitCode="PK">10</cbc:Quantity>
            <cbc:LineExtensionAmount currencyID="EUR">115.00</cbc:LineExtensionAmount>
            <cac:Price>
                <cbc:PriceAmount currencyID="EUR">11.50</cbc:PriceAmount>
            </cac:Price>
            <cac:Item>
                <cbc:Name>PENNE A SFERA BLU PUNTA MEDIA CONFEZIONE DA 50 PEZZI</cbc:Name>
                <cac:SellersItemIdentification>
                    <cbc:ID>AFP-UFF-02250</cbc:ID>
                </cac:SellersItemIdentification>
                <cac:ClassifiedTaxCategory>
                    <cbc:ID>S</cbc:ID>
                    <cbc:Percent>22</cbc:Percent>
                    <cac:TaxScheme>
                        <cbc:ID>VAT</cbc:ID>
                    </cac:TaxScheme>
                </cac:ClassifiedTaxCategory>
            </cac:Item>
        </cac:LineItem>
    </cac:OrderLine>
    <cac:OrderLine>
        <cac:LineItem>
            <cbc:ID>4</cbc:ID>
            <cbc:Quantity unitCode="C62">40</cbc:Quantity>
            <cbc:LineExtensionAmount currencyID="EUR">94.00</cbc:LineExtensionAmount>
            <cac:Price>
                <cbc:PriceAmount currencyID="EUR">2.35</cbc:PriceAmount>
            </cac:Price>
            <cac:Item>
                <cbc:Name>RACCOGLITORE AD ANELLI DORSO 8 CM FORMATO PROTOCOLLO</cbc:Name>
                <cac:SellersItemIdentification>
                    <cbc:ID>AFP-UFF-03318</cbc:ID>
                </cac:SellersItemIdentification>
                <cac:StandardItemIdentification>
                    <cbc:ID schemeID="0160">8012345000067</cbc:ID>
                </cac:StandardItemIdentification>
                <cac:ClassifiedTaxCategory>
                    <cbc:ID>S</cbc:ID>
                    <cbc:Percent>22</cbc:Percent>
                    <cac:TaxScheme>
                        <cbc:ID>VAT</cbc:ID>
                    </cac:TaxScheme>
                </cac:ClassifiedTaxCategory>
            </cac:Item>
        </cac:LineItem>
    </cac:OrderLine>
</Order>
' WHERE IE91_DITTA_CG18 = 1 AND       IE91_ID         = 2