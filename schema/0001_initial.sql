-- KVAD_NSO database, schema version 1: the component's own tables (IE90 to IE98) and the part
-- of the ERP's tables that the component reads and writes.
--
-- Declared types are SQL Server type names: the catalogue query reports them to the component,
-- which converts staged values by type name ("datetime", "decimal"). They also give SQLite the
-- right affinity: varchar/nvarchar/ntext keep text as text (postal codes, codes with leading
-- zeros), int/smallint/tinyint are integers, datetime/decimal/bit are numeric.
-- Conventions of every table:
--   * dates are stored as text 'YYYY-MM-DD HH:MM:SS', so a date literal in that form and a
--     stored date compare equal;
--   * text columns use SQLite's NOCASE collation, like the ERP's case-insensitive collation
--     (comparisons, joins and unique keys ignore the case of ASCII letters);
--   * an identity key is INTEGER PRIMARY KEY AUTOINCREMENT, so that a deleted row's id is never
--     handed out again (staged lines are replaced on reload and must get new ids);
--   * GUIDs are varchar(36): text affinity keeps every GUID as text.

------------------------------------------------------------------------------------------------
-- Component tables
------------------------------------------------------------------------------------------------

-- Import configuration, one row per company.
CREATE TABLE IE90_CONFIGNSO (
    IE90_DITTA_CG18      int          NOT NULL PRIMARY KEY,
    IE90_CODDOCUM_MG3G   varchar(10)  COLLATE NOCASE NULL, -- ERP document code of the orders
    IE90_DATAORA_IMPORT  datetime     NULL,                -- time of the last retrieval
    IE90_TRACCIATO_IE25  varchar(20)  COLLATE NOCASE NULL, -- import layout code
    IE90_ESITO_IMPORT    smallint     NULL                 -- 1: the last retrieval stored documents
);

-- Register of received documents, one row per document of a company.
CREATE TABLE IE91_NSOFILES (
    IE91_ID                 INTEGER      PRIMARY KEY AUTOINCREMENT,
    IE91_DITTA_CG18         int          NOT NULL,
    IE91_STATUS             smallint     NULL DEFAULT 0,
    IE91_DATAORA_RICEZIONE  datetime     NULL,
    IE91_ID_FW07            int          NULL,
    IE91_HUBID              varchar(100) COLLATE NOCASE NULL, -- the platform's document id
    IE91_IDORD              varchar(50)  COLLATE NOCASE NULL, -- order number
    IE91_ISSUEDATE          datetime     NULL,                -- order date
    IE91_ENDPOINTID         varchar(50)  COLLATE NOCASE NULL, -- buyer's endpoint id
    IE91_OPERAZIONE         smallint     NULL DEFAULT 0,      -- 0 order, 1 revision, 2 cancellation
    IE91_XML                ntext        NULL,                -- the UBL document, Null until downloaded
    IE91_RIF_IDORD          varchar(50)  COLLATE NOCASE NULL, -- the order revised or cancelled
    IE91_RIF_ISSUEDATE      datetime     NULL,
    IE91_RIF_ENDPOINTID     varchar(50)  COLLATE NOCASE NULL,
    IE91_PROCESSATO         smallint     NULL DEFAULT 0,      -- 1: dealt with; Null counts as 0
    IE91_GUID_DO11          varchar(36)  COLLATE NOCASE NULL  -- DO11_GUID of the ERP order made
);
-- A company never registers the same document twice. (Rows with a Null part of the triple are
-- not constrained: SQLite treats Nulls in a unique index as distinct.)
CREATE UNIQUE INDEX IE91_NSOFILES_DOCUMENTO
    ON IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID);
-- Chains: a revision or cancellation refers to its order through the reference triple.
CREATE INDEX IE91_NSOFILES_RIFERIMENTO
    ON IE91_NSOFILES (IE91_DITTA_CG18, IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID);
CREATE INDEX IE91_NSOFILES_GUID_DO11 ON IE91_NSOFILES (IE91_DITTA_CG18, IE91_GUID_DO11);

-- XML staging tables. Each holds rows of one kind of UBL node; the loader fills a data column
-- from the element whose path its name spells: the table prefix, then the local names of the
-- aggregate elements down from the row's node and last the basic element, joined by "_", in
-- the document's own case (IE92_BuyerCustomerParty_Party_EndpointID). Only element text is
-- captured, never attributes. Columns of type datetime receive dates (an element that is not a
-- date fails the load), decimal columns numbers (text that is not a number gives 0), every
-- other column the text as it is. prefix + "ID" is the key and prefix + "ID_IE91" the
-- document; neither is ever filled from the XML.

