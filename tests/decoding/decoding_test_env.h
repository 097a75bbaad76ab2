#pragma once
// Orders staged directly in the staging tables and ERP master data written row by row, for the
// decoding tests. Values are SQLite literals ('text', 12.5, NULL, datetime(...)). Whole documents
// registered beside the demo master data, for the tests that load and decode them.

#include <ctime>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/master_data.h"
#include "kvad_nso/recordset.h"
#include "support/log_entries.h"
#include "support/test_env.h"

namespace kvad::nso::test {

using Columns = std::vector<std::pair<std::string, std::string>>;

using kvad::test::Q;

/// Today moved by a number of days, as the database stores dates.
inline std::string Day(int offset) {
    std::time_t now = std::time(nullptr);
    std::tm day{};
    localtime_r(&now, &day);
    day.tm_mday += offset;
    day.tm_hour = 12; // mktime normalises the day; noon is clear of any clock change
    now = std::mktime(&day);
    localtime_r(&now, &day);
    char text[32];
    std::strftime(text, sizeof text, "'%Y-%m-%d 00:00:00'", &day);
    return text;
}

class DecodingTest : public ::testing::Test {
  protected:
    DecodingTest() {
        env.S().Param_CodiceDocumento = "OCL";
        env.Native("INSERT INTO MG3G_DOCDITTA VALUES (1, 'OCL', NULL, 'A', '01');"
                   "INSERT INTO CG08_TABVALUTE VALUES ('001', 'EUR', NULL)");
    }

    /// Inserts one row and returns its id (the rowid; on PostgreSQL the identity, the table's
    /// first column).
    std::int32_t Insert(const std::string& table, const Columns& columns) {
        std::string names;
        std::string values;
        for (const auto& [name, value] : columns) {
            names += (names.empty() ? "" : ", ") + name;
            values += (values.empty() ? "" : ", ") + value;
        }
        env.Native("INSERT INTO " + table + " (" + names + ") VALUES (" + values + ")");
        const std::string key =
            kvad::test::OnPostgres()
                ? env.Db().Query("SELECT * FROM " + table + " WHERE 1 = 0")->FieldName(0)
                : std::string("rowid");
        return env.Scalar("SELECT MAX(" + key + ") FROM " + table).ToLong();
    }

    /// A registered order of company 1 with a staged header: its CompanyID, IE91_ENDPOINTID and
    /// further IE92 columns.
    std::int32_t Order(const std::string& companyId, const std::string& endpoint = "UFABCD",
                       const Columns& header = {}) {
        const std::int32_t id =
            Insert("IE91_NSOFILES", {{"IE91_DITTA_CG18", "1"},
                                     {"IE91_IDORD", Q("N" + std::to_string(++orders_))},
                                     {"IE91_ISSUEDATE", "'2024-03-05 00:00:00'"},
                                     {"IE91_ENDPOINTID", endpoint.empty() ? "NULL" : Q(endpoint)}});
        Columns row{{"IE92_ID_IE91", std::to_string(id)},
                    {"IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID",
                     companyId.empty() ? "NULL" : Q(companyId)},
                    {"IE92_DocumentCurrencyCode", "'EUR'"}};
        row.insert(row.end(), header.begin(), header.end());
        Insert("IE92_NSOTESTATAXML", row);
        return id;
    }

    /// A staged order line; returns its IE94_ID.
    std::int32_t Line(std::int32_t order, Columns columns) {
        columns.emplace_back("IE94_ID_IE91", std::to_string(order));
        return Insert("IE94_NSOCORPOXML", columns);
    }

    /// An allowance (indicator 'false') or charge ('true') of a staged line.
    void LineAllowance(std::int32_t order, std::int32_t line, const std::string& indicator,
                       const std::string& amount) {
        env.Native("INSERT INTO IE9A_NSOCORPOSCONTIXML (IE9A_ID_IE91, IE9A_ID_IE94, "
                   "IE9A_ChargeIndicator, IE9A_Amount) VALUES (" +
                   std::to_string(order) + ", " + std::to_string(line) + ", " + Q(indicator) +
                   ", " + amount + ")");
    }

