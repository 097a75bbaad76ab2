// Numbers of an order that cannot be read (text, or beyond the 28 digits of a decimal) are
// decoded as 0 and reported as error 107 on the value they fed, which holds the order for a
// clerk; the message stays through further processings until the clerk corrects the value.
#include <string>
#include <vector>

#include "decoding/unreadable_numbers.h"
#include "kvad_nso/codes.h"
#include "processing_test_env.h"
#include "verification/verifica_dati.h"

namespace kvad::nso {
namespace {

/// `xml` with the first occurrence of `from` (the last with `last`) replaced by `to`.
std::string Replaced(std::string xml, const std::string& from, const std::string& to,
                     bool last = false) {
    const std::size_t at = last ? xml.rfind(from) : xml.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? xml : xml.replace(at, from.size(), to);
}

class UnreadableNumbersTest : public test::ProcessingTest {
  protected:
    /// Four lines and the order's two allowances (lines 5 and 6, the untaxed one the cash
    /// discount), with numbers no one can read; line 4's quantity is blank, which is 0 by rule.
    UnreadableNumbersTest() {
        std::string xml = test::GeneratedOrderXml(4);
        xml = Replaced(xml, "unitCode=\"C62\">200<", "unitCode=\"C62\">abc<");
        xml = Replaced(xml, ">21.00</cbc:Amount>", ">1e999</cbc:Amount>"); // line 2's allowance
        xml = Replaced(xml, "unitCode=\"C62\">50<",
                       "unitCode=\"C62\">123456789012345678901234567890<");
        xml = Replaced(xml, ">12.40<", ">1e999<");
        xml = Replaced(xml, "<cbc:Percent>10</cbc:Percent>", "<cbc:Percent>dieci</cbc:Percent>",
                       true);
        xml = Replaced(xml, "unitCode=\"C62\">600<", "unitCode=\"C62\">   <");
        xml = Replaced(xml, ">58.12</cbc:Amount>", ">1.000,00</cbc:Amount>");
        xml = Replaced(xml, "<cbc:Percent>22</cbc:Percent>", "<cbc:Percent>22%</cbc:Percent>");
        xml = Replaced(xml, ">20.00</cbc:Amount>", ">venti</cbc:Amount>");
        order = Register("", "N-1", "2024-03-05", 0, 0, xml);
    }

    /// The order's 107 entries: "line field: text".
    std::vector<std::string> Unreadable() {
        std::vector<std::string> out;
        for (const auto& entry : kvad::test::ReadLog(
                 env.Db(), "IE98_CODE_IE97 = " + std::to_string(message::kUnreadableNumber))) {
            EXPECT_EQ(entry.severity, severity::kError);
            EXPECT_EQ(entry.context, Contesto_DecodificaDati);
            const std::string text = entry.message.Text();
            const std::size_t open = text.find('"');
            out.push_back(std::to_string(entry.line) + " " + entry.field.Text() + ": " +
                          text.substr(open + 1, text.find('"', open + 1) - open - 1));
        }
        return out;
    }

    void SetLine(int line, const std::string& assignment) {
        env.Native("UPDATE IE95_NSOCORPO SET " + assignment +
                   " WHERE IE95_DO30_PROGRIGA = " + std::to_string(line));
    }

    std::int32_t order = 0;
};

TEST_F(UnreadableNumbersTest, ReportedOnTheValueTheyFedUntilTheClerkCorrectsIt) {
    Process({order});
    const std::vector<std::string> all = {
        "5 IE95_DO30_PREZZO1: 1.000,00", "5 IE95_ALIVA_XML: 22%",
        "0 IE93_DO13_SCIMPCASSA: venti", "1 IE95_DO30_QTA1: abc",
        "2 IE95_DO30_SCIMP: 1e999",      "3 IE95_DO30_QTA1: 123456789012345678901234567890",
        "3 IE95_DO30_PREZZO1: 1e999",    "4 IE95_ALIVA_XML: dieci"};
    EXPECT_EQ(Unreadable(), all);
    EXPECT_EQ(Status(order), kaVerificaCritical) << "held for a clerk";
    // The values are what the conversion gives: 0, and no allowance in the cash discount.
    for (const int line : {1, 3, 4}) {
        EXPECT_TRUE(env.Scalar("SELECT IE95_DO30_QTA1 FROM IE95_NSOCORPO WHERE "
                               "IE95_DO30_PROGRIGA = " +
                               std::to_string(line))
                        .ToDecimal()
                        .IsZero())
            << line;
    }
    EXPECT_TRUE(
        env.Scalar("SELECT IE93_DO13_SCIMPCASSA FROM IE93_NSOTESTATA").ToDecimal().IsZero());
    EXPECT_EQ(kvad::test::ReadLog(env.Db(),
                                  "IE98_CODE_IE97 = " + std::to_string(message::kUnreadableNumber) +
                                      " AND IE98_PROGRIGA_DO30 = 1")
                  .at(0)
                  .message.Text(),
              "Il valore \"abc\" dell'ordine non è un numero leggibile ed è stato preso come 0: "
              "correggere il campo");

    // Processed again untouched, the order is not decoded again and keeps every message.
    Process({order});
    EXPECT_EQ(Unreadable(), all);

    // The clerk corrects two values: their messages go at the next processing.
    SetLine(1, "IE95_DO30_QTA1 = 200");
    env.Native("UPDATE IE93_NSOTESTATA SET IE93_DO13_SCIMPCASSA = 20");
    Process({order});
    EXPECT_EQ(Unreadable(),
              (std::vector<std::string>{all[0], all[1], all[4], all[5], all[6], all[7]}));
    EXPECT_EQ(Status(order), kaVerificaCritical);

    // The rest, then the correction path a host runs after an edit, without processing.
    SetLine(2, "IE95_DO30_SCIMP = 0.21");
    SetLine(3, "IE95_DO30_QTA1 = 50, IE95_DO30_PREZZO1 = 12.4");
    SetLine(4, "IE95_ALIVA_XML = 10");
    SetLine(5, "IE95_DO30_PREZZO1 = -58.12, IE95_ALIVA_XML = 22");
    ReportUnreadableNumbers(env.S(), order);
    VerificaDati(env.S(), 2, order, true, true, 0);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_TRUE(Unreadable().empty());
    EXPECT_NE(Status(order), kaVerificaCritical);
    Process({order});
    EXPECT_TRUE(Unreadable().empty());
}

} // namespace
} // namespace kvad::nso
