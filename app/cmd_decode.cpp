// "nso decode": decodes registered orders into the ERP's codes and shows the decoded header, the
// decoded lines and the order's messages (for development and support).
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/edit_fields.h"
#include "app/order_ref.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "app/working_table.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

std::string Text(const kvad::Recordset& rs, const char* field) {
    return kvad::RightTrim(rs.Value(field).Text());
}

std::string Severity(std::int32_t type) {
    return type == 3 ? "error" : type == 2 ? "warning" : "information";
}

std::string Phase(std::int32_t context) {
    return context == 1 ? "loading/verification" : context == 2 ? "import" : "decoding";
}

void PrintHeader(kvad::Connection& db, std::int32_t id, std::int32_t company) {
    auto h = db.Query(
        "SELECT IE93_NSOTESTATA.*, IE91_IDORD, IE91_ISSUEDATE, CG16_RAGSOC, MG22_DESTRAGSOC, "
        "CG08_SIGLA, IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID AS COMPANYID, "
        "IE92_Delivery_DeliveryLocation_ID AS LUOGO, "
        "IE92_Delivery_DeliveryParty_PartyName_Name AS NOME_CONSEGNA "
        "FROM IE91_NSOFILES "
        "INNER JOIN IE93_NSOTESTATA ON IE93_ID_IE91 = IE91_ID "
        "LEFT OUTER JOIN IE92_NSOTESTATAXML ON IE92_ID_IE91 = IE91_ID "
        "LEFT OUTER JOIN VCG16_CG44_ALLADATA ON VCG16_44_CF_DITTA = IE91_DITTA_CG18 AND "
        "VCG16_44_CF_TIPOCF = IE93_DO11_TIPOCF_CG44 AND "
        "VCG16_44_CF_CLIFOR = IE93_DO11_CLIFOR_CG44 "
        "LEFT OUTER JOIN MG22_CLIFORDEST ON MG22_DITTA_CG18 = IE91_DITTA_CG18 AND "
        "MG22_TIPOCF_CG44 = IE93_DO11_TIPOCF_CG44 AND MG22_CLIFOR_CG44 = IE93_DO11_CLIFOR_CG44 "
        "AND MG22_CODDESTIN = IE93_DO11_CLIFORDEST "
        "LEFT OUTER JOIN CG08_TABVALUTE ON CG08_CODICE = IE93_DO11_VALUTA_CG08 "
        "WHERE IE91_ID = " +
        std::to_string(id) + " AND IE91_DITTA_CG18 = " + std::to_string(company));
    if (h->Eof()) {
        std::cout << "  no decoded header\n";
        return;
    }
    const std::int32_t customer = h->Value("IE93_DO11_CLIFOR_CG44").ToLong();
    std::cout << "  customer       "
              << (customer == 0
                      ? "(not found: VAT number or fiscal code '" + Text(*h, "COMPANYID") +
                            "', office '" + Text(*h, "IE93_DO12_FEIDSOGGETTO") + "')"
                      : std::to_string(customer) + " " + Text(*h, "CG16_RAGSOC"))
              << "\n";
    const std::string currency = Text(*h, "IE93_DO11_VALUTA_CG08");
    std::cout << "  currency       "
              << (currency.empty() ? "(not found)" : currency + " (" + Text(*h, "CG08_SIGLA") + ")")
              << "\n";
    std::cout << "  document       " << Text(*h, "IE93_DO11_CODDOCUM_MG3G") << ", section "
              << Text(*h, "IE93_DO11_SEZDOC") << ", warehouse " << Text(*h, "IE93_DO11_CODDEP")
              << ", dated " << DateText(h->Value("IE93_DO11_DATADOC")) << "\n";
    std::cout << "  PA office      " << Text(*h, "IE93_DO11_UFFICIOPA_CG1M") << "\n";
    const std::string destination = Text(*h, "IE93_DO11_CLIFORDEST");
    const std::string location = Text(*h, "LUOGO");
    const std::string party = Text(*h, "NOME_CONSEGNA");
    std::cout << "  destination    ";
    if (!destination.empty()) {
        std::cout << destination << " " << Text(*h, "MG22_DESTRAGSOC");
    } else if (!location.empty() || !party.empty()) {
        std::cout << "(not found: delivery location '" << location << "', delivery party '" << party
                  << "')";
    } else {
        std::cout << "- (the order names no delivery location)";
    }
    std::cout << "\n  note           " << NoteText(h->Value("IE93_DO12_NOTEVSDOC")) << "\n";
    std::cout << "  cash discount  " << h->Value("IE93_DO13_SCIMPCASSA").Text() << "\n";
}

void PrintLines(kvad::Connection& db, std::int32_t id) {
    auto l = db.Query("SELECT IE95_NSOCORPO.*, IE94_LineItem_ID, IE94_LineItem_Quantity, "
                      "IE94_LineItem_Item_SellersItemIdentification_ID AS VENDITORE, "
                      "IE94_LineItem_Item_StandardItemIdentification_ID AS STANDARD "
                      "FROM IE95_NSOCORPO "
                      "LEFT OUTER JOIN IE94_NSOCORPOXML ON IE94_ID = IE95_ID_IE94 "
                      "WHERE IE95_ID_IE91 = " +
                      std::to_string(id) + " ORDER BY IE95_DO30_PROGRIGA");
    if (l->Eof()) {
        std::cout << "  no decoded lines\n";
        return;
    }
    std::cout << "  " << Cell("LINE", 4) << Cell("ITEM", 22) << Cell("OPTION", 6)
              << Cell("QUANTITY", 10) << Cell("PRICE", 10) << Cell("ALLOW/UNIT", 10)
              << Cell("CHARGE/UNIT", 11) << Cell("VAT", 8) << Cell("DELIVERY", 10)
              << "DESCRIPTION\n";
    for (; !l->Eof(); l->MoveNext()) {
        std::string item = Text(*l, "IE95_DO30_CODART_MG66");
        std::string description = Text(*l, "IE95_DO30_DESCART");
        // Lines made from the order's own allowances and charges point to empty staged lines.
        const bool orderLine =
            !l->Value("IE94_LineItem_ID").IsNull() || !l->Value("IE94_LineItem_Quantity").IsNull();
        if (!orderLine) {
            item = l->Value("IE95_DO30_PREZZO1").ToDecimal().Sign() < 0 ? "(order allowance)"
                                                                        : "(order charge)";
        } else if (item.empty()) {
            std::string searched;
            for (const char* field : {"VENDITORE", "STANDARD"}) {
                if (!Text(*l, field).empty()) {
                    searched += (searched.empty() ? "" : ", ") + Text(*l, field);
                }
            }
            item = searched.empty() && description.empty() ? "(none named)" : "(not found)";
            if (!searched.empty()) {
                description +=
                    (description.empty() ? "" : " ") + std::string("[searched: ") + searched + "]";
            }
        }
        const std::string vatCode = Text(*l, "IE95_DO30_ALIVA_CG28");
        std::ostringstream row;
        row << "  " << Cell(l->Value("IE95_DO30_PROGRIGA").Text(), 4) << Cell(item, 22)
            << Cell(Text(*l, "IE95_DO30_OPZIONE_MG5E"), 6)
            << Cell(l->Value("IE95_DO30_QTA1").Text(), 10)
            << Cell(l->Value("IE95_DO30_PREZZO1").Text(), 10)
            << Cell(l->Value("IE95_DO30_SCIMP").Text(), 10)
            << Cell(l->Value("IE95_DO30_MAGIMP").Text(), 11)
            << Cell(vatCode.empty() ? "-" : vatCode + " " + l->Value("IE95_ALIVA_XML").Text() + "%",
                    8)
            << Cell(DateText(l->Value("IE95_DO31_DATACONS")), 10) << description;
        std::cout << kvad::RightTrim(row.str()) << "\n";
    }
}

void PrintMessages(kvad::Connection& db, std::int32_t id) {
    auto m = db.Query("SELECT IE98_CODE_IE97, IE98_TYPE, IE98_CONTESTO, IE98_PROGRIGA_DO30, "
                      "IE98_FIELD, ISNULL(IE98_ERRORMESSAGE, IE97_MESSAGE) AS TESTO "
                      "FROM IE98_NSO_LOGERRORS "
                      "LEFT OUTER JOIN IE97_NSO_ERRORS ON IE97_CODE = IE98_CODE_IE97 "
                      "WHERE IE98_ID_IE91 = " +
                      std::to_string(id) + " ORDER BY IE98_ID");
    if (m->Eof()) {
        std::cout << "  messages: none\n";
        return;
    }
    std::cout << "  messages:\n";
    for (; !m->Eof(); m->MoveNext()) {
        const std::int32_t line = m->Value("IE98_PROGRIGA_DO30").ToLong();
        std::cout << "    " << Severity(m->Value("IE98_TYPE").ToLong()) << " "
                  << m->Value("IE98_CODE_IE97").Text() << " ("
                  << Phase(m->Value("IE98_CONTESTO").ToLong()) << ", "
                  << (line == 0 ? std::string("header") : "line " + std::to_string(line))
                  << (m->Value("IE98_FIELD").IsNull() ? "" : ", " + Text(*m, "IE98_FIELD"))
                  << "): " << Text(*m, "TESTO") << "\n";
    }
}

void Decode(const Settings& settings, const std::vector<std::string>& orders, bool force) {
    Session session = OpenSession(settings);
    kvad::Connection& db = *session.db;
    session.nso->Inizializza();
    if (session.nso->Stato() != kvad::kaOK) {
        std::cout << "warning: " << session.nso->Errore().Text()
                  << " (`nso config set` writes the configuration)\n";
    }
    std::vector<std::string> failures;
    for (const std::string& named : orders) {
        std::int32_t id = 0;
        try {
            id = ResolveDocument(db, settings.company, named);
        } catch (const std::runtime_error& e) {
            failures.push_back(named + ": " + e.what());
            continue;
        }
        auto order = db.Query("SELECT IE91_IDORD, IE91_ISSUEDATE FROM IE91_NSOFILES WHERE "
                              "IE91_ID = " +
                              std::to_string(id) +
                              " AND IE91_DITTA_CG18 = " + std::to_string(settings.company));
        if (order->Eof()) {
            failures.push_back(std::to_string(id) + ": no registered document of company " +
                               std::to_string(settings.company));
            continue;
        }
        std::cout << "Order " << Text(*order, "IE91_IDORD") << " of "
                  << DateText(order->Value("IE91_ISSUEDATE")) << " (register id " << id << ")\n";
        if (!force && Scalar(db, "SELECT COUNT(*) FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " +
                                     std::to_string(id))
                              .ToLong() > 0) {
            std::cout << "  already decoded: its decoded rows are kept as they are (--force "
                         "decodes it again)\n";
        }
        session.nso->DecodeOrder(id, force);
        if (session.nso->Stato() != kvad::kaOK) {
            std::string reason = session.nso->ExplainDocument(id);
            if (reason.empty()) {
                reason = session.nso->Errore().Text();
            }
            std::cout << "  not decoded: " << reason << "\n";
            failures.push_back(std::to_string(id) + ": " + reason);
        }
        PrintHeader(db, id, settings.company);
        PrintLines(db, id);
        PrintMessages(db, id);
    }
    if (!failures.empty()) {
        std::string text = std::to_string(failures.size()) + " of " +
                           std::to_string(orders.size()) + " order(s) not decoded";
        for (const std::string& f : failures) {
            text += "\n  " + f;
        }
        throw std::runtime_error(text);
    }
}

} // namespace

void AddDecodeCommand(CLI::App& app, Settings& settings) {
    CLI::App* decode = app.add_subcommand(
        "decode", "Decode registered orders into the ERP's codes and show the result");
    auto orders = std::make_shared<std::vector<std::string>>();
    auto force = std::make_shared<bool>(false);
    decode
        ->add_option("ORDER", *orders,
                     "Register ids of the orders (IE91_ID), or order numbers that only one "
                     "document has")
        ->required();
    decode->add_flag("--force", *force,
                     "Decode again from scratch an order that already has decoded lines (they are "
                     "kept otherwise, with any correction made to them)");
    decode->callback([&settings, orders, force] { Decode(settings, *orders, *force); });
}

} // namespace nsoapp
