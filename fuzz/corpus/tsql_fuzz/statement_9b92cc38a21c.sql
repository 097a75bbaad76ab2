UPDATE IE91_NSOFILES SET IE91_XML = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<StandardBusinessDocument xmlns="http://www.unece.org/cefact/namespaces/StandardBusinessDocumentHeader">
    <StandardBusinessDocumentHeader>
        <HeaderVersion>1.0</HeaderVersion>
        <Sender>
            <Identifier Authority="iso6523-actorid-upis">0201:UFM2P7</Identifier>
        </Sender>
        <Receiver>
            <Identifier Authority="iso6523-actorid-upis">0211:IT01234567890</Identifier>
        </Receiver>
        <DocumentIdentification>
            <Standard>urn:oasis:names:specification:ubl:schema:xsd:Order-2</Standard>
            <TypeVersion>2.1</TypeVersion>
            <InstanceIdentifier>5d0f3c1e-8a2b-4c7d-9e61-2f4a8b90c315</InstanceIdentifier>
            <Type>Order</Type>
            <CreationDateAndTime>2024-03-12T09:41:27.512+01:00</CreationDateAndTime>
        </DocumentIdentification>
        <BusinessScope>
            <Scope>
                <Type>DOCUMENTID</Type>
                <InstanceIdentifier>urn:oasis:names:specification:ubl:schema:xsd:Order-2::Order##urn:fdc:peppol.eu:poacc:trns:order:3:restrictive:urn:www.agid.gov.it:trns:ordine:3.1::2.1</InstanceIdentifier>
                <Identifier>busdox-docid-qns</Identifier>
            </Scope>
            <Scope>
                <Type>PROCESSID</Type>
                <InstanceIdentifier>urn:fdc:peppol.eu:poacc:bis:order_only:3</InstanceIdentifier>
                <Identifier>cenbii-procid-ubl</Identifier>
            </Scope>
        </BusinessScope>
    </StandardBusinessDocumentHeader>
    <ns4:Order xmlns="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2" xmlns:ns2="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2" xmlns:ns3="urn:oasis:names:specification:ubl:schema:xsd:CommonExtensionComponents-2" xmlns:ns4="urn:oasis:names:specification:ubl:schema:xsd:Order-2">
        <CustomizationID>urn:fdc:peppol.eu:poacc:trns:order:3:restrictive:urn:www.agid.gov.it:trns:ordine:3.1</CustomizationID>
        <ProfileID>urn:fdc:peppol.eu:poacc:bis:order_only:3</ProfileID>
        <ID>ORD/2024/00512</ID>
        <IssueDate>2024-03-12</IssueDate>
        <OrderTypeCode>220</OrderTypeCode>
        <Note>Reintegro scorte dispositivi medici - Distretto di Fossombrone</Note>
        <DocumentCurrencyCode>EUR</DocumentCurrencyCode>
        <ns2:OriginatorDocumentReference>
            <ID>A1B2C3D4E5</ID>
        </ns2:OriginatorDocumentReference>
        <ns2:BuyerCustomerParty>
            <ns2:Party>
                <EndpointID schemeID="0201">UFM2P7</EndpointID>
                <ns2:PartyIdentification>
                    <ID schemeID="0201">UFM2P7</ID>
                </ns2:PartyIdentification>
                <ns2:PartyName>
                    <Name>Azienda Sanitaria Locale Colline del Metauro</Name>
                </ns2:PartyName>
                <ns2:PostalAddress>
                    <StreetName>Via Flaminia, 212</StreetName>
                    <CityName>Fossombrone</CityName>
                    <PostalZone>61034</PostalZone>
                    <CountrySubentity>PU</CountrySubentity>
                    <ns2:Country>
                        <IdentificationCode>IT</IdentificationCode>
                    </ns2:Country>
                </ns2:PostalAddress>
                <ns2:PartyTaxScheme>
                    <CompanyID>IT02903456123</CompanyID>
                    <ns2:TaxScheme>
                        <ID>VAT</ID>
                    </ns2:TaxScheme>
                </ns2:PartyTaxScheme>
                <ns2:PartyLegalEntity>
                    <RegistrationName>Azienda Sanitaria Locale Colline del Metauro</RegistrationName>
                </ns2:PartyLegalEntity>
            </ns2:Party>
        </ns2:BuyerCustomerParty>
        <ns2:SellerSupplierParty>
            <ns2:Party>
                <EndpointID schemeID="0211">IT01234567890</EndpointID>
                <ns2:PartyName>
                    <Name>Alfa Forniture Pubbliche S.p.A.</Name>
                </ns2:PartyName>
                <ns2:PartyLegalEntity>
                    <RegistrationName>Alfa Forniture Pubbliche S.p.A.</RegistrationName>
                </ns2:PartyLegalEntity>
            </ns2:Party>
        </ns2:SellerSupplierParty>
        <ns2:AccountingCustomerParty>
            <ns2:Party>
                <EndpointID schemeID="0201">UFM2P7</EndpointID>
                <ns2:PartyName>
                    <Name>ASL Colline del Metauro - U.O. Bilancio</Name>
                </ns2:PartyName>
            </ns2:Party>
        </ns2:AccountingCustomerParty>
        <ns2:Delivery>
            <ns2:DeliveryLocation>
                <ID>02903456123-MAG3</ID>
                <ns2:Address>
                    <StreetName>Via Cesare Battisti, 9 - magazzino distrettuale</StreetName>
                    <CityName>Fossombrone</CityName>
                    <PostalZone>61034</PostalZone>
                    <CountrySubentity>PU</CountrySubentity>
                    <ns2:Country>
                        <IdentificationCode>IT</IdentificationCode>
                    </ns2:Country>
                </ns2:Address>
            </ns2:DeliveryLocation>
            <ns2:RequestedDeliveryPeriod>
                <StartDate>2024-03-19</StartDate>
                <EndDate>2024-03-22</EndDate>
            </ns2:RequestedDeliveryPeriod>
        </ns2:Delivery>
        <ns2:TaxTotal>
            <TaxAmount currencyID="EUR">442.20</TaxAmount>
        </ns2:TaxTotal>
        <ns2:AnticipatedMonetaryTotal>
            <LineExtensionAmount currencyID="EUR">2010.00</LineExtensionAmount>
            <TaxExclusiveAmount currencyID="EUR">2010.00</TaxExclusiveAmount>
            <TaxInclusiveAmount currencyID="EUR">2452.20</TaxInclusiveAmount>
            <PayableAmount currencyID="EUR">2452.20</PayableAmount>
        </ns2:AnticipatedMonetaryTotal>
        <ns2:OrderLine>
            <ns2:LineItem>
                <ID>1</ID>
                <Quantity unitCode="PK">300</Quantity>
                <LineExtensionAmount currencyID="EUR">1470.00</LineExtensionAmount>
                <ns2:Price>
                    <PriceAmount currencyID="EUR">4.90</PriceAmount>
                </ns2:Price>
                <ns2:Item>
                    <Description>Guanti da esame in nitrile, senza polvere, confezione da 100 pezzi</Description>
                    <Name>GUANTI IN NITRILE NON STERILI TAGLIA M CONF. 100</Name>
                    <ns2:SellersItemIdentification>
                        <ID>AFP-DM-55120</ID>
                    </ns2:SellersItemIdentification>
                    <ns2:StandardItemIdentification>
                        <ID schemeID="0160">8012345000074</ID>
                    </ns2:StandardItemIdentification>
                    <ns2:ClassifiedTaxCategory>
                        <ID>S</ID>
                        <Percent>22</Percent>
                        <ns2:TaxScheme>
                            <ID>VAT</ID>
                        </ns2:TaxScheme>
                    </ns2:ClassifiedTaxCategory>
                </ns2:Item>
            </ns2:LineItem>
        </ns2:OrderLine>
        <ns2:OrderLine>
            <ns2:LineItem>
                <ID>2</ID>
                <Quantity unitCode="PK">80</Quantity>
                <LineExtensionAmount currencyID="EUR">540.00</LineExtensionAmount>
                <ns2:Price>
                    <PriceAmount currencyID="EUR">6.75</PriceAmount>
                </ns2:Price>
                <ns2:Item>
                    <Name>SIRINGHE MONOUSO 5 ML LUER LOCK CON AGO 22G CONF. 100</Name>
                    <ns2:SellersItemIdentification>
                        <ID>AFP-DM-56031</ID>
                    </ns2:SellersItemIdentification>
                    <ns2:ClassifiedTaxCategory>
                        <ID>S</ID>
                        <Percent>22</Percent>
                        <ns2:TaxScheme>
                            <ID>VAT</ID>
                        </ns2:TaxScheme>
                    </ns2:ClassifiedTaxCategory>
                </ns2:Item>
            </ns2:LineItem>
        </ns2:OrderLine>
    </ns4:Order>
</StandardBusinessDocument>
' WHERE IE91_DITTA_CG18 = 1 AND       IE91_ID         = 5