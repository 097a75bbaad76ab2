-- Schema version 8: what the order rule checks read, and their messages.
--
-- Staging columns whose last part begins with a lower-case letter name an attribute of the
-- element before it (IE94_LineItem_Quantity_unitCode is the unitCode of LineItem/Quantity): the
-- staging writer fills them like any other column, so verification reads the order's units,
-- currencies and identifier schemes from the staging tables alone. Documents staged before this
-- version have them null until they are staged again; the checks that need them then stay
-- silent.
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_BuyerCustomerParty_Party_EndpointID_schemeID varchar(10) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_BuyerCustomerParty_Party_PartyIdentification_ID_schemeID varchar(10) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_BuyerCustomerParty_Party_PartyLegalEntity_CompanyID varchar(50) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AccountingCustomerParty_Party_EndpointID_schemeID varchar(10) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AccountingCustomerParty_Party_PartyIdentification_ID_schemeID varchar(10) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AccountingCustomerParty_Party_PartyLegalEntity_CompanyID varchar(50) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_Delivery_DeliveryLocation_ID_schemeID varchar(10) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_TaxTotal_TaxAmount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AnticipatedMonetaryTotal_LineExtensionAmount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AnticipatedMonetaryTotal_TaxExclusiveAmount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AnticipatedMonetaryTotal_TaxInclusiveAmount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AnticipatedMonetaryTotal_AllowanceTotalAmount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AnticipatedMonetaryTotal_ChargeTotalAmount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AnticipatedMonetaryTotal_PrepaidAmount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AnticipatedMonetaryTotal_PayableRoundingAmount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE92_NSOTESTATAXML ADD COLUMN IE92_AnticipatedMonetaryTotal_PayableAmount_currencyID varchar(3) COLLATE NOCASE NULL;

ALTER TABLE IE96_NSOTESTATASCONTIXML ADD COLUMN IE96_Amount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE96_NSOTESTATASCONTIXML ADD COLUMN IE96_BaseAmount_currencyID varchar(3) COLLATE NOCASE NULL;

ALTER TABLE IE94_NSOCORPOXML ADD COLUMN IE94_LineItem_Quantity_unitCode varchar(10) COLLATE NOCASE NULL;
ALTER TABLE IE94_NSOCORPOXML ADD COLUMN IE94_LineItem_LineExtensionAmount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE94_NSOCORPOXML ADD COLUMN IE94_LineItem_Price_PriceAmount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE94_NSOCORPOXML ADD COLUMN IE94_LineItem_Price_BaseQuantity_unitCode varchar(10) COLLATE NOCASE NULL;
ALTER TABLE IE94_NSOCORPOXML ADD COLUMN IE94_LineItem_Item_StandardItemIdentification_ID_schemeID varchar(10) COLLATE NOCASE NULL;

ALTER TABLE IE9A_NSOCORPOSCONTIXML ADD COLUMN IE9A_Amount_currencyID varchar(3) COLLATE NOCASE NULL;
ALTER TABLE IE9A_NSOCORPOSCONTIXML ADD COLUMN IE9A_BaseAmount_currencyID varchar(3) COLLATE NOCASE NULL;

INSERT INTO IE97_NSO_ERRORS (IE97_CODE, IE97_MESSAGE) VALUES
    (300, 'Il totale %1 dell''ordine (%2) non corrisponde a quello calcolato dalle righe (%3): verificare gli importi'),
    (301, 'Importo in %1 in un ordine in %2: correggere la valuta o chiedere al cliente un ordine corretto'),
    (302, 'Il codice ufficio IPA "%1" non è valido (6 lettere o cifre): verificare il cliente'),
    (303, 'La partita IVA "%1" ha una cifra di controllo errata: verificare il cliente'),
    (304, 'Il codice fiscale "%1" non è valido: verificare il cliente'),
    (305, 'Il riferimento "%1" a un documento precedente non è nella forma numero#data#ufficio#tipo: verificare a quale ordine si riferisce'),
    (306, 'Il riferimento a un documento precedente indica un documento di tipo "%1", non un ordine revisionato o annullato: verificare la catena'),
    (307, 'Il documento precedente "%1" non è stato ricevuto: verificare la catena'),
    (308, 'Il codice GLN "%1" ha una cifra di controllo errata: verificare il luogo'),
    (309, 'La data di consegna %1 è precedente alla data dell''ordine %2: correggere la data di consegna'),
    (310, 'Categoria IVA %1 con aliquota %2: non è un''aliquota italiana per la categoria; verificare il codice IVA'),
    (350, 'Il prezzo dell''ordine è per %1 unità: il prezzo unitario è stato diviso per %1; verificarlo'),
    (351, 'Il prezzo dell''ordine è per %1 %2 e la quantità è in %3: indicare il prezzo per unità della quantità'),
    (352, 'L''importo della riga (%1) non è quantità x prezzo -/+ sconti e maggiorazioni (%2): verificare prezzo e quantità'),
    (353, 'Valore negativo %1: correggere il campo'),
    (354, 'La riga non ha una quantità: indicare la quantità'),
    (355, 'Il codice GTIN "%1" ha una cifra di controllo errata: verificare l''articolo'),
    (356, 'L''identificativo di riga "%1" compare in più righe dell''ordine');
