#include "preview/anteprima_pdf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>

#include "host/stand_ins.h"
#include "kvad_nso/host.h"
#include "kvad_nso/nso_ws.h"
#include "support/scripted_platform.h"
#include "support/test_env.h"

namespace kvad::nso {
namespace {

namespace fs = std::filesystem;

using test::Script;
using test::TheScript;

// Whether the viewer is installed.
bool& ViewerInstalled() {
    static bool installed = true;
    return installed;
}

// A viewer that records what it is asked among the platform's calls.
class FakeBrowser : public ApplicationBrowser {
  public:
    bool IsInstalled() override { return ViewerInstalled(); }
    void OpenWithFile(TextFile& file) override {
        TheScript().calls.push_back("open " + file.CompleteFileName());
    }
    void Dispose() override { TheScript().calls.emplace_back("dispose"); }
};

class FailingRsFunct : public RsFunct {
  public:
    std::string GetGuidWithoutConnection() override { throw std::runtime_error("no GUID"); }
};

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PreviewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::RegisterScriptedPlatform();
        ViewerInstalled() = true;
        RegisterClass(progid::kApplicationBrowser, [] { return std::make_shared<FakeBrowser>(); });
        // Document 1 has its XML, document 2 was never downloaded; company 2 owns document 3.
        env.Native("INSERT INTO IE91_NSOFILES (IE91_ID, IE91_DITTA_CG18, IE91_IDORD, IE91_XML) "
                   "VALUES (1, 1, 'A1', '<Order>uno</Order>'), (2, 1, 'A2', NULL)");
        env.S().Stato = kaErrImportXML;
        env.S().Errore = "earlier";
    }

    void Preview(std::int32_t id) { AnteprimaPDF(env.S(), id); }
    [[nodiscard]] fs::path Folder() const { return env.Dir() / "cache" / "folder5"; }
    [[nodiscard]] std::vector<fs::path> Files() const {
        std::vector<fs::path> files;
        if (fs::exists(Folder())) {
            for (const auto& entry : fs::directory_iterator(Folder())) {
                files.push_back(entry.path());
            }
        }
        return files;
    }
    [[nodiscard]] host::StandInHost& Host() {
        return dynamic_cast<host::StandInHost&>(*env.S().ActiveInterface);
    }
    void ExpectStateKept() {
        EXPECT_EQ(env.S().Stato, kaErrImportXML);
        EXPECT_EQ(env.S().Errore.Text(), "earlier");
    }

    test::TestEnv env;
};

TEST_F(PreviewTest, EachPreviewSavesANewFileAndOpensIt) {
    Preview(1);
    Preview(1);
    ExpectStateKept();
    const auto files = Files();
    ASSERT_EQ(files.size(), 2U) << "two previews, two files";
    for (const auto& file : files) {
        EXPECT_EQ(file.extension(), ".pdf");
        EXPECT_EQ(file.stem().string().size(), 36U);
        EXPECT_EQ(file.stem().string().find('-'), std::string::npos);
        EXPECT_EQ(ReadAll(file), "%PDF-1");
    }
    const auto& calls = TheScript().calls;
    ASSERT_EQ(calls.size(), 10U);
    for (std::size_t first : {0U, 5U}) {
        EXPECT_EQ(calls[first], "login");
        EXPECT_EQ(calls[first + 1], "convert <Order>uno</Order>");
        EXPECT_EQ(calls[first + 2], "logout");
        EXPECT_EQ(calls[first + 4], "dispose");
    }
    EXPECT_EQ(std::set<std::string>({calls[3], calls[8]}),
              std::set<std::string>({"open " + files[0].string(), "open " + files[1].string()}));
    EXPECT_FALSE(Host().IsBusy());
    EXPECT_EQ(Host().PointerHistory().front(), true);
}

TEST_F(PreviewTest, NoXmlDoesNothing) {
    Preview(2);  // never downloaded
    Preview(99); // not registered
    ExpectStateKept();
    EXPECT_TRUE(TheScript().calls.empty());
    EXPECT_TRUE(Files().empty());
    EXPECT_FALSE(Host().IsBusy());
}

