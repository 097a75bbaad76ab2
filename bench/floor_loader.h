#pragma once
// The floor the component's loading is measured against: the least work that brings an order
// in. libxml2 parses the text, a walk of the tree picks the values, and prepared SQLite
// statements insert the register row, one header row, each line and each allowance, in one
// transaction per document; nothing else (no XPath, no translation, no recordsets, no XML text
// stored).

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sqlite3.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

class FloorLoader {
  public:
    /// Opens a database that already has the schema, as the component's connection does (WAL,
    /// synchronous NORMAL, foreign keys on, an 8 MB page cache, checkpoints every 10,000 pages
    /// of log): the floor gets the same file settings, so the ratio measures the work done.
    explicit FloorLoader(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            throw std::runtime_error("floor: cannot open " + path);
        }
        Exec("PRAGMA foreign_keys = ON");
        Exec("PRAGMA journal_mode = WAL");
        Exec("PRAGMA synchronous = NORMAL");
        Exec("PRAGMA wal_autocheckpoint = 10000");
        Exec("PRAGMA cache_size = -8192");
        begin_ = Prepare("BEGIN IMMEDIATE");
        commit_ = Prepare("COMMIT");
        register_ = Prepare("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_HUBID, "
                            "IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE) "
                            "VALUES (1, 0, ?, ?, ?, ?, 0)");
        header_ = Prepare("INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91, IE92_IssueDate, "
                          "IE92_DocumentCurrencyCode, IE92_BuyerCustomerParty_Party_EndpointID, "
                          "IE92_BuyerCustomerParty_Party_PartyName_Name, "
                          "IE92_AnticipatedMonetaryTotal_PayableAmount) VALUES (?, ?, ?, ?, ?, ?)");
        headerCharge_ = Prepare("INSERT INTO IE96_NSOTESTATASCONTIXML (IE96_ID_IE91, "
                                "IE96_ChargeIndicator, IE96_Amount) VALUES (?, ?, ?)");
        line_ = Prepare("INSERT INTO IE94_NSOCORPOXML (IE94_ID_IE91, IE94_LineItem_ID, "
                        "IE94_LineItem_Quantity, IE94_LineItem_LineExtensionAmount, "
                        "IE94_LineItem_Delivery_RequestedDeliveryPeriod_StartDate, "
                        "IE94_LineItem_Price_PriceAmount, IE94_LineItem_Item_Description, "
                        "IE94_LineItem_Item_Name, IE94_LineItem_Item_SellersItemIdentification_ID, "
                        "IE94_LineItem_Item_StandardItemIdentification_ID, "
                        "IE94_LineItem_Item_ClassifiedTaxCategory_ID, "
                        "IE94_LineItem_Item_ClassifiedTaxCategory_Percent) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        lineCharge_ = Prepare("INSERT INTO IE9A_NSOCORPOSCONTIXML (IE9A_ID_IE91, IE9A_ID_IE94, "
                              "IE9A_ChargeIndicator, IE9A_Amount) VALUES (?, ?, ?, ?)");
    }
    FloorLoader(const FloorLoader&) = delete;
    FloorLoader& operator=(const FloorLoader&) = delete;
    FloorLoader(FloorLoader&&) = delete;
    FloorLoader& operator=(FloorLoader&&) = delete;
    ~FloorLoader() {
        for (sqlite3_stmt* stmt : statements_) {
            sqlite3_finalize(stmt);
        }
        sqlite3_close_v2(db_);
    }

    /// Parses one order and inserts its rows in one transaction; returns the lines stored.
    int Load(const std::string& xml, const std::string& hubId) {
        xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, "UTF-8",
                                      XML_PARSE_NONET);
        if (doc == nullptr) {
            throw std::runtime_error("floor: " + hubId + " does not parse");
        }
        xmlNodePtr order = xmlDocGetRootElement(doc);
        Run(begin_);
        Bind(register_, {hubId, Text(Child(order, "ID")), Date(Text(Child(order, "IssueDate"))),
                         Text(Path(order, {"BuyerCustomerParty", "Party", "EndpointID"}))});
        Run(register_);
        const std::string id = std::to_string(sqlite3_last_insert_rowid(db_));
        Bind(header_,
             {id, Date(Text(Child(order, "IssueDate"))), Text(Child(order, "DocumentCurrencyCode")),
              Text(Path(order, {"BuyerCustomerParty", "Party", "EndpointID"})),
              Text(Path(order, {"BuyerCustomerParty", "Party", "PartyName", "Name"})),
              Text(Path(order, {"AnticipatedMonetaryTotal", "PayableAmount"}))});
        Run(header_);
        int lines = 0;
        for (xmlNodePtr node = order->children; node != nullptr; node = node->next) {
            if (Is(node, "AllowanceCharge")) {
                Bind(headerCharge_,
                     {id, Text(Child(node, "ChargeIndicator")), Text(Child(node, "Amount"))});
                Run(headerCharge_);
            } else if (Is(node, "OrderLine")) {
                xmlNodePtr item = Child(node, "LineItem");
                Bind(line_,
                     {id, Text(Child(item, "ID")), Text(Child(item, "Quantity")),
                      Text(Child(item, "LineExtensionAmount")),
                      Date(Text(Path(item, {"Delivery", "RequestedDeliveryPeriod", "StartDate"}))),
                      Text(Path(item, {"Price", "PriceAmount"})),
                      Text(Path(item, {"Item", "Description"})), Text(Path(item, {"Item", "Name"})),
                      Text(Path(item, {"Item", "SellersItemIdentification", "ID"})),
                      Text(Path(item, {"Item", "StandardItemIdentification", "ID"})),
                      Text(Path(item, {"Item", "ClassifiedTaxCategory", "ID"})),
                      Text(Path(item, {"Item", "ClassifiedTaxCategory", "Percent"}))});
                Run(line_);
                const std::string lineId = std::to_string(sqlite3_last_insert_rowid(db_));
                for (xmlNodePtr charge = item->children; charge != nullptr; charge = charge->next) {
                    if (Is(charge, "AllowanceCharge")) {
                        Bind(lineCharge_, {id, lineId, Text(Child(charge, "ChargeIndicator")),
                                           Text(Child(charge, "Amount"))});
                        Run(lineCharge_);
                    }
                }
                ++lines;
            }
        }
        Run(commit_);
        xmlFreeDoc(doc);
        return lines;
    }

  private:
    void Exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string("floor: ") + sqlite3_errmsg(db_));
        }
    }
    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string("floor: ") + sqlite3_errmsg(db_));
        }
        statements_.push_back(stmt);
        return stmt;
    }
    void Run(sqlite3_stmt* stmt) {
        const int rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(std::string("floor: ") + sqlite3_errmsg(db_));
        }
    }
    static void Bind(sqlite3_stmt* stmt, const std::vector<std::string>& values) {
        int index = 1;
        for (const std::string& value : values) {
            if (value.empty()) {
                sqlite3_bind_null(stmt, index++);
            } else {
                sqlite3_bind_text(stmt, index++, value.data(), static_cast<int>(value.size()),
                                  SQLITE_TRANSIENT);
            }
        }
    }

  public:
    // The tree walk, shared with the server's floor (pg_floor_loader.h).
    static bool Is(xmlNodePtr node, const char* name) {
        return node->type == XML_ELEMENT_NODE &&
               xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(name)) != 0;
    }
    static xmlNodePtr Child(xmlNodePtr parent, const char* name) {
        if (parent == nullptr) {
            return nullptr;
        }
        for (xmlNodePtr node = parent->children; node != nullptr; node = node->next) {
            if (Is(node, name)) {
                return node;
            }
        }
        return nullptr;
    }
    static xmlNodePtr Path(xmlNodePtr node, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            node = Child(node, name);
        }
        return node;
    }
    static std::string Text(xmlNodePtr node) {
        if (node == nullptr) {
            return {};
        }
        xmlChar* content = xmlNodeGetContent(node);
        std::string text = content != nullptr ? reinterpret_cast<const char*>(content) : "";
        xmlFree(content);
        return text;
    }
    static std::string Date(const std::string& text) {
        return text.empty() ? text : text + " 00:00:00";
    }

  private:
    sqlite3* db_ = nullptr;
    std::vector<sqlite3_stmt*> statements_;
    sqlite3_stmt* begin_ = nullptr;
    sqlite3_stmt* commit_ = nullptr;
    sqlite3_stmt* register_ = nullptr;
    sqlite3_stmt* header_ = nullptr;
    sqlite3_stmt* headerCharge_ = nullptr;
    sqlite3_stmt* line_ = nullptr;
    sqlite3_stmt* lineCharge_ = nullptr;
};

} // namespace bench
