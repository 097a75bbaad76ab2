// "nso pdf" as a clerk runs it on the fetched example orders: by order number or register id,
// into the preview folder or a chosen file, opened in the viewer when asked.
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

class NsoPdfTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nso-pdf-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        kvad::test::CopyReceived(fs::path(KVAD_SOURCE_DIR) / "examples" / "inbox", dir / "inbox");
        ASSERT_EQ(Nso("init").exitCode, 0);
        ASSERT_EQ(Nso("config set --document OCL --layout NSO --from 01/01/2024").exitCode, 0);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    Result Nso(const std::string& arguments) {
        const std::string command = "cd '" + dir.string() +
                                    "' && '" KVAD_NSO_BINARY
                                    "' --db nso.db --inbox inbox --cache-dir cache " +
                                    arguments + " 2>&1 </dev/null";
        Result result;
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

    static std::string Head(const fs::path& file, std::size_t bytes) {
        std::ifstream in(file, std::ios::binary);
        std::string text(bytes, '\0');
        in.read(text.data(), static_cast<std::streamsize>(bytes));
        return text;
    }

    fs::path dir;
};

TEST_F(NsoPdfTest, WritesTheOrderByNumberOrRegisterIdAndPrintsThePath) {
    ASSERT_EQ(Nso("fetch").exitCode, 0);

    const Result byNumber = Nso("pdf 87/2024 --out ordine.pdf");
    ASSERT_EQ(byNumber.exitCode, 0) << byNumber.output;
    EXPECT_EQ(byNumber.output, (dir / "ordine.pdf").string() + "\n");
    EXPECT_EQ(Head(dir / "ordine.pdf", 5), "%PDF-");

    const Result byId = Nso("pdf 1");
    ASSERT_EQ(byId.exitCode, 0) << byId.output;
    const fs::path preview = byId.output.substr(0, byId.output.size() - 1);
    EXPECT_EQ(preview.parent_path(), dir / "cache" / "folder5");
    EXPECT_EQ(preview.extension(), ".pdf");
    EXPECT_EQ(Head(preview, 5), "%PDF-");

    const Result unknown = Nso("pdf 'NON-ESISTE'");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.output.find("no document of company 1 has register id or order number "
                                  "\"NON-ESISTE\""),
              std::string::npos)
        << unknown.output;
}

TEST_F(NsoPdfTest, AnOrderNumberOfTwoDocumentsIsRefusedNamingTheirIds) {
    // The same order number again, issued on another day.
    std::ifstream in(dir / "inbox" / "IT01234567890" / "ORD-2024-0001.xml");
    const std::string order{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::ofstream(dir / "inbox" / "IT01234567890" / "ORD-2024-0001-bis.xml")
        << std::regex_replace(order, std::regex("2024-03-04"), "2024-03-09");
    ASSERT_EQ(Nso("fetch").exitCode, 0);

    const Result ambiguous = Nso("pdf 2024-FAR-0381");
    EXPECT_EQ(ambiguous.exitCode, 1);
    EXPECT_TRUE(std::regex_search(ambiguous.output,
                                  std::regex("ambiguous .*register ids \\d+ \\(04/03/2024, "
                                             "UF7HQ2\\), \\d+ \\(09/03/2024, UF7HQ2\\)")))
        << ambiguous.output;
}

TEST_F(NsoPdfTest, OpenShowsTheFileInTheViewerOrSaysThereIsNone) {
    ASSERT_EQ(Nso("fetch").exitCode, 0);
    const fs::path viewer = dir / "viewer.sh";
    std::ofstream(viewer) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << (dir / "opened.txt").string()
                          << ".tmp' && mv '" << (dir / "opened.txt").string() << ".tmp' '"
                          << (dir / "opened.txt").string() << "'\n";
    fs::permissions(viewer, fs::perms::owner_all);

    const Result opened = Nso("pdf 87/2024 --open --viewer '" + viewer.string() + "'");
    ASSERT_EQ(opened.exitCode, 0) << opened.output;
    for (int i = 0; i < 100 && !fs::exists(dir / "opened.txt"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream seen(dir / "opened.txt");
    const std::string path{std::istreambuf_iterator<char>(seen), std::istreambuf_iterator<char>()};
    EXPECT_EQ(path + "\n", opened.output);

    const Result none = Nso("pdf 87/2024 --open --viewer /nonexistent/viewer");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.output.find("cache/folder5/"), std::string::npos) << none.output;
    EXPECT_NE(none.output.find("could not be opened: No PDF viewer is installed"),
              std::string::npos)
        << none.output;
}

} // namespace
