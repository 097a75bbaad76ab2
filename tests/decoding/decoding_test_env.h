#pragma once
// Orders staged directly in the staging tables and ERP master data written row by row, for the
// decoding tests. Values are SQLite literals ('text', 12.5, NULL, datetime(...)).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/test_env.h"

namespace kvad::nso::test {

using Columns = std::vector<std::pair<std::string, std::string>>;

/// A SQLite text literal.
inline std::string Q(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return quoted + "'";
}

/// Today moved by a number of days, as the database stores dates.
inline std::string Day(int offset) {
    return "datetime('now', 'localtime', 'start of day', '" + std::to_string(offset) + " days')";
}

class DecodingTest : public ::testing::Test {
  protected:
    DecodingTest() {
        env.S().Param_CodiceDocumento = "OCL";
        Insert("MG3G_DOCDITTA", {{"MG3G_DITTA_CG18", "1"},
                                 {"MG3G_CODDOCUM_MG36", "'OCL'"},
                                 {"MG3G_SEZDEFAULT", "'A'"},
                                 {"MG3G_DEPDEFAULT_MG58", "'01'"}});
        Insert("CG08_TABVALUTE", {{"CG08_CODICE", "'001'"}, {"CG08_SIGLA", "'EUR'"}});
    }

    /// Inserts one row and returns its rowid.
    std::int32_t Insert(const std::string& table, const Columns& columns) {
        std::string names;
        std::string values;
        for (const auto& [name, value] : columns) {
            names += (names.empty() ? "" : ", ") + name;
            values += (values.empty() ? "" : ", ") + value;
        }
        env.Native("INSERT INTO " + table + " (" + names + ") VALUES (" + values + ")");
        return env.Scalar("SELECT MAX(rowid) FROM " + table).ToLong();
    }

    /// A registered order of company 1 with a staged header (CompanyID, IE91_ENDPOINTID and
    /// any further IE92 columns).
    std::int32_t Order(const std::string& companyId, const std::string& endpoint = "UFABCD",
                       const Columns& header = {}) {
        const std::int32_t id =
            Insert("IE91_NSOFILES", {{"IE91_DITTA_CG18", "1"},
                                     {"IE91_IDORD", Q("N" + std::to_string(++orders_))},
                                     {"IE91_ISSUEDATE", "'2024-03-05 00:00:00'"},
                                     {"IE91_ENDPOINTID", endpoint.empty() ? "NULL" : Q(endpoint)},
                                     {"IE91_XML", "'<Order/>'"}});
        Columns row{{"IE92_ID_IE91", std::to_string(id)},
                    {"IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID",
                     companyId.empty() ? "NULL" : Q(companyId)},
                    {"IE92_DocumentCurrencyCode", "'EUR'"}};
        row.insert(row.end(), header.begin(), header.end());
        Insert("IE92_NSOTESTATAXML", row);
        return id;
    }

    /// A staged order line; returns its IE94_ID.
    std::int32_t Line(std::int32_t order, const Columns& columns) {
        Columns row{{"IE94_ID_IE91", std::to_string(order)}};
        row.insert(row.end(), columns.begin(), columns.end());
        return Insert("IE94_NSOCORPOXML", row);
    }

    /// An allowance (indicator 'false') or charge ('true') of a staged line.
    void LineAllowance(std::int32_t order, std::int32_t line, const std::string& indicator,
                       const std::string& amount) {
        Insert("IE9A_NSOCORPOSCONTIXML", {{"IE9A_ID_IE91", std::to_string(order)},
                                          {"IE9A_ID_IE94", std::to_string(line)},
                                          {"IE9A_ChargeIndicator", Q(indicator)},
                                          {"IE9A_Amount", amount}});
    }

    /// An allowance or charge of the order as a whole.
    void HeaderAllowance(std::int32_t order, const std::string& indicator,
                         const std::string& amount, const std::string& reason,
                         const std::string& taxCategory = "", const std::string& percent = "NULL") {
        Insert("IE96_NSOTESTATASCONTIXML",
               {{"IE96_ID_IE91", std::to_string(order)},
                {"IE96_ChargeIndicator", Q(indicator)},
                {"IE96_Amount", amount},
                {"IE96_AllowanceChargeReason", Q(reason)},
                {"IE96_TaxCategory_ID", taxCategory.empty() ? "NULL" : Q(taxCategory)},
                {"IE96_TaxCategory_Percent", percent}});
    }

    /// A customer of company 1 with its own master record (code + 1000); `master` overrides
    /// CG16 columns, `dismissed` is MG19_DATADISMIS (no MG19 row when empty).
    void Customer(std::int32_t code, const std::string& vat, const std::string& fiscalCode,
                  const Columns& master = {}, const std::string& dismissed = "") {
        const std::string record = std::to_string(code + 1000);
        Columns row{{"CG16_CODICE", record},
                    {"CG16_RAGSOC", Q("Cliente " + std::to_string(code))},
                    {"CG16_PARTIVA", vat == "NULL" ? vat : Q(vat)},
                    {"CG16_CODFISCALE", fiscalCode == "NULL" ? fiscalCode : Q(fiscalCode)},
                    {"CG16_FLGANAGVAL", "1"}};
        for (const auto& column : master) {
            const auto same = std::find_if(row.begin(), row.end(),
                                           [&](const auto& c) { return c.first == column.first; });
            if (same != row.end()) {
                same->second = column.second;
            } else {
                row.push_back(column);
            }
        }
        Insert("CG16_ANAGRAFICA", row);
        Insert("CG44_CLIFOR", {{"CG44_DITTA_CG18", "1"},
                               {"CG44_TIPOCF", "0"},
                               {"CG44_CLIFOR", std::to_string(code)},
                               {"CG44_CODICE_CG16", record}});
        if (!dismissed.empty()) {
            Insert("MG19_CLIFORVA", {{"MG19_DITTA_CG18", "1"},
                                     {"MG19_TIPOCF_CG44", "0"},
                                     {"MG19_CLIFOR_CG44", std::to_string(code)},
                                     {"MG19_DATADISMIS", dismissed}});
        }
    }

    /// Ties a public-administration office to a customer's master record.
    void Office(const std::string& office, std::int32_t customer) {
        Insert("CG1M_UFFICIOPA", {{"CG1M_CODICE", Q(office)},
                                  {"CG1M_CODICE_CG16", std::to_string(customer + 1000)},
                                  {"CG1M_TIPOCF_CG44", "0"}});
    }

    /// Decoding messages of an order: "code field" per entry, in the order written.
    std::vector<std::string> Messages(std::int32_t order) {
        std::vector<std::string> out;
        auto rs = env.Db().Query("SELECT IE98_CODE_IE97, IE98_FIELD, IE98_TYPE, IE98_CONTESTO, "
                                 "IE98_PROGRIGA_DO30 FROM IE98_NSO_LOGERRORS WHERE "
                                 "IE98_ID_IE91 = " +
                                 std::to_string(order) + " ORDER BY IE98_ID");
        for (; !rs->Eof(); rs->MoveNext()) {
            out.push_back(rs->Value(0).Text() + " " + rs->Value(1).Text() + " type " +
                          rs->Value(2).Text() + " context " + rs->Value(3).Text() + " line " +
                          rs->Value(4).Text());
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

} // namespace kvad::nso::test
