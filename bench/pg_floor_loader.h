#pragma once
// The floor on a server database: the same documents parsed with libxml2 and the same staging
// rows as bench/floor_loader.h inserted over libpq with statements prepared once, one
// transaction per document; nothing else (no translation, no recordsets, no XML text stored).
#include <libpq-fe.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "floor_loader.h" // the tree walk

namespace bench {

class PgFloorLoader {
  public:
    /// Connects to a server database that already has the schema.
    explicit PgFloorLoader(const std::string& uri) : conn_(PQconnectdb(uri.c_str())) {
        if (PQstatus(conn_) != CONNECTION_OK) {
            const std::string message = PQerrorMessage(conn_);
            PQfinish(conn_);
            throw std::runtime_error("floor: cannot connect: " + message);
        }
        Prepare("register", "INSERT INTO \"IE91_NSOFILES\" (\"IE91_DITTA_CG18\", \"IE91_STATUS\", "
                            "\"IE91_HUBID\", \"IE91_IDORD\", \"IE91_ISSUEDATE\", "
                            "\"IE91_ENDPOINTID\", \"IE91_OPERAZIONE\") "
                            "VALUES (1, 0, $1, $2, $3, $4, 0) RETURNING \"IE91_ID\"");
        Prepare("header", "INSERT INTO \"IE92_NSOTESTATAXML\" (\"IE92_ID_IE91\", "
                          "\"IE92_ISSUEDATE\", \"IE92_DOCUMENTCURRENCYCODE\", "
                          "\"IE92_BUYERCUSTOMERPARTY_PARTY_ENDPOINTID\", "
                          "\"IE92_BUYERCUSTOMERPARTY_PARTY_PARTYNAME_NAME\", "
                          "\"IE92_ANTICIPATEDMONETARYTOTAL_PAYABLEAMOUNT\") "
                          "VALUES ($1, $2, $3, $4, $5, $6)");
        Prepare("headerCharge", "INSERT INTO \"IE96_NSOTESTATASCONTIXML\" (\"IE96_ID_IE91\", "
                                "\"IE96_CHARGEINDICATOR\", \"IE96_AMOUNT\") VALUES ($1, $2, $3)");
        Prepare("line",
                "INSERT INTO \"IE94_NSOCORPOXML\" (\"IE94_ID_IE91\", \"IE94_LINEITEM_ID\", "
                "\"IE94_LINEITEM_QUANTITY\", \"IE94_LINEITEM_LINEEXTENSIONAMOUNT\", "
                "\"IE94_LINEITEM_DELIVERY_REQUESTEDDELIVERYPERIOD_STARTDATE\", "
                "\"IE94_LINEITEM_PRICE_PRICEAMOUNT\", \"IE94_LINEITEM_ITEM_DESCRIPTION\", "
                "\"IE94_LINEITEM_ITEM_NAME\", \"IE94_LINEITEM_ITEM_SELLERSITEMIDENTIFICATION_ID\", "
                "\"IE94_LINEITEM_ITEM_STANDARDITEMIDENTIFICATION_ID\", "
                "\"IE94_LINEITEM_ITEM_CLASSIFIEDTAXCATEGORY_ID\", "
                "\"IE94_LINEITEM_ITEM_CLASSIFIEDTAXCATEGORY_PERCENT\") "
                "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12) RETURNING \"IE94_ID\"");
        Prepare("lineCharge", "INSERT INTO \"IE9A_NSOCORPOSCONTIXML\" (\"IE9A_ID_IE91\", "
                              "\"IE9A_ID_IE94\", \"IE9A_CHARGEINDICATOR\", \"IE9A_AMOUNT\") "
                              "VALUES ($1, $2, $3, $4)");
    }
    PgFloorLoader(const PgFloorLoader&) = delete;
    PgFloorLoader& operator=(const PgFloorLoader&) = delete;
    PgFloorLoader(PgFloorLoader&&) = delete;
    PgFloorLoader& operator=(PgFloorLoader&&) = delete;
    ~PgFloorLoader() { PQfinish(conn_); }

    /// Parses one order and inserts its rows in one transaction; returns the lines stored.
    int Load(const std::string& xml, const std::string& hubId) {
        xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, "UTF-8",
                                      XML_PARSE_NONET);
        if (doc == nullptr) {
            throw std::runtime_error("floor: " + hubId + " does not parse");
        }
        using W = FloorLoader; // the tree walk
        xmlNodePtr order = xmlDocGetRootElement(doc);
        Exec("BEGIN");
        const std::string id = Run(
            "register",
            {hubId, W::Text(W::Child(order, "ID")), W::Date(W::Text(W::Child(order, "IssueDate"))),
             W::Text(W::Path(order, {"BuyerCustomerParty", "Party", "EndpointID"}))});
        (void)Run("header",
                  {id, W::Date(W::Text(W::Child(order, "IssueDate"))),
                   W::Text(W::Child(order, "DocumentCurrencyCode")),
                   W::Text(W::Path(order, {"BuyerCustomerParty", "Party", "EndpointID"})),
                   W::Text(W::Path(order, {"BuyerCustomerParty", "Party", "PartyName", "Name"})),
                   W::Text(W::Path(order, {"AnticipatedMonetaryTotal", "PayableAmount"}))});
        int lines = 0;
        for (xmlNodePtr node = order->children; node != nullptr; node = node->next) {
            if (W::Is(node, "AllowanceCharge")) {
                (void)Run("headerCharge", {id, W::Text(W::Child(node, "ChargeIndicator")),
                                           W::Text(W::Child(node, "Amount"))});
            } else if (W::Is(node, "OrderLine")) {
                xmlNodePtr item = W::Child(node, "LineItem");
                const std::string lineId =
                    Run("line",
                        {id, W::Text(W::Child(item, "ID")), W::Text(W::Child(item, "Quantity")),
                         W::Text(W::Child(item, "LineExtensionAmount")),
                         W::Date(W::Text(
                             W::Path(item, {"Delivery", "RequestedDeliveryPeriod", "StartDate"}))),
                         W::Text(W::Path(item, {"Price", "PriceAmount"})),
                         W::Text(W::Path(item, {"Item", "Description"})),
                         W::Text(W::Path(item, {"Item", "Name"})),
                         W::Text(W::Path(item, {"Item", "SellersItemIdentification", "ID"})),
                         W::Text(W::Path(item, {"Item", "StandardItemIdentification", "ID"})),
                         W::Text(W::Path(item, {"Item", "ClassifiedTaxCategory", "ID"})),
                         W::Text(W::Path(item, {"Item", "ClassifiedTaxCategory", "Percent"}))});
                for (xmlNodePtr charge = item->children; charge != nullptr; charge = charge->next) {
                    if (W::Is(charge, "AllowanceCharge")) {
                        (void)Run("lineCharge",
                                  {id, lineId, W::Text(W::Child(charge, "ChargeIndicator")),
                                   W::Text(W::Child(charge, "Amount"))});
                    }
                }
                ++lines;
            }
        }
        Exec("COMMIT");
        xmlFreeDoc(doc);
        return lines;
    }

  private:
    void Check(PGresult* result) {
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const std::string message = PQerrorMessage(conn_);
            PQclear(result);
            throw std::runtime_error("floor: " + message);
        }
    }
    void Exec(const char* sql) {
        PGresult* result = PQexec(conn_, sql);
        Check(result);
        PQclear(result);
    }
    void Prepare(const char* name, const char* sql) {
        PGresult* result = PQprepare(conn_, name, sql, 0, nullptr);
        Check(result);
        PQclear(result);
    }
    // Runs a prepared statement (an empty value is Null); returns the first value it returned.
    std::string Run(const char* name, const std::vector<std::string>& values) {
        std::vector<const char*> params;
        params.reserve(values.size());
        for (const std::string& value : values) {
            params.push_back(value.empty() ? nullptr : value.c_str());
        }
        PGresult* result = PQexecPrepared(conn_, name, static_cast<int>(params.size()),
                                          params.data(), nullptr, nullptr, 0);
        Check(result);
        std::string first = PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
        PQclear(result);
        return first;
    }

    PGconn* conn_ = nullptr;
};

} // namespace bench