-- Order header: one row per document, relative to the Order element.
-- The order number cbc:ID would need the column IE92_ID, which is the key: it cannot be
-- captured here. The register keeps it in IE91_IDORD.
CREATE TABLE IE92_NSOTESTATAXML (
    IE92_ID                                                  INTEGER PRIMARY KEY AUTOINCREMENT,
    IE92_ID_IE91                                             int NOT NULL
        REFERENCES IE91_NSOFILES (IE91_ID) ON DELETE CASCADE,
    IE92_CustomizationID                                     varchar(200)   COLLATE NOCASE NULL,
    IE92_ProfileID                                           varchar(200)   COLLATE NOCASE NULL,
    IE92_IssueDate                                           datetime       NULL,
    IE92_IssueTime                                           varchar(20)    COLLATE NOCASE NULL,
    IE92_OrderTypeCode                                       varchar(10)    COLLATE NOCASE NULL,
    IE92_Note                                                nvarchar(4000) COLLATE NOCASE NULL,
    IE92_DocumentCurrencyCode                                varchar(3)     COLLATE NOCASE NULL,
    IE92_CustomerReference                                   nvarchar(200)  COLLATE NOCASE NULL,
    IE92_AccountingCost                                      nvarchar(200)  COLLATE NOCASE NULL,
    IE92_ValidityPeriod_EndDate                              datetime       NULL,
    IE92_QuotationDocumentReference_ID                       nvarchar(200)  COLLATE NOCASE NULL,
    -- NSO reference of a revision or cancellation: number#date#endpoint#operation
    IE92_OrderDocumentReference_ID                           nvarchar(200)  COLLATE NOCASE NULL,
    IE92_OriginatorDocumentReference_ID                      nvarchar(200)  COLLATE NOCASE NULL,
    IE92_AdditionalDocumentReference_ID                      nvarchar(200)  COLLATE NOCASE NULL,
    IE92_AdditionalDocumentReference_DocumentDescription     nvarchar(500)  COLLATE NOCASE NULL,
    IE92_Contract_ID                                         nvarchar(200)  COLLATE NOCASE NULL,
    IE92_ProjectReference_ID                                 nvarchar(200)  COLLATE NOCASE NULL,
    -- buyer: EndpointID is the public-administration office code
    IE92_BuyerCustomerParty_Party_EndpointID                 varchar(50)    COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PartyIdentification_ID     varchar(50)    COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PartyName_Name             nvarchar(200)  COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PostalAddress_StreetName   nvarchar(200)  COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PostalAddress_AdditionalStreetName nvarchar(200) COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PostalAddress_CityName     nvarchar(100)  COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone   varchar(20)    COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PostalAddress_CountrySubentity nvarchar(100) COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PostalAddress_Country_IdentificationCode varchar(3) COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID   varchar(50)    COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PartyLegalEntity_RegistrationName nvarchar(200) COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_Contact_Name               nvarchar(200)  COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_Contact_Telephone          varchar(50)    COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_Contact_ElectronicMail     nvarchar(200)  COLLATE NOCASE NULL,
    -- seller (the company receiving the order)
    IE92_SellerSupplierParty_Party_EndpointID                varchar(50)    COLLATE NOCASE NULL,
    IE92_SellerSupplierParty_Party_PartyIdentification_ID    varchar(50)    COLLATE NOCASE NULL,
    IE92_SellerSupplierParty_Party_PartyName_Name            nvarchar(200)  COLLATE NOCASE NULL,
    IE92_SellerSupplierParty_Party_PostalAddress_StreetName  nvarchar(200)  COLLATE NOCASE NULL,
    IE92_SellerSupplierParty_Party_PostalAddress_CityName    nvarchar(100)  COLLATE NOCASE NULL,
    IE92_SellerSupplierParty_Party_PostalAddress_PostalZone  varchar(20)    COLLATE NOCASE NULL,
    IE92_SellerSupplierParty_Party_PartyTaxScheme_CompanyID  varchar(50)    COLLATE NOCASE NULL,
    IE92_SellerSupplierParty_Party_PartyLegalEntity_RegistrationName nvarchar(200) COLLATE NOCASE NULL,
    IE92_SellerSupplierParty_Party_PartyLegalEntity_CompanyID varchar(50)   COLLATE NOCASE NULL,
    IE92_SellerSupplierParty_Party_Contact_Name              nvarchar(200)  COLLATE NOCASE NULL,
    IE92_SellerSupplierParty_Party_Contact_ElectronicMail    nvarchar(200)  COLLATE NOCASE NULL,
    -- the office that originated the order
    IE92_OriginatorCustomerParty_Party_PartyIdentification_ID varchar(50)   COLLATE NOCASE NULL,
    IE92_OriginatorCustomerParty_Party_PartyName_Name        nvarchar(200)  COLLATE NOCASE NULL,
    IE92_OriginatorCustomerParty_Party_Contact_Name          nvarchar(200)  COLLATE NOCASE NULL,
    IE92_OriginatorCustomerParty_Party_Contact_Telephone     varchar(50)    COLLATE NOCASE NULL,
    IE92_OriginatorCustomerParty_Party_Contact_ElectronicMail nvarchar(200) COLLATE NOCASE NULL,
    -- invoicing office: EndpointID feeds the public-administration office of the ERP order
    IE92_AccountingCustomerParty_Party_EndpointID            varchar(50)    COLLATE NOCASE NULL,
    IE92_AccountingCustomerParty_Party_PartyIdentification_ID varchar(50)   COLLATE NOCASE NULL,
    IE92_AccountingCustomerParty_Party_PartyName_Name        nvarchar(200)  COLLATE NOCASE NULL,
    IE92_AccountingCustomerParty_Party_PostalAddress_StreetName nvarchar(200) COLLATE NOCASE NULL,
    IE92_AccountingCustomerParty_Party_PostalAddress_CityName nvarchar(100) COLLATE NOCASE NULL,
    IE92_AccountingCustomerParty_Party_PostalAddress_PostalZone varchar(20) COLLATE NOCASE NULL,
    IE92_AccountingCustomerParty_Party_PartyTaxScheme_CompanyID varchar(50) COLLATE NOCASE NULL,
    IE92_AccountingCustomerParty_Party_Contact_Name          nvarchar(200)  COLLATE NOCASE NULL,
    IE92_AccountingCustomerParty_Party_Contact_ElectronicMail nvarchar(200) COLLATE NOCASE NULL,
    -- delivery
    IE92_Delivery_DeliveryLocation_ID                        varchar(100)   COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryLocation_Address_StreetName        nvarchar(200)  COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryLocation_Address_AdditionalStreetName nvarchar(200) COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryLocation_Address_CityName          nvarchar(100)  COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryLocation_Address_PostalZone        varchar(20)    COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryLocation_Address_CountrySubentity  nvarchar(100)  COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryLocation_Address_AddressLine_Line  nvarchar(500)  COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryLocation_Address_Country_IdentificationCode varchar(3) COLLATE NOCASE NULL,
    IE92_Delivery_RequestedDeliveryPeriod_StartDate          datetime       NULL,
    IE92_Delivery_RequestedDeliveryPeriod_EndDate            datetime       NULL,
    IE92_Delivery_DeliveryParty_PartyIdentification_ID       varchar(50)    COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryParty_PartyName_Name               nvarchar(200)  COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryParty_Contact_Name                 nvarchar(200)  COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryParty_Contact_Telephone            varchar(50)    COLLATE NOCASE NULL,
    IE92_Delivery_DeliveryParty_Contact_ElectronicMail       nvarchar(200)  COLLATE NOCASE NULL,
    IE92_DeliveryTerms_ID                                    nvarchar(100)  COLLATE NOCASE NULL,
    IE92_DeliveryTerms_SpecialTerms                          nvarchar(500)  COLLATE NOCASE NULL,
    IE92_PaymentTerms_Note                                   nvarchar(1000) COLLATE NOCASE NULL,
    -- totals
    IE92_TaxTotal_TaxAmount                                  decimal(19,6)  NULL,
    IE92_AnticipatedMonetaryTotal_LineExtensionAmount        decimal(19,6)  NULL,
    IE92_AnticipatedMonetaryTotal_TaxExclusiveAmount         decimal(19,6)  NULL,
    IE92_AnticipatedMonetaryTotal_TaxInclusiveAmount         decimal(19,6)  NULL,
    IE92_AnticipatedMonetaryTotal_AllowanceTotalAmount       decimal(19,6)  NULL,
    IE92_AnticipatedMonetaryTotal_ChargeTotalAmount          decimal(19,6)  NULL,
    IE92_AnticipatedMonetaryTotal_PrepaidAmount              decimal(19,6)  NULL,
    IE92_AnticipatedMonetaryTotal_PayableRoundingAmount      decimal(19,6)  NULL,
    IE92_AnticipatedMonetaryTotal_PayableAmount              decimal(19,6)  NULL
);
CREATE UNIQUE INDEX IE92_NSOTESTATAXML_ID_IE91 ON IE92_NSOTESTATAXML (IE92_ID_IE91);

-- Allowances and charges of the order as a whole, relative to an AllowanceCharge element.
-- ChargeIndicator is kept as text ("true"/"false").
CREATE TABLE IE96_NSOTESTATASCONTIXML (
    IE96_ID                          INTEGER PRIMARY KEY AUTOINCREMENT,
    IE96_ID_IE91                     int NOT NULL
        REFERENCES IE91_NSOFILES (IE91_ID) ON DELETE CASCADE,
    IE96_ChargeIndicator             varchar(5)    COLLATE NOCASE NULL,
    IE96_AllowanceChargeReasonCode   varchar(10)   COLLATE NOCASE NULL,
    IE96_AllowanceChargeReason       nvarchar(500) COLLATE NOCASE NULL,
    IE96_MultiplierFactorNumeric     decimal(19,6) NULL,
    IE96_Amount                      decimal(19,6) NULL,
    IE96_BaseAmount                  decimal(19,6) NULL,
    IE96_TaxCategory_ID              varchar(10)   COLLATE NOCASE NULL,
    IE96_TaxCategory_Percent         decimal(19,6) NULL
);
CREATE INDEX IE96_NSOTESTATASCONTIXML_ID_IE91 ON IE96_NSOTESTATASCONTIXML (IE96_ID_IE91);

-- Order lines, relative to an OrderLine element. Decoding also adds rows that carry only
-- IE94_ID_IE91 (one per allowance or charge of the order), so every data column is nullable.
CREATE TABLE IE94_NSOCORPOXML (
    IE94_ID                                                  INTEGER PRIMARY KEY AUTOINCREMENT,
    IE94_ID_IE91                                             int NOT NULL
        REFERENCES IE91_NSOFILES (IE91_ID) ON DELETE CASCADE,
    IE94_Note                                                nvarchar(1000) COLLATE NOCASE NULL,
    IE94_LineItem_ID                                         varchar(50)    COLLATE NOCASE NULL,
    IE94_LineItem_Note                                       nvarchar(1000) COLLATE NOCASE NULL,
    IE94_LineItem_Quantity                                   decimal(19,6)  NULL,
    IE94_LineItem_LineExtensionAmount                        decimal(19,6)  NULL,
    IE94_LineItem_PartialDeliveryIndicator                   varchar(5)     COLLATE NOCASE NULL,
    IE94_LineItem_AccountingCost                             nvarchar(200)  COLLATE NOCASE NULL,
    IE94_LineItem_Delivery_RequestedDeliveryPeriod_StartDate datetime       NULL,
    IE94_LineItem_Delivery_RequestedDeliveryPeriod_EndDate   datetime       NULL,
    IE94_LineItem_OriginatorParty_PartyIdentification_ID     varchar(50)    COLLATE NOCASE NULL,
    IE94_LineItem_OriginatorParty_PartyName_Name             nvarchar(200)  COLLATE NOCASE NULL,
    IE94_LineItem_Price_PriceAmount                          decimal(19,6)  NULL,
    IE94_LineItem_Price_BaseQuantity                         decimal(19,6)  NULL,
    IE94_LineItem_Item_Description                           nvarchar(4000) COLLATE NOCASE NULL,
    IE94_LineItem_Item_Name                                  nvarchar(500)  COLLATE NOCASE NULL,
    IE94_LineItem_Item_BuyersItemIdentification_ID           varchar(100)   COLLATE NOCASE NULL,
    IE94_LineItem_Item_SellersItemIdentification_ID          varchar(100)   COLLATE NOCASE NULL,
    IE94_LineItem_Item_StandardItemIdentification_ID         varchar(100)   COLLATE NOCASE NULL,
    IE94_LineItem_Item_CommodityClassification_ItemClassificationCode varchar(100) COLLATE NOCASE NULL,
    IE94_LineItem_Item_ClassifiedTaxCategory_ID              varchar(10)    COLLATE NOCASE NULL,
    IE94_LineItem_Item_ClassifiedTaxCategory_Percent         decimal(19,6)  NULL,
    IE94_LineItem_Item_AdditionalItemProperty_Name           nvarchar(200)  COLLATE NOCASE NULL,
    IE94_LineItem_Item_AdditionalItemProperty_Value          nvarchar(500)  COLLATE NOCASE NULL
);
CREATE INDEX IE94_NSOCORPOXML_ID_IE91 ON IE94_NSOCORPOXML (IE94_ID_IE91);

-- Allowances and charges of a line, relative to an AllowanceCharge element of its LineItem.
-- No foreign key to IE94: reloading an order replaces its lines and leaves these rows alone.
CREATE TABLE IE9A_NSOCORPOSCONTIXML (
    IE9A_ID                          INTEGER PRIMARY KEY AUTOINCREMENT,
    IE9A_ID_IE91                     int NOT NULL
        REFERENCES IE91_NSOFILES (IE91_ID) ON DELETE CASCADE,
    IE9A_ID_IE94                     int NOT NULL,
    IE9A_ChargeIndicator             varchar(5)    COLLATE NOCASE NULL,
    IE9A_AllowanceChargeReasonCode   varchar(10)   COLLATE NOCASE NULL,
    IE9A_AllowanceChargeReason       nvarchar(500) COLLATE NOCASE NULL,
    IE9A_MultiplierFactorNumeric     decimal(19,6) NULL,
    IE9A_Amount                      decimal(19,6) NULL,
    IE9A_BaseAmount                  decimal(19,6) NULL
);
CREATE INDEX IE9A_NSOCORPOSCONTIXML_ID_IE91 ON IE9A_NSOCORPOSCONTIXML (IE9A_ID_IE91);
CREATE INDEX IE9A_NSOCORPOSCONTIXML_ID_IE94 ON IE9A_NSOCORPOSCONTIXML (IE9A_ID_IE94);

-- Decoded order header: one row per decoded order, each column named after the ERP document
-- field it feeds.
CREATE TABLE IE93_NSOTESTATA (
    IE93_ID                   INTEGER PRIMARY KEY AUTOINCREMENT,
    IE93_ID_IE91              int NOT NULL
        REFERENCES IE91_NSOFILES (IE91_ID) ON DELETE CASCADE,
    IE93_STATUS               smallint      NULL DEFAULT 0,
    IE93_DO12_FEIDDOC         varchar(50)   COLLATE NOCASE NULL,
    IE93_DO12_FEDATADOC       datetime      NULL,
    IE93_DO12_FEIDSOGGETTO    varchar(50)   COLLATE NOCASE NULL,
    IE93_DO11_DATADOC         datetime      NULL,
    IE93_DO11_CODDOCUM_MG3G   varchar(10)   COLLATE NOCASE NULL,
    IE93_DO11_SEZDOC          varchar(10)   COLLATE NOCASE NULL,
    IE93_DO11_CODDEP          varchar(10)   COLLATE NOCASE NULL,
    IE93_DO11_TIPOCF_CG44     smallint      NULL,
    IE93_DO11_CLIFOR_CG44     int           NULL,
    IE93_DO11_VALUTA_CG08     varchar(10)   COLLATE NOCASE NULL,
    IE93_DO11_UFFICIOPA_CG1M  varchar(50)   COLLATE NOCASE NULL,
    IE93_DO11_CLIFORDEST      varchar(10)   COLLATE NOCASE NULL,
    IE93_DO12_NOTEVSDOC       nvarchar(240) COLLATE NOCASE NULL,
    IE93_DO13_SCIMPCASSA      decimal(19,6) NULL
);
CREATE UNIQUE INDEX IE93_NSOTESTATA_ID_IE91 ON IE93_NSOTESTATA (IE93_ID_IE91);

-- Decoded order lines.
CREATE TABLE IE95_NSOCORPO (
    IE95_ID                   INTEGER PRIMARY KEY AUTOINCREMENT,
    IE95_ID_IE91              int NOT NULL
        REFERENCES IE91_NSOFILES (IE91_ID) ON DELETE CASCADE,
    IE95_ID_IE94              int           NULL,
    IE95_STATUS               smallint      NULL DEFAULT 0,
    IE95_DO30_PROGRIGA        int           NULL,
    IE95_DO30_CODART_MG66     varchar(50)   COLLATE NOCASE NULL,
    IE95_DO30_OPZIONE_MG5E    varchar(20)   COLLATE NOCASE NULL,
    IE95_DO30_INDTIPORIGA     smallint      NULL,
    IE95_DO30_DESCART         nvarchar(4000) COLLATE NOCASE NULL,
    IE95_DO30_QTA1            decimal(19,6) NULL,
    IE95_DO30_PREZZO1         decimal(19,6) NULL,
    IE95_DO30_SCPER1          decimal(19,6) NULL,
    IE95_DO30_SCPER2          decimal(19,6) NULL,
    IE95_DO30_SCPER3          decimal(19,6) NULL,
    IE95_DO30_SCPER4          decimal(19,6) NULL,
    IE95_DO30_SCPER5          decimal(19,6) NULL,
    IE95_DO30_SCPER6          decimal(19,6) NULL,
    IE95_DO30_SCIMP           decimal(19,6) NULL,
    IE95_DO30_MAGPER1         decimal(19,6) NULL,
    IE95_DO30_MAGPER2         decimal(19,6) NULL,
    IE95_DO30_MAGIMP          decimal(19,6) NULL,
    IE95_ALIVA_XML            decimal(19,6) NULL, -- VAT rate as given in the order
    IE95_DO30_ALIVA_CG28      varchar(10)   COLLATE NOCASE NULL,
    IE95_DO31_DATACONS        datetime      NULL
);
CREATE INDEX IE95_NSOCORPO_ID_IE91 ON IE95_NSOCORPO (IE95_ID_IE91, IE95_DO30_PROGRIGA);
CREATE INDEX IE95_NSOCORPO_ID_IE94 ON IE95_NSOCORPO (IE95_ID_IE94);

-- Message catalogue of the error log; %1, %2, ... are filled from parameters.
CREATE TABLE IE97_NSO_ERRORS (
    IE97_CODE     int            NOT NULL PRIMARY KEY,
    IE97_MESSAGE  nvarchar(1024) NULL
);

-- Error log. Rows are inserted without a column list: the order of the columns is part of the
-- contract and must not change. No foreign key: an entry may name any document id.
CREATE TABLE IE98_NSO_LOGERRORS (
    IE98_ID             INTEGER PRIMARY KEY AUTOINCREMENT,
    IE98_ID_IE91        int           NOT NULL,
    IE98_ID_IE94        int           NULL,
    IE98_PROGRIGA_DO30  int           NULL,
    IE98_CODE_IE97      int           NULL,
    IE98_FIELD          varchar(100)  COLLATE NOCASE NULL,
    IE98_TYPE           int           NULL, -- severity: 1 information, 2 warning, 3 error
    IE98_CONTESTO       int           NULL, -- 1 verification, 2 import, 3 decoding
    IE98_ERRORMESSAGE   varchar(1024) COLLATE NOCASE NULL
);
CREATE INDEX IE98_NSO_LOGERRORS_ID_IE91
    ON IE98_NSO_LOGERRORS (IE98_ID_IE91, IE98_PROGRIGA_DO30, IE98_CONTESTO);

------------------------------------------------------------------------------------------------
-- ERP tables read or written by the component (only the columns it and the import use)
------------------------------------------------------------------------------------------------

-- Users of the application.
CREATE TABLE FW07_APPUSER (
    FW07_ID        int           NOT NULL PRIMARY KEY,
    FW07_USERNAME  nvarchar(100) COLLATE NOCASE NULL
);

-- Document codes of a company with their default section and warehouse.
CREATE TABLE MG3G_DOCDITTA (
    MG3G_DITTA_CG18       int           NOT NULL,
    MG3G_CODDOCUM_MG36    varchar(10)   COLLATE NOCASE NOT NULL,
    MG3G_DESCRIZIONE      nvarchar(100) COLLATE NOCASE NULL,
    MG3G_SEZDEFAULT       varchar(10)   COLLATE NOCASE NULL,
    MG3G_DEPDEFAULT_MG58  varchar(10)   COLLATE NOCASE NULL,
    PRIMARY KEY (MG3G_DITTA_CG18, MG3G_CODDOCUM_MG36)
);

-- Currencies: ERP code and ISO code.
CREATE TABLE CG08_TABVALUTE (
    CG08_CODICE       varchar(10)   COLLATE NOCASE NOT NULL PRIMARY KEY,
    CG08_SIGLA        varchar(3)    COLLATE NOCASE NULL,
    CG08_DESCRIZIONE  nvarchar(100) COLLATE NOCASE NULL
);
CREATE INDEX CG08_TABVALUTE_SIGLA ON CG08_TABVALUTE (CG08_SIGLA);

-- Master records of customers and suppliers, shared by the companies.
CREATE TABLE CG16_ANAGRAFICA (
    CG16_CODICE         int           NOT NULL PRIMARY KEY,
    CG16_RAGSOC         nvarchar(200) COLLATE NOCASE NULL,
    CG16_PARTIVA        varchar(20)   COLLATE NOCASE NULL, -- VAT number
    CG16_CODFISCALE     varchar(20)   COLLATE NOCASE NULL, -- fiscal code
    CG16_FLGANAGVAL     smallint      NULL DEFAULT 1,      -- 1: valid master record
    CG16_DATAINIZIOVAL  datetime      NULL,                -- validity period; Null: open
    CG16_DATAFINEVAL    datetime      NULL
);
CREATE INDEX CG16_ANAGRAFICA_PARTIVA ON CG16_ANAGRAFICA (CG16_PARTIVA);
CREATE INDEX CG16_ANAGRAFICA_CODFISCALE ON CG16_ANAGRAFICA (CG16_CODFISCALE);

-- Customers (TIPOCF 0) and suppliers (TIPOCF 1) of a company.
CREATE TABLE CG44_CLIFOR (
    CG44_DITTA_CG18   int      NOT NULL,
    CG44_TIPOCF       smallint NOT NULL,
    CG44_CLIFOR       int      NOT NULL,
    CG44_CODICE_CG16  int      NULL,
    PRIMARY KEY (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR)
);
CREATE INDEX CG44_CLIFOR_CODICE_CG16 ON CG44_CLIFOR (CG44_CODICE_CG16);

-- Customers and suppliers with their master record.
CREATE VIEW VCG16_CG44_ALLADATA AS
SELECT CG44_DITTA_CG18    AS VCG16_44_CF_DITTA,
       CG44_TIPOCF        AS VCG16_44_CF_TIPOCF,
       CG44_CLIFOR        AS VCG16_44_CF_CLIFOR,
       CG44_CODICE_CG16   AS VCG16_44_CF_CODICE_CG16,
       CG16_RAGSOC,
       CG16_PARTIVA,
       CG16_CODFISCALE,
       CG16_FLGANAGVAL,
       CG16_DATAINIZIOVAL AS DATAINIZIOVALIDITA,
       CG16_DATAFINEVAL   AS DATAFINEVALIDITA
FROM CG44_CLIFOR
INNER JOIN CG16_ANAGRAFICA ON CG16_CODICE = CG44_CODICE_CG16;

-- Further customer and supplier data.
CREATE TABLE MG19_CLIFORVA (
    MG19_DITTA_CG18   int      NOT NULL,
    MG19_TIPOCF_CG44  smallint NOT NULL,
    MG19_CLIFOR_CG44  int      NOT NULL,
    MG19_DATADISMIS   datetime NULL, -- no longer used from this date
    PRIMARY KEY (MG19_DITTA_CG18, MG19_TIPOCF_CG44, MG19_CLIFOR_CG44)
);

-- Public-administration offices of a master record. The import adds offices without naming
-- the kind, so CG1M_TIPOCF_CG44 defaults to customer (0).
CREATE TABLE CG1M_UFFICIOPA (
    CG1M_CODICE       varchar(50)  COLLATE NOCASE NOT NULL, -- office code (IPA)
    CG1M_CODICE_CG16  int          NOT NULL,
    CG1M_TIPOCF_CG44  smallint     NOT NULL DEFAULT 0,
    CG1M_NOME         nvarchar(60) COLLATE NOCASE NULL,
    CG1M_INDIRIZZO    nvarchar(40) COLLATE NOCASE NULL,
    CG1M_COMUNE       nvarchar(40) COLLATE NOCASE NULL,
    CG1M_CAP          varchar(10)  COLLATE NOCASE NULL,
    CG1M_INDTYPEB2B   smallint     NULL,
    PRIMARY KEY (CG1M_CODICE_CG16, CG1M_TIPOCF_CG44, CG1M_CODICE)
);
CREATE INDEX CG1M_UFFICIOPA_CODICE ON CG1M_UFFICIOPA (CG1M_CODICE);

-- Delivery destinations of a customer.
CREATE TABLE MG22_CLIFORDEST (
    MG22_DITTA_CG18             int           NOT NULL,
    MG22_TIPOCF_CG44            smallint      NOT NULL,
    MG22_CLIFOR_CG44            int           NOT NULL,
    MG22_CODDESTIN              varchar(10)   COLLATE NOCASE NOT NULL,
    MG22_DESTRAGSOC             nvarchar(200) COLLATE NOCASE NULL,
    MG22_INDIRIZZO              nvarchar(200) COLLATE NOCASE NULL,
    MG22_COMUNE                 nvarchar(100) COLLATE NOCASE NULL,
    MG22_CAP                    varchar(10)   COLLATE NOCASE NULL,
    MG22_IDDELIVERYLOCATIONNSO  nvarchar(100) COLLATE NOCASE NULL, -- NSO delivery-location id
    PRIMARY KEY (MG22_DITTA_CG18, MG22_TIPOCF_CG44, MG22_CLIFOR_CG44, MG22_CODDESTIN)
);
CREATE INDEX MG22_CLIFORDEST_IDDELIVERYLOCATIONNSO
    ON MG22_CLIFORDEST (MG22_DITTA_CG18, MG22_TIPOCF_CG44, MG22_CLIFOR_CG44,
                        MG22_IDDELIVERYLOCATIONNSO);

-- Items.
CREATE TABLE MG66_ANAGRART (
    MG66_DITTA_CG18    int           NOT NULL,
    MG66_CODART        varchar(50)   COLLATE NOCASE NOT NULL,
    MG66_DESCART       nvarchar(200) COLLATE NOCASE NULL,
    MG66_ALIVA_CG28    varchar(10)   COLLATE NOCASE NULL,
    MG66_AICMINSANNSO  varchar(100)  COLLATE NOCASE NULL, -- standard item id of NSO orders
    PRIMARY KEY (MG66_DITTA_CG18, MG66_CODART)
);
CREATE INDEX MG66_ANAGRART_AICMINSANNSO ON MG66_ANAGRART (MG66_DITTA_CG18, MG66_AICMINSANNSO);

-- A customer's or supplier's own codes for items.
CREATE TABLE MG73_ARTCLIFOR (
    MG73_DITTA_CG18    int          NOT NULL,
    MG73_TIPOCF_CG44   smallint     NOT NULL,
    MG73_CLIFOR_CG44   int          NOT NULL,
    MG73_ARTCLIFOR     varchar(100) COLLATE NOCASE NOT NULL,
    MG73_CODART_MG66   varchar(50)  COLLATE NOCASE NOT NULL,
    MG73_OPZIONE_MG5E  varchar(20)  COLLATE NOCASE NOT NULL DEFAULT '',
    PRIMARY KEY (MG73_DITTA_CG18, MG73_TIPOCF_CG44, MG73_CLIFOR_CG44, MG73_ARTCLIFOR)
);

-- Item descriptions.
CREATE TABLE MG87_ARTDESC (
    MG87_ID            INTEGER PRIMARY KEY AUTOINCREMENT,
    MG87_DITTA_CG18    int            NOT NULL,
    MG87_CODART_MG66   varchar(50)    COLLATE NOCASE NOT NULL,
    MG87_OPZIONE_MG5E  varchar(20)    COLLATE NOCASE NOT NULL DEFAULT '',
    MG87_DESCART       nvarchar(4000) COLLATE NOCASE NULL
);
CREATE INDEX MG87_ARTDESC_DESCART ON MG87_ARTDESC (MG87_DITTA_CG18, MG87_DESCART);

-- VAT codes.
CREATE TABLE CG28_TABCODIVA (
    CG28_CODICE       varchar(10)   COLLATE NOCASE NOT NULL PRIMARY KEY,
    CG28_DESCRIZIONE  nvarchar(100) COLLATE NOCASE NULL,
    CG28_ALIQUOTA     decimal(19,6) NULL
);

-- Sales documents: header.
CREATE TABLE DO11_DOCTESTATA (
    DO11_DITTA_CG18       int          NOT NULL,
    DO11_NUMREG_CO99      int          NOT NULL, -- registration number
    DO11_GUID             varchar(36)  COLLATE NOCASE NULL,
    DO11_DOCUM_MG36       varchar(10)  COLLATE NOCASE NULL,
    DO11_SEZDOC           varchar(10)  COLLATE NOCASE NULL,
    DO11_NUMDOC           int          NULL,
    DO11_DATADOC          datetime     NULL,
    DO11_ANNODOC          smallint     NULL,
    DO11_TIPOCF_CG44      smallint     NULL,
    DO11_CLIFOR_CG44      int          NULL,
    DO11_CODDEP           varchar(10)  COLLATE NOCASE NULL,
    DO11_VALUTA_CG08      varchar(10)  COLLATE NOCASE NULL,
    DO11_UFFICIOPA_CG1M   varchar(50)  COLLATE NOCASE NULL,
    DO11_CLIFORDEST       varchar(10)  COLLATE NOCASE NULL,
    DO11_FLGNONPIUEV      smallint     NOT NULL DEFAULT 0, -- 1: no longer to be fulfilled
    PRIMARY KEY (DO11_DITTA_CG18, DO11_NUMREG_CO99)
);
CREATE INDEX DO11_DOCTESTATA_GUID ON DO11_DOCTESTATA (DO11_GUID);

-- Sales documents: reference data, among it the identity of the electronic order it came from.
CREATE TABLE DO12_DOCTESTARIF (
    DO12_DITTA_CG18    int           NOT NULL,
    DO12_NUMREG_CO99   int           NOT NULL,
    DO12_FEIDDOC       varchar(50)   COLLATE NOCASE NULL,
    DO12_FEDATADOC     datetime      NULL,
    DO12_FEIDSOGGETTO  varchar(50)   COLLATE NOCASE NULL,
    DO12_NOTEVSDOC     nvarchar(240) COLLATE NOCASE NULL,
    PRIMARY KEY (DO12_DITTA_CG18, DO12_NUMREG_CO99)
);
CREATE INDEX DO12_DOCTESTARIF_FE ON DO12_DOCTESTARIF (DO12_FEIDDOC, DO12_FEDATADOC, DO12_FEIDSOGGETTO);

-- Sales documents: footer.
CREATE TABLE DO13_DOCPIEDE (
    DO13_DITTA_CG18   int           NOT NULL,
    DO13_NUMREG_CO99  int           NOT NULL,
    DO13_SCIMPCASSA   decimal(19,6) NULL, -- cash discount
    PRIMARY KEY (DO13_DITTA_CG18, DO13_NUMREG_CO99)
);

-- Sales documents: lines.
CREATE TABLE DO30_DOCCORPO (
    DO30_DITTA_CG18     int            NOT NULL,
    DO30_NUMREG_CO99    int            NOT NULL,
    DO30_PROGRIGA       int            NOT NULL,
    DO30_INDTIPORIGA    smallint       NULL,
    DO30_CODART_MG66    varchar(50)    COLLATE NOCASE NULL,
    DO30_OPZIONE_MG5E   varchar(20)    COLLATE NOCASE NULL,
    DO30_DESCART        nvarchar(4000) COLLATE NOCASE NULL,
    DO30_QTA1           decimal(19,6)  NULL,
    DO30_PREZZO1        decimal(19,6)  NULL,
    DO30_SCPER1         decimal(19,6)  NULL,
    DO30_SCPER2         decimal(19,6)  NULL,
    DO30_SCPER3         decimal(19,6)  NULL,
    DO30_SCPER4         decimal(19,6)  NULL,
    DO30_SCPER5         decimal(19,6)  NULL,
    DO30_SCPER6         decimal(19,6)  NULL,
    DO30_SCIMP          decimal(19,6)  NULL,
    DO30_MAGPER1        decimal(19,6)  NULL,
    DO30_MAGPER2        decimal(19,6)  NULL,
    DO30_MAGIMP         decimal(19,6)  NULL,
    DO30_ALIVA_CG28     varchar(10)    COLLATE NOCASE NULL,
    PRIMARY KEY (DO30_DITTA_CG18, DO30_NUMREG_CO99, DO30_PROGRIGA)
);

-- Sales documents: order data of a line (delivery date, quantity delivered so far).
CREATE TABLE DO31_DOCCORPOORD (
    DO31_DITTA_CG18   int           NOT NULL,
    DO31_NUMREG_CO99  int           NOT NULL,
    DO31_PROGRIGA     int           NOT NULL,
    DO31_DATACONS     datetime      NULL,
    DO31_QTA1CONS     decimal(19,6) NOT NULL DEFAULT 0,
    PRIMARY KEY (DO31_DITTA_CG18, DO31_NUMREG_CO99, DO31_PROGRIGA)
);

------------------------------------------------------------------------------------------------
-- Error catalogue
------------------------------------------------------------------------------------------------

INSERT INTO IE97_NSO_ERRORS (IE97_CODE, IE97_MESSAGE) VALUES
    (0,   'Importazione dell''ordine non riuscita'),
    (12,  'Il documento non contiene un ordine (elemento Order) o non è stato possibile caricarlo nelle tabelle di appoggio'),
    (13,  'Ordine non importabile: un ordine precedente della stessa catena ha quantità già consegnate'),
    (14,  'Ordine importato correttamente'),
    (15,  'Ordine già importato nel documento %1 sezionale %2 numero %3 del %4'),
    (100, 'Codice documento mancante'),
    (101, 'Sezionale del documento mancante'),
    (102, 'Deposito mancante'),
    (103, 'Cliente non trovato'),
    (104, 'Valuta mancante o non trovata'),
    (105, 'Destinazione non trovata per il luogo di consegna dell''ordine'),
    (106, 'Il codice ufficio della pubblica amministrazione corrisponde a più clienti'),
    (200, 'Articolo non trovato per il codice articolo del fornitore'),
    (201, 'Data di consegna mancante'),
    (202, 'Codice IVA mancante'),
    (203, 'Codice IVA non presente nella tabella dei codici IVA'),
    (204, 'L''identificativo standard dell''articolo corrisponde a più articoli');
