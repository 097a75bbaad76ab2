#include "sqlite/sqlite_database.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "schema_scripts.h"
#include "temp_database.h"

namespace {

using kvad::Connection;
namespace db = kvad::db;

std::shared_ptr<Connection> NewDatabase() {
    auto connection = db::OpenSqlite(":memory:");
    db::ApplySchema(*connection);
    return connection;
}

long CountRows(Connection& connection, const std::string& sql) {
    return connection.Query(sql)->RecordCount();
}

std::vector<std::string> ColumnNames(Connection& connection, const std::string& table) {
    auto rows = connection.OpenRecordset("SELECT * FROM " + table);
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(rows->FieldCount()));
    for (int i = 0; i < rows->FieldCount(); ++i) {
        names.push_back(rows->FieldName(i));
    }
    return names;
}

using SchemaFile = kvad::test::TempDatabase;

TEST_F(SchemaFile, InitTwiceKeepsDataAndVersion) {
    EXPECT_EQ(db::SchemaVersion(*connection), 0);
    EXPECT_EQ(db::ApplySchema(*connection), db::LatestSchemaVersion());
    // Finding the file without a schema is no provider error for a later message to report.
    EXPECT_TRUE(connection->Errors().empty());
    EXPECT_FALSE(db::IsReadOnly(*connection));
    connection->Execute("INSERT INTO IE90_CONFIGNSO (IE90_DITTA_CG18, IE90_CODDOCUM_MG3G) "
                        "VALUES (1, 'OCL')");
    connection.reset();

    connection = Open();
    EXPECT_EQ(db::SchemaVersion(*connection), db::LatestSchemaVersion());
    EXPECT_EQ(db::ApplySchema(*connection), db::LatestSchemaVersion());
    EXPECT_EQ(CountRows(*connection, "SELECT IE90_DITTA_CG18 FROM IE90_CONFIGNSO"), 1);
    // One record per script: a version number may be skipped, none is applied twice.
    EXPECT_EQ(CountRows(*connection, "SELECT SCHEMA_VERSION FROM KVAD_SCHEMA_VERSION"),
              static_cast<long>(db::EmbeddedSchemaScripts().size()));
}

TEST_F(SchemaFile, RegisterRebuiltWithItsXmlLastKeepsRowsIdsAndReferences) {
    ASSERT_EQ(db::ApplySchema(*connection, 5), 5);
    Native("INSERT INTO CG18_DITTA (CG18_CODICE, CG18_PARTIVA) VALUES (1, '01234567890');"
           "INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_XML, IE91_RIF_IDORD, "
           "IE91_PROCESSATO) VALUES (1, 'A', '<Order>a</Order>', NULL, 0), (1, 'B', "
           "'<Order>b</Order>', 'A', 1), (1, 'C', '<Order>c</Order>', NULL, 0);"
           "INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91) VALUES (1), (2), (3);"
           "DELETE FROM IE91_NSOFILES WHERE IE91_ID = 3;");
    ASSERT_EQ(CountRows(*connection, "SELECT IE92_ID FROM IE92_NSOTESTATAXML"), 2);

    ASSERT_EQ(db::ApplySchema(*connection), db::LatestSchemaVersion());
    const std::vector<std::string> columns = ColumnNames(*connection, "IE91_NSOFILES");
    ASSERT_FALSE(columns.empty());
    EXPECT_EQ(columns.back(), "IE91_XML");
    EXPECT_EQ(columns.size(), 16U);
    auto rows = connection->Query("SELECT IE91_ID, IE91_IDORD, IE91_RIF_IDORD, IE91_PROCESSATO, "
                                  "IE91_XML FROM IE91_NSOFILES ORDER BY IE91_ID");
    ASSERT_FALSE(rows->Eof());
    EXPECT_EQ(rows->Value("IE91_ID").ToLong(), 1);
    EXPECT_EQ(rows->Value("IE91_XML").Text(), "<Order>a</Order>");
    rows->MoveNext();
    EXPECT_EQ(rows->Value("IE91_ID").ToLong(), 2);
    EXPECT_EQ(rows->Value("IE91_RIF_IDORD").Text(), "A");
    EXPECT_EQ(rows->Value("IE91_PROCESSATO").ToLong(), 1);
    rows.reset();
    // The staging rows are still there and still follow their document.
    EXPECT_EQ(CountRows(*connection, "SELECT IE92_ID FROM IE92_NSOTESTATAXML"), 2);
    connection->Execute("DELETE FROM IE91_NSOFILES WHERE IE91_ID = 2");
    EXPECT_EQ(CountRows(*connection, "SELECT IE92_ID FROM IE92_NSOTESTATAXML"), 1);
    // A deleted document's id is not given again, and the indexes are back: a document is
    // registered once per company, its number and end point compared without case.
    const auto insert = [&](int company, const std::string& order, const std::string& date,
                            const std::string& endpoint) {
        connection->Execute("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, "
                            "IE91_ISSUEDATE, IE91_ENDPOINTID) VALUES (" +
                            std::to_string(company) + ", '" + order + "', '" + date + "', '" +
                            endpoint + "')");
    };
    insert(1, "D", "2024-03-05 00:00:00", "UFABC");
    EXPECT_EQ(connection->Query("SELECT MAX(IE91_ID) AS N FROM IE91_NSOFILES")->Value("N").ToLong(),
              4);
    insert(2, "D", "2024-03-05 00:00:00", "UFABC");
    insert(1, "D", "2024-03-06 00:00:00", "UFABC");
    EXPECT_THROW(insert(1, "d", "2024-03-05 00:00:00", "ufabc"), kvad::DbError);
    EXPECT_EQ(CountRows(*connection, "SELECT IE91_ID FROM IE91_NSOFILES"), 4);
}

