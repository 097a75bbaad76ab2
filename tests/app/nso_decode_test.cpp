// nso init --demo, fetch, decode and master as a new user runs them, on the example orders.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

class NsoDecodeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nso-decode-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        kvad::test::CopyReceived(fs::path(KVAD_SOURCE_DIR) / "examples", dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // Runs nso in the folder; returns its output (stdout and stderr) and sets `exitCode`.
    std::string Nso(const std::string& arguments, const std::string& inbox = "inbox") {
        const std::string command = "cd '" + dir.string() +
                                    "' && '" KVAD_NSO_BINARY "' --db nso.db --inbox " + inbox +
                                    " " + arguments + " 2>&1 </dev/null";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        std::size_t n = 0;
        while (pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, n);
        }
        const int status = pipe == nullptr ? -1 : pclose(pipe);
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return output;
    }
    std::string Ok(const std::string& arguments, const std::string& inbox = "inbox") {
        std::string output = Nso(arguments, inbox);
        EXPECT_EQ(exitCode, 0) << "nso " << arguments << "\n" << output;
        return output;
    }

    fs::path dir;
    int exitCode = -1;
};

std::size_t Count(const std::string& output, const std::string& text) {
    std::size_t count = 0;
    for (std::size_t at = output.find(text); at != std::string::npos;
         at = output.find(text, at + 1)) {
        ++count;
    }
    return count;
}

TEST_F(NsoDecodeTest, ExampleOrdersDecodeWithTheDemoSet) {
    EXPECT_EQ(Count(Ok("init --demo"), "configured company 1: document code OCL"), 1U);
    EXPECT_EQ(Count(Ok("fetch"), "listed 5, new 5"), 1U);
    const std::string decoded = Ok("decode 1 2 3 4 5");
    EXPECT_EQ(Count(decoded, "messages: none"), 5U) << decoded;
    EXPECT_EQ(Count(decoded, "(not found"), 0U) << decoded;
    EXPECT_EQ(Count(decoded, "customer       1001 Azienda Ospedaliera"), 2U) << decoded;
    EXPECT_EQ(Count(decoded, "cash discount  20"), 1U) << "the untaxed allowance of 87/2024";

    const std::string again = Ok("decode 2");
    EXPECT_EQ(Count(again, "already decoded"), 1U) << again;
    EXPECT_EQ(Count(again, "cash discount  20"), 1U) << again;
}

TEST_F(NsoDecodeTest, WarningExamplesAndRefusals) {
    Ok("init --demo");
    EXPECT_EQ(Count(Ok("fetch", "warnings"), "listed 3, new 3"), 1U);
    const std::string decoded = Ok("decode 1 2 3");
    EXPECT_EQ(Count(decoded, "warning 106 (decoding, header, IE93_DO11_CLIFOR_CG44): Il codice "
                             "ufficio della pubblica amministrazione corrisponde a più clienti"),
              1U)
        << decoded;
    EXPECT_EQ(Count(decoded, "warning 204 (decoding, line 2, IE95_DO30_CODART_MG66)"), 1U);
    EXPECT_EQ(Count(decoded, "[searched: AFP-DM-99999]"), 1U) << "the unknown item";
    EXPECT_EQ(Count(decoded, "destination    (not found: delivery location '00412345670-INF2'"),
              1U);

    const std::string missing = Nso("decode 3 99");
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(Count(missing, "99: no document of company 1 has register id or order number"), 1U)
        << missing;
    EXPECT_EQ(Count(Ok("decode 102/2024"), "Order 102/2024 of 18/03/2024 (register id 3)"), 1U)
        << "by order number";

    std::ofstream(dir / "customers.csv") << "customer;name;vat_number\n"
                                            "7;Ospedale;IT03456780547\n"
                                            "8;Clinica;IT03456780548\n";
    const std::string bad = Nso("master load customers customers.csv");
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(Count(bad, "customers.csv, line 3, column vat_number: 'IT03456780548' is not a VAT "
                         "number"),
              1U)
        << bad;
    EXPECT_EQ(Count(Ok("master list customers --search ospedal"), "2 row(s) of customers"), 1U)
        << "the two demo customers: nothing was loaded";
}

} // namespace