// A failed login or conversion reports the platform's text and writes nothing; only a login
// that went through is followed by a logout.
TEST_F(PreviewTest, PlatformFailuresReportThePlatformText) {
    TheScript().loginError = "credenziali errate";
    Preview(1);
    EXPECT_EQ(env.S().Stato, kaErrConnessioneNSO);
    EXPECT_EQ(env.S().Errore.Text(), "credenziali errate");
    EXPECT_EQ(TheScript().calls, std::vector<std::string>{"login"});
    EXPECT_FALSE(Host().IsBusy());

    TheScript() = Script{};
    TheScript().convertError = "ordine non valido";
    Preview(1);
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text(), "ordine non valido");
    EXPECT_EQ(TheScript().calls.back(), "logout");
    EXPECT_TRUE(Files().empty());
    EXPECT_FALSE(Host().IsBusy());
}

TEST_F(PreviewTest, AnErrorRaisedByTheServiceReachesTheCaller) {
    TheScript().convertThrows = true;
    EXPECT_THROW(Preview(1), std::runtime_error);
    EXPECT_EQ(TheScript().calls.back(), "convert <Order>uno</Order>") << "no logout";
    EXPECT_TRUE(Host().IsBusy()) << "the busy pointer stays";
}

TEST_F(PreviewTest, WithoutViewerTheFileIsStillWritten) {
    ViewerInstalled() = false;
    Preview(1);
    ExpectStateKept();
    EXPECT_EQ(Files().size(), 1U);
    EXPECT_EQ(TheScript().calls.back(), "dispose");
    for (const auto& call : TheScript().calls) {
        EXPECT_NE(call.rfind("open", 0), 0U) << call;
    }
}

TEST_F(PreviewTest, WithoutGuidTheSecondFileCannotBeSavedAndTheFirstIsOpened) {
    RegisterClass(progid::kRsFunct, [] { return std::make_shared<FailingRsFunct>(); });
    EXPECT_TRUE(NomeFileTemporaneo().IsEmpty());
    Preview(1);
    TheScript().pdf = {'o', 't', 'h', 'e', 'r'};
    Preview(1);
    ASSERT_EQ(Files().size(), 1U);
    EXPECT_EQ(Files()[0].filename(), ".pdf");
    EXPECT_EQ(ReadAll(Files()[0]), "%PDF-1") << "an existing file is never overwritten";
    EXPECT_EQ(TheScript().calls.back(), "dispose");
    EXPECT_EQ(TheScript().calls[TheScript().calls.size() - 2], "open " + Files()[0].string());
    ExpectStateKept();
}

TEST_F(PreviewTest, WriteOrderPdfReportsEveryOutcome) {
    const fs::path out = env.Dir() / "ordine.pdf";
    std::ofstream(out) << "old";
    EXPECT_EQ(WriteOrderPdf(env.S(), 1, out.string(), false), out.string());
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(ReadAll(out), "%PDF-1") << "an explicit file is replaced";

    ViewerInstalled() = false;
    const std::string inFolder = WriteOrderPdf(env.S(), 1, "", true);
    EXPECT_EQ(env.S().Stato, kaErrParametri);
    EXPECT_EQ(fs::path(inFolder).parent_path(), Folder());
    EXPECT_EQ(ReadAll(inFolder), "%PDF-1") << "written even without viewer";

    EXPECT_EQ(WriteOrderPdf(env.S(), 2, "", false), "");
    EXPECT_EQ(env.S().Stato, kaErrNessunDatoDaElaborare);

    EXPECT_EQ(WriteOrderPdf(env.S(), 1, (env.Dir() / "none" / "x.pdf").string(), false), "");
    EXPECT_EQ(env.S().Stato, kaErrParametri) << "a file that cannot be written";
    EXPECT_NE(env.S().Errore.Text().find("none/x.pdf"), std::string::npos) << env.S().Errore.Text();

    TheScript().convertError = "the order has no number";
    EXPECT_EQ(WriteOrderPdf(env.S(), 1, (env.Dir() / "x.pdf").string(), false), "");
    EXPECT_EQ(env.S().Stato, kaErrImportXML) << "XML that cannot be converted";
    EXPECT_EQ(env.S().Errore.Text(), "the order has no number");
    EXPECT_FALSE(fs::exists(env.Dir() / "x.pdf"));

    TheScript().convertError.clear();
    TheScript().convertThrows = true;
    EXPECT_EQ(WriteOrderPdf(env.S(), 1, "", false), "");
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_NE(env.S().Errore.Text().find("service crashed"), std::string::npos);
    EXPECT_EQ(TheScript().calls.back(), "logout");

    TheScript() = Script{};
    TheScript().loginError = "credenziali errate";
    EXPECT_EQ(WriteOrderPdf(env.S(), 1, "", false), "");
    EXPECT_EQ(env.S().Stato, kaErrConnessioneNSO);
}

} // namespace
} // namespace kvad::nso