TEST(Schema, LogTakesInsertsWithoutColumnList) {
    auto connection = NewDatabase();
    const std::vector<std::string> expected = {
        "IE98_ID",    "IE98_ID_IE91", "IE98_ID_IE94",  "IE98_PROGRIGA_DO30", "IE98_CODE_IE97",
        "IE98_FIELD", "IE98_TYPE",    "IE98_CONTESTO", "IE98_ERRORMESSAGE"};
    EXPECT_EQ(ColumnNames(*connection, "IE98_NSO_LOGERRORS"), expected);

    connection->Execute("INSERT INTO IE98_NSO_LOGERRORS   VALUES ( 7, 0, 0, 103, "
                        "'IE93_DO11_CLIFOR_CG44', 3, 1, null) ");
    connection->Execute("INSERT INTO IE98_NSO_LOGERRORS   VALUES ( 7, 12, 2, 201, null, 2, 1, "
                        "'l''ordine') ");
    auto rows = connection->Query("SELECT * FROM IE98_NSO_LOGERRORS ORDER BY IE98_ID");
    ASSERT_FALSE(rows->Eof());
    const auto first = rows->Value("IE98_ID").ToLong();
    EXPECT_EQ(rows->Value("IE98_CODE_IE97").ToLong(), 103);
    EXPECT_TRUE(rows->Value("IE98_ERRORMESSAGE").IsNull());
    rows->MoveNext();
    ASSERT_FALSE(rows->Eof());
    EXPECT_GT(rows->Value("IE98_ID").ToLong(), first);
    EXPECT_EQ(rows->Value("IE98_PROGRIGA_DO30").ToLong(), 2);
    EXPECT_EQ(rows->Value("IE98_ERRORMESSAGE").Text(), "l'ordine");
}

TEST(Schema, CatalogueHasATextForEveryErrorCode) {
    auto connection = NewDatabase();
    auto rows = connection->Query("SELECT IE97_CODE, IE97_MESSAGE FROM IE97_NSO_ERRORS");
    std::set<int> codes;
    for (; !rows->Eof(); rows->MoveNext()) {
        const int code = rows->Value("IE97_CODE").ToLong();
        const std::string text = rows->Value("IE97_MESSAGE").Text();
        codes.insert(code);
        EXPECT_FALSE(rows->Value("IE97_MESSAGE").IsBlank()) << code;
        if (code == 15) {
            for (const char* placeholder : {"%1", "%2", "%3", "%4"}) {
                EXPECT_NE(text.find(placeholder), std::string::npos) << placeholder;
            }
        }
    }
    const std::set<int> expected = {0,   12,  13,  14,  15,  100, 101, 102, 103, 104, 105, 106,
                                    107, 200, 201, 202, 203, 204, 300, 301, 302, 303, 304, 305,
                                    306, 307, 308, 309, 310, 350, 351, 352, 353, 354, 355, 356};
    EXPECT_EQ(codes, expected);
}

TEST(Schema, TextComparesIgnoreCaseInTablesAndViews) {
    auto connection = NewDatabase();
    db::ExecuteNativeScript(
        *connection,
        "INSERT INTO CG08_TABVALUTE (CG08_CODICE, CG08_SIGLA) VALUES ('EU', 'EUR');"
        "INSERT INTO CG16_ANAGRAFICA (CG16_CODICE, CG16_CODFISCALE, CG16_FLGANAGVAL) VALUES (5, "
        "'RSSMRA80A01H501U', 1);"
        "INSERT INTO CG44_CLIFOR (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR, CG44_CODICE_CG16) "
        "VALUES (1, 0, 42, 5)");
    EXPECT_EQ(CountRows(*connection, "SELECT CG08_CODICE FROM CG08_TABVALUTE "
                                     "WHERE CG08_SIGLA = 'eur'"),
              1);
    auto rows = connection->Query("SELECT VCG16_44_CF_CLIFOR FROM VCG16_CG44_ALLADATA "
                                  "WHERE CG16_CODFISCALE = 'rssmra80a01h501u'");
    ASSERT_FALSE(rows->Eof());
    EXPECT_EQ(rows->Value("VCG16_44_CF_CLIFOR").ToLong(), 42);
}

// Every data column of a staging table names a UBL path: steps after the prefix, none empty,
// the prefix only once; and the columns that the component's statements read are there.
TEST(Schema, StagingColumnsSpellUblPaths) {
    auto connection = NewDatabase();
    const std::vector<std::pair<std::string, std::vector<std::string>>> tables = {
        {"IE92_NSOTESTATAXML",
         {"IE92_OrderDocumentReference_ID", "IE92_DocumentCurrencyCode", "IE92_Note",
          "IE92_AccountingCustomerParty_Party_EndpointID",
          "IE92_BuyerCustomerParty_Party_PartyName_Name",
          "IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID",
          "IE92_BuyerCustomerParty_Party_PostalAddress_StreetName",
          "IE92_BuyerCustomerParty_Party_PostalAddress_CityName",
          "IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone",
          "IE92_Delivery_DeliveryLocation_ID", "IE92_Delivery_DeliveryParty_PartyName_Name"}},
        {"IE96_NSOTESTATASCONTIXML",
         {"IE96_ChargeIndicator", "IE96_Amount", "IE96_AllowanceChargeReason",
          "IE96_TaxCategory_ID", "IE96_TaxCategory_Percent"}},
        {"IE94_NSOCORPOXML",
         {"IE94_LineItem_Quantity", "IE94_LineItem_LineExtensionAmount",
          "IE94_LineItem_Price_PriceAmount",
          "IE94_LineItem_Delivery_RequestedDeliveryPeriod_StartDate",
          "IE94_LineItem_Item_Description", "IE94_LineItem_Item_SellersItemIdentification_ID",
          "IE94_LineItem_Item_StandardItemIdentification_ID",
          "IE94_LineItem_Item_ClassifiedTaxCategory_ID",
          "IE94_LineItem_Item_ClassifiedTaxCategory_Percent"}},
        {"IE9A_NSOCORPOSCONTIXML", {"IE9A_ID_IE94", "IE9A_ChargeIndicator", "IE9A_Amount"}},
    };
    for (const auto& [table, required] : tables) {
        const std::string prefix = table.substr(0, 5);
        const std::vector<std::string> names = ColumnNames(*connection, table);
        ASSERT_GE(names.size(), 2U) << table;
        EXPECT_EQ(names[0], prefix + "ID");
        EXPECT_EQ(names[1], prefix + "ID_IE91");
        const std::set<std::string> present(names.begin(), names.end());
        for (const std::string& column : required) {
            EXPECT_TRUE(present.count(column)) << column;
        }
        for (const std::string& column : names) {
            ASSERT_EQ(column.rfind(prefix, 0), 0U) << column;
            const std::string path = column.substr(prefix.size());
            EXPECT_EQ(path.find(prefix), std::string::npos) << column;
            EXPECT_EQ(path.find("__"), std::string::npos) << column;
            EXPECT_NE(path.back(), '_') << column;
        }
    }
}

} // namespace
