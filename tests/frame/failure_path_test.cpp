#include "frame/failure_path.h"

#include <gtest/gtest.h>

#include "support/fake_connection.h"

namespace kvad::nso {
namespace {

class FakeHost : public HostApplication {
  public:
    std::int32_t CurrentUserId() override { return 7; }
    std::string CurrentCompanyId() override { return "01234567890"; }
    std::string MessageText(std::int32_t number, const VariantArray& parameters) override {
        if (number == 404) {
            throw VbError(5, "unknown message");
        }
        std::string text = "testo " + std::to_string(number);
        for (const auto& p : parameters) {
            text += ' ';
            text += p.Text();
        }
        return text + " l'ultimo";
    }
    void SetBusyPointer(bool busy) override { busyCalls.push_back(busy); }
    std::vector<bool> busyCalls;
};

TEST(FormattaErrore, RuntimeErrorWithoutDatabaseErrorGivesThreeLines) {
    NsoState s;
    CreateFrameworkObjects(s);
    s.Connessione = std::make_shared<test::FakeConnection>();
    const bool ok = Guard(s, "LeggiOrdini", [] { ThrowTypeMismatch(); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(s.Stato, kaErrVB);
    EXPECT_EQ(s.Errore.Text(),
              "Routine: LeggiOrdini\r\nVB error: 13 Type mismatch\r\nSource: KVAD_NSO");
}

TEST(FormattaErrore, DatabaseErrorAddsFirstProviderEntryWithLoneCarriageReturns) {
    NsoState s;
    CreateFrameworkObjects(s);
    auto connection = std::make_shared<test::FakeConnection>();
    connection->failWith = {{"no such table: X", "KVAD_NSO.SQLite", "42000", 1},
                            {"second entry", "other", "HY000", 2}};
    s.Connessione = connection;
    Guard(s, "GetXML", [&] { s.Connessione->Execute("SELECT * FROM X"); });
    EXPECT_EQ(s.Stato, kaErrVB);
    EXPECT_EQ(s.Errore.Text(), "Routine: GetXML\r\nVB error: -2147217900 no such table: X\r\n"
                               "Source: KVAD_NSO.SQLite\r\nADO Error: no such table: X\r"
                               "Source: KVAD_NSO.SQLite\rSQL State: 42000");
    EXPECT_TRUE(connection->errors.empty()) << "the provider's list is cleared";
}

TEST(FormattaErrore, NameAloneWhenNothingIsPending) {
    NsoState s;
    CreateFrameworkObjects(s);
    FormattaErrore(s, "ScriviErrorLog");
    EXPECT_EQ(s.Errore.Text(), "Routine: ScriviErrorLog");
    // A closed connection with an empty list changes nothing either.
    auto connection = std::make_shared<test::FakeConnection>();
    connection->open = false;
    s.Connessione = connection;
    FormattaErrore(s, "ScriviErrorLog");
    EXPECT_EQ(s.Errore.Text(), "Routine: ScriviErrorLog");
}

TEST(FailurePath, InnerRoutineFailureIsSeenByTheOuterOperation) {
    NsoState s;
    CreateFrameworkObjects(s);
    std::vector<std::string> steps;
    Guard(s, "RecuperaOrdini", [&] {
        ResetStatus(s);
        Guard(s, "GetOrderFromXML", [&] {
            steps.push_back("inner start");
            ThrowInvalidUseOfNull();
            steps.push_back("inner after the error"); // never reached
        });
        steps.push_back("outer resumes");
    });
    EXPECT_EQ(steps, (std::vector<std::string>{"inner start", "outer resumes"}));
    EXPECT_EQ(s.Stato, kaErrVB);
    EXPECT_EQ(s.Errore.Text().rfind("Routine: GetOrderFromXML\r\nVB error: 94 ", 0), 0U);
}

TEST(FailurePath, HandlerVariationsRunInOrder) {
    NsoState s;
    CreateFrameworkObjects(s);
    auto host = std::make_shared<FakeHost>();
    s.ActiveInterface = host;
    bool rolledBack = false;
    GuardOptions options;
    options.restorePointer = true;
    options.beforeHandler = [&] { rolledBack = true; };
    Guard(
        s, "RecuperaOrdiniNSO", [] { throw std::runtime_error("boom"); }, options);
    EXPECT_TRUE(rolledBack);
    EXPECT_EQ(host->busyCalls, std::vector<bool>{false});
    EXPECT_NE(s.Errore.Text().find("boom"), std::string::npos);
}

TEST(TestoMessaggio, NumberedDefaultUnlessTheHostGivesTheTextQuotesDoubledOnRequest) {
    NsoState s;
    CreateFrameworkObjects(s);
    EXPECT_EQ(TestoMessaggio(s, "Data nulla.", 52517), "[x52517x] Data nulla.") << "no host";
    s.ActiveInterface = std::make_shared<FakeHost>();
    EXPECT_EQ(TestoMessaggio(s, "Zero.", 0), "[x0x] Zero.") << "numbers below 1 never ask the host";
    const VariantArray params{Variant("A"), Variant(std::int32_t{3})};
    EXPECT_EQ(TestoMessaggio(s, "default", 12, &params), "testo 12 A 3 l'ultimo");
    EXPECT_EQ(TestoMessaggio(s, "default", 12, nullptr, 1), "testo 12 l''ultimo");
    EXPECT_EQ(TestoMessaggio(s, "il default", 404), "il default") << "a failing host";
}

} // namespace
} // namespace kvad::nso