    /// An allowance or charge of the order as a whole, with a tax category or none ("").
    void HeaderAllowance(std::int32_t order, const std::string& indicator,
                         const std::string& amount, const std::string& reason,
                         const std::string& taxCategory = "", const std::string& percent = "NULL") {
        env.Native("INSERT INTO IE96_NSOTESTATASCONTIXML (IE96_ID_IE91, IE96_ChargeIndicator, "
                   "IE96_Amount, IE96_AllowanceChargeReason, IE96_TaxCategory_ID, "
                   "IE96_TaxCategory_Percent) VALUES (" +
                   std::to_string(order) + ", " + Q(indicator) + ", " + amount + ", " + Q(reason) +
                   ", " + (taxCategory.empty() ? "NULL" : Q(taxCategory)) + ", " + percent + ")");
    }

    /// A customer of company 1 with its own master record (code + 1000); `master` is extra SQL
    /// for that record ("CG16_FLGANAGVAL = 0"), `dismissed` its MG19_DATADISMIS.
    void Customer(std::int32_t code, const std::string& vat, const std::string& fiscalCode,
                  const std::string& master = "", const std::string& dismissed = "") {
        const std::string record = std::to_string(code + 1000);
        const std::string customer = std::to_string(code);
        env.Native("INSERT INTO CG16_ANAGRAFICA (CG16_CODICE, CG16_PARTIVA, CG16_CODFISCALE) "
                   "VALUES (" +
                   record + ", " + (vat == "NULL" ? vat : Q(vat)) + ", " +
                   (fiscalCode == "NULL" ? fiscalCode : Q(fiscalCode)) + ");" +
                   "INSERT INTO CG44_CLIFOR VALUES (1, 0, " + customer + ", " + record + ")");
        if (!master.empty()) {
            env.Native("UPDATE CG16_ANAGRAFICA SET " + master + " WHERE CG16_CODICE = " + record);
        }
        if (!dismissed.empty()) {
            env.Native("INSERT INTO MG19_CLIFORVA VALUES (1, 0, " + customer + ", " + dismissed +
                       ")");
        }
    }

    /// Ties a public-administration office to a customer's master record.
    void Office(const std::string& office, std::int32_t customer) {
        env.Native("INSERT INTO CG1M_UFFICIOPA (CG1M_CODICE, CG1M_CODICE_CG16) VALUES (" +
                   Q(office) + ", " + std::to_string(customer + 1000) + ")");
    }

    /// The messages of an order, "code field type T context C line L", in the order written.
    std::vector<std::string> Messages(std::int32_t order) {
        std::vector<std::string> out;
        for (const auto& entry : kvad::test::ReadLogOf(env.Db(), order)) {
            out.push_back(kvad::test::EntryLine(entry));
        }
        return out;
    }

    /// A column of the decoded header of an order.
    Variant Header(std::int32_t order, const std::string& column) {
        return env.Scalar("SELECT " + column +
                          " FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + std::to_string(order));
    }

    /// A column of decoded line `line` of an order.
    Variant Decoded(std::int32_t order, std::int32_t line, const std::string& column) {
        return env.Scalar("SELECT " + column +
                          " FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " + std::to_string(order) +
                          " AND IE95_DO30_PROGRIGA = " + std::to_string(line));
    }

    kvad::test::TestEnv env;

  private:
    int orders_ = 0;
};

/// Company 1 with the demo master data, and its documents registered as a retrieval does.
class DemoDocuments {
  protected:
    DemoDocuments() {
        (void)host::LoadDemoMasterData(env.Db(), 1);
        env.S().Param_CodiceDocumento = "OCL";
    }

    /// Registers a document; returns its IE91_ID.
    std::int32_t Register(const std::string& number, const Variant& issued,
                          const std::string& endpoint, const std::string& xml,
                          std::int16_t operation = 0) {
        auto rs = env.Db().OpenRecordset("SELECT * FROM IE91_NSOFILES WHERE 1 = 0");
        rs->AddNew();
        rs->SetValue("IE91_DITTA_CG18", std::int32_t{1});
        rs->SetValue("IE91_IDORD", number);
        rs->SetValue("IE91_ISSUEDATE", issued);
        rs->SetValue("IE91_ENDPOINTID", endpoint);
        rs->SetValue("IE91_OPERAZIONE", operation);
        rs->SetValue("IE91_XML", xml);
        rs->Update();
        return rs->Value("IE91_ID").ToLong();
    }

    kvad::test::TestEnv env;
};

} // namespace kvad::nso::test
