UPDATE IE91_NSOFILES SET IE91_XML = '<?xml version="1.0" encoding="UTF-8"?>
<Order xmlns="urn:oasis:names:specification:ubl:schema:xsd:Order-2"
       xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"
       xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2">
    <cbc:CustomizationID>urn:fdc:peppol.eu:poacc:trns:order:3:restrictive:urn:www.agid.gov.it:trns:ordine:3.1</cbc:CustomizationID>
    <cbc:ProfileID>urn:fdc:peppol.eu:poacc:bis:order_only:3</cbc:ProfileID>
    <cbc:ID>2024-FAR-0381</cbc:ID>
    <cbc:IssueDate>2024-03-04</cbc:IssueDate>
    <cbc:OrderTypeCode>220</cbc:OrderTypeCode>
    <cbc:Note>Ordine farmaci per la Farmacia ospedaliera - consegna in un''unica soluzione</cbc:Note>
    <cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>
    <cbc:CustomerReference>Rif. richiesta interna 118/2024</cbc:CustomerReference>
    <cac:OriginatorDocumentReference>
        <cbc:ID>B7E21C94A3</cbc:ID>
    </cac:OriginatorDocumentReference>
    <cac:Contract>
        <cbc:ID>Convenzione farmaci 2023-2025 lotto 14</cbc:ID>
    </cac:Contract>
    <cac:BuyerCustomerParty>
        <cac:Party>
            <cbc:EndpointID schemeID="0201">UF7HQ2</cbc:EndpointID>
            <cac:PartyIdentification>
                <cbc:ID schemeID="0201">UF7HQ2</cbc:ID>
            </cac:PartyIdentification>
            <cac:PartyName>
                <cbc:Name>Azienda Ospedaliera Santa Maria della Valle</cbc:Name>
            </cac:PartyName>
            <cac:PostalAddress>
                <cbc:StreetName>Via dei Tigli, 40</cbc:StreetName>
                <cbc:CityName>Perugia</cbc:CityName>
                <cbc:PostalZone>06132</cbc:PostalZone>
                <cbc:CountrySubentity>PG</cbc:CountrySubentity>
                <cac:Country>
                    <cbc:IdentificationCode>IT</cbc:IdentificationCode>
                </cac:Country>
            </cac:PostalAddress>
            <cac:PartyTaxScheme>
                <cbc:CompanyID>IT03456780547</cbc:CompanyID>
                <cac:TaxScheme>
                    <cbc:ID>VAT</cbc:ID>
                </cac:TaxScheme>
            </cac:PartyTaxScheme>
            <cac:PartyLegalEntity>
                <cbc:RegistrationName>Azienda Ospedaliera Santa Maria della Valle</cbc:RegistrationName>
                <cbc:CompanyID>03456780547</cbc:CompanyID>
            </cac:PartyLegalEntity>
            <cac:Contact>
                <cbc:Name>U.O.C. Farmacia Ospedaliera</cbc:Name>
                <cbc:Telephone>0755550142</cbc:Telephone>
                <cbc:ElectronicMail>farmacia.ordini@aosmv.example.it</cbc:ElectronicMail>
            </cac:Contact>
        </cac:Party>
    </cac:BuyerCustomerParty>
    <cac:SellerSupplierParty>
        <cac:Party>
            <cbc:EndpointID schemeID="0211">IT01234567890</cbc:EndpointID>
            <cac:PartyName>
                <cbc:Name>Alfa Forniture Pubbliche S.p.A.</cbc:Name>
            </cac:PartyName>
            <cac:PostalAddress>
                <cbc:StreetName>Via dell''Industria, 18</cbc:StreetName>
                <cbc:CityName>Castel Maggiore</cbc:CityName>
                <cbc:PostalZone>40013</cbc:PostalZone>
                <cbc:CountrySubentity>BO</cbc:CountrySubentity>
                <cac:Country>
                    <cbc:IdentificationCode>IT</cbc:IdentificationCode>
                </cac:Country>
            </cac:PostalAddress>
            <cac:PartyLegalEntity>
                <cbc:RegistrationName>Alfa Forniture Pubbliche S.p.A.</cbc:RegistrationName>
            </cac:PartyLegalEntity>
        </cac:Party>
    </cac:SellerSupplierParty>
    <cac:AccountingCustomerParty>
        <cac:Party>
            <cbc:EndpointID schemeID="0201">UFQ8R1</cbc:EndpointID>
            <cac:PartyName>
                <cbc:Name>Azienda Ospedaliera Santa Maria della Valle - Servizio Bilancio</cbc:Name>
            </cac:PartyName>
        </cac:Party>
    </cac:AccountingCustomerParty>
    <cac:Delivery>
        <cac:DeliveryLocation>
            <cbc:ID>03456780547-FARM01</cbc:ID>
            <cac:Address>
                <cbc:StreetName>Via dei Tigli, 40 - Padiglione C, magazzino farmacia</cbc:StreetName>
                <cbc:CityName>Perugia</cbc:CityName>
                <cbc:PostalZone>06132</cbc:PostalZone>
                <cbc:CountrySubentity>PG</cbc:CountrySubentity>
                <cac:AddressLine>
                    <cbc:Line>Consegne dal lunedì al venerdì, ore 8:00-13:00</cbc:Line>
                </cac:AddressLine>
                <cac:Country>
                    <cbc:IdentificationCode>IT</cbc:IdentificationCode>
                </cac:Country>
            </cac:Address>
        </cac:DeliveryLocation>
        <cac:RequestedDeliveryPeriod>
            <cbc:StartDate>2024-03-11</cbc:StartDate>
            <cbc:EndDate>2024-03-15</cbc:EndDate>
        </cac:RequestedDeliveryPeriod>
        <cac:DeliveryParty>
            <cac:PartyName>
                <cbc:Name>Magazzino Farmacia Ospedaliera</cbc:Name>
            </cac:PartyName>
        </cac:DeliveryParty>
    </cac:Delivery>
    <cac:PaymentTerms>
        <cbc:Note>Pagamento a 60 giorni data ricevimento fattura</cbc:Note>
    </cac:PaymentTerms>
    <cac:AllowanceCharge>
        <cbc:ChargeIndicator>true</cbc:ChargeIndicator>
        <cbc:AllowanceChargeReasonCode>FC</cbc:AllowanceChargeReasonCode>
        <cbc:AllowanceChargeReason>Spese di trasporto a temperatura controllata</cbc:AllowanceChargeReason>
        <cbc:Amount currencyID="EUR">45.00</cbc:Amount>
        <cac:TaxCategory>
            <cbc:ID>S</cbc:ID>
            <cbc:Percent>10</cbc:Percent>
            <cac:TaxScheme>
                <cbc:ID>VAT</cbc:ID>
            </cac:TaxScheme>
        </cac:TaxCategory>
    </cac:AllowanceCharge>
    <cac:TaxTotal>
        <cbc:TaxAmount currencyID="EUR">190.20</cbc:TaxAmount>
    </cac:TaxTotal>
    <cac:AnticipatedMonetaryTotal>
        <cbc:LineExtensionAmount currencyID="EUR">1857.00</cbc:LineExtensionAmount>
        <cbc:TaxExclusiveAmount currencyID="EUR">1902.00</cbc:TaxExclusiveAmount>
        <cbc:TaxInclusiveAmount currencyID="EUR">2092.20</cbc:TaxInclusiveAmount>
        <cbc:ChargeTotalAmount currencyID="EUR">45.00</cbc:ChargeTotalAmount>
        <cbc:PayableAmount currencyID="EUR">2092.20</cbc:PayableAmount>
    </cac:AnticipatedMonetaryTotal>
    <cac:OrderLine>
        <cac:LineItem>
            <cbc:ID>1</cbc:ID>
            <cbc:Quantity unitCode="C62">200</cbc:Quantity>
            <cbc:LineExtensionAmount currencyID="EUR">370.00</cbc:LineExtensionAmount>
            <cac:Delivery>
                <cac:RequestedDeliveryPeriod>
                    <cbc:StartDate>2024-03-11</cbc:StartDate>
                </cac:RequestedDeliveryPeriod>
            </cac:Delivery>
            <cac:Price>
                <cbc:PriceAmount currencyID="EUR">1.85</cbc:PriceAmount>
            </cac:Price>
            <cac:Item>
                <cbc:Description>Flacone da 100 ml per infusione endovenosa</cbc:Description>
                <cbc:Name>PARACETAMOLO 10 MG/ML SOLUZIONE PER INFUSIONE 100 ML</cbc:Name>
                <cac:SellersItemIdentification>
                    <cbc:ID>AFP-FAR-10231</cbc:ID>
                </cac:SellersItemIdentification>
                <cac:StandardItemIdentification>
                    <cbc:ID schemeID="0160">8012345000012</cbc:ID>
                </cac:StandardItemIdentification>
                <cac:ClassifiedTaxCategory>
                    <cbc:ID>S</cbc:ID>
                    <cbc:Percent>10</cbc:Percent>
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
            <cbc:Quantity unitCode="C62">100</cbc:Quantity>
            <cbc:LineExtensionAmount currencyID="EUR">399.00</cbc:LineExtensionAmount>
            <cac:Delivery>
                <cac:RequestedDeliveryPeriod>
                    <cbc:StartDate>2024-03-11</cbc:StartDate>
                </cac:RequestedDeliveryPeriod>
            </cac:Delivery>
            <cac:AllowanceCharge>
                <cbc:ChargeIndicator>false</cbc:ChargeIndicator>
                <cbc:AllowanceChargeReasonCode>95</cbc:AllowanceChargeReasonCode>
                <cbc:AllowanceChargeReason>Sconto quantità 5%</cbc:AllowanceChargeReason>
                <cbc:MultiplierFactorNumeric>5</cbc:MultiplierFactorNumeric>
                <cbc:Amount currencyID="EUR">21.00</cbc:Amount>
                <cbc:BaseAmount currencyID="EUR">420.00</cbc:BaseAmount>
            </cac:AllowanceCharge>
            <cac:Price>
                <cbc:PriceAmount currencyID="EUR">4.20</cbc:PriceAmount>
            </cac:Price>
            <cac:Item>
                <cbc:Description>Confezione da 12 compresse rivestite con film</cbc:Description>
                <cbc:Name>AMOXICILLINA/ACIDO CLAVULANICO 875/125 MG 12 CPR</cbc:Name>
                <cac:SellersItemIdentification>
                    <cbc:ID>AFP-FAR-20877</cbc:ID>
                </cac:SellersItemIdentification>
                <cac:StandardItemIdentification>
                    <cbc:ID schemeID="0160">8012345000029</cbc:ID>
                </cac:StandardItemIdentification>
                <cac:ClassifiedTaxCategory>
                    <cbc:ID>S</cbc:ID>
                    <cbc:Percent>10</cbc:Percent>
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
            <cbc:Quantity unitCode="C62">50</cbc:Quantity>
            <cbc:LineExtensionAmount currencyID="EUR">620.00</cbc:LineExtensionAmount>
            <cac:Price>
                <cbc:PriceAmount currencyID="EUR">12.40</cbc:PriceAmount>
            </cac:Price>
            <cac:Item>
                <cbc:Description>Confezione da 10 fiale da 1 ml</cbc:Description>
                <cbc:Name>EPARINA SODICA 5.000 UI/ML 10 FIALE</cbc:Name>
                <cac:SellersItemIdentification>
                    <cbc:ID>AFP-FAR-31540</cbc:ID>
                </cac:SellersItemIdentification>
                <cac:StandardItemIdentification>
                    <cbc:ID schemeID="0160">8012345000036</cbc:ID>
                </cac:StandardItemIdentification>
                <cac:ClassifiedTaxCategory>
                    <cbc:ID>S</cbc:ID>
                    <cbc:Percent>10</cbc:Percent>
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
            <cbc:Quantity unitCode="C62">600</cbc:Quantity>
            <cbc:LineExtensionAmount currencyID="EUR">468.00</cbc:LineExtensionAmount>
            <cac:Price>
                <cbc:PriceAmount currencyID="EUR">0.78</cbc:PriceAmount>
            </cac:Price>
            <cac:Item>
                <cbc:Name>SODIO CLORURO 0,9% SOLUZIONE PER INFUSIONE 500 ML</cbc:Name>
                <cac:SellersItemIdentification>
                    <cbc:ID>AFP-FAR-40012</cbc:ID>
                </cac:SellersItemIdentification>
                <cac:StandardItemIdentification>
                    <cbc:ID schemeID="0160">8012345000043</cbc:ID>
                </cac:StandardItemIdentification>
                <cac:ClassifiedTaxCategory>
                    <cbc:ID>S</cbc:ID>
                    <cbc:Percent>10</cbc:Percent>
                    <cac:TaxScheme>
                        <cbc:ID>VAT</cbc:ID>
                    </cac:TaxScheme>
                </cac:ClassifiedTaxCategory>
            </cac:Item>
        </cac:LineItem>
    </cac:OrderLine>
</Order>
' WHERE IE91_DITTA_CG18 = 1 AND       IE91_ID         = 1