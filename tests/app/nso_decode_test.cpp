// nso init --demo, fetch, decode and master as a new user runs them, on the example orders.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

struct Result {
    int exitCode;
    std::string output; // stdout and stderr together
};

class NsoDecodeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nso-decode-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        for (const char* folder : {"inbox", "warnings"}) {
            fs::copy(fs::path(KVAD_SOURCE_DIR) / "examples" / folder, dir / folder,
                     fs::copy_options::recursive);
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    Result Nso(const std::string& arguments, const std::string& inbox = "inbox") {
        const std::string command = "cd '" + dir.string() +
                                    "' && '" KVAD_NSO_BINARY "' --db nso.db --inbox " + inbox +
                                    " --cache-dir cache " + arguments + " 2>&1 </dev/null";
        Result result{-1, {}};
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return result;
        }
        char buffer[4096];
        std::size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            result.output.append(buffer, n);
        }
        const int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

    Result Ok(const std::string& arguments, const std::string& inbox = "inbox") {
        Result r = Nso(arguments, inbox);
        EXPECT_EQ(r.exitCode, 0) << "nso " << arguments << "\n" << r.output;
        return r;
    }

    fs::path dir;
};

bool Has(const Result& r, const std::string& text) {
    return r.output.find(text) != std::string::npos;
}

std::size_t Count(const Result& r, const std::string& text) {
    std::size_t count = 0;
    for (std::size_t at = r.output.find(text); at != std::string::npos;
         at = r.output.find(text, at + 1)) {
        ++count;
    }
    return count;
}

TEST_F(NsoDecodeTest, ExampleOrdersDecodeWithTheDemoSet) {
    const Result init = Ok("init --demo");
    EXPECT_TRUE(Has(init, "demo master data: customers.csv, 7 row(s)")) << init.output;
    EXPECT_TRUE(Has(init, "configured company 1: document code OCL")) << init.output;
    EXPECT_TRUE(Has(Ok("fetch"), "listed 5, new 5"));

    const Result decoded = Ok("decode 1 2 3 4 5");
    EXPECT_EQ(Count(decoded, "messages: none"), 5U) << decoded.output;
    EXPECT_EQ(Count(decoded, "(not found"), 0U) << decoded.output;
    EXPECT_TRUE(Has(decoded, "customer       1001 Azienda Ospedaliera Santa Maria della Valle"))
        << decoded.output;
    EXPECT_TRUE(Has(decoded, "destination    MAG3 Magazzino distrettuale di Fossombrone"));
    EXPECT_TRUE(Has(decoded, "cash discount  20")) << "the untaxed allowance of 87/2024";
    EXPECT_TRUE(Has(decoded, "(none named)")) << "the cancellation's line NA";

    // A second run keeps the decoded rows and says so.
    const Result again = Ok("decode 2");
    EXPECT_TRUE(Has(again, "already decoded")) << again.output;
    EXPECT_TRUE(Has(again, "cash discount  20")) << again.output;
}

TEST_F(NsoDecodeTest, WarningExamplesShowWhatDecodingCouldNotSettle) {
    Ok("init --demo");
    EXPECT_TRUE(Has(Ok("fetch", "warnings"), "listed 3, new 3"));
    const Result decoded = Ok("decode 1 2 3");
    EXPECT_TRUE(Has(decoded, "warning 106 (decoding, header, IE93_DO11_CLIFOR_CG44): Il codice "
                             "ufficio della pubblica amministrazione corrisponde a più clienti"))
        << decoded.output;
    EXPECT_TRUE(Has(decoded, "warning 204 (decoding, line 2, IE95_DO30_CODART_MG66)"));
    EXPECT_TRUE(Has(decoded, "[searched: AFP-DM-99999]")) << "the unknown item";
    EXPECT_TRUE(Has(decoded, "destination    (not found: delivery location '00412345670-INF2'"));

    const Result missing = Nso("decode 3 99");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Has(missing, "99: no registered document of company 1")) << missing.output;
}

TEST_F(NsoDecodeTest, MasterDataIsLoadedWhollyOrNotAtAll) {
    Ok("init");
    std::ofstream(dir / "customers.csv") << "customer;name;vat_number\n"
                                            "7;Ospedale;IT03456780547\n"
                                            "8;Clinica;IT03456780548\n";
    const Result bad = Nso("master load customers customers.csv");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(Has(bad, "customers.csv, line 3, column vat_number: 'IT03456780548' is not a VAT "
                         "number"))
        << bad.output;
    EXPECT_TRUE(Has(Ok("master list customers"), "0 row(s) of customers"));

    std::ofstream(dir / "customers.csv") << "customer;name;vat_number\n"
                                            "7;Ospedale;IT03456780547\n";
    EXPECT_TRUE(Has(Ok("master load customers customers.csv"), "loaded 1 row(s) of customers"));
    const Result listed = Ok("master list customers --search ospedale");
    EXPECT_TRUE(Has(listed, "03456780547")) << listed.output;
    EXPECT_TRUE(Has(Ok("master list"), "item-descriptions"));
}

} // namespace
