// "nso pdf" as a clerk runs it on the fetched example orders: by order number or register id,
// into the preview folder or a chosen file, opened in the viewer when asked.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "nso_folder.h"

namespace {

namespace fs = std::filesystem;

class NsoPdfTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override {
        MakeFolder("nso-pdf", "inbox", "inbox");
        Ok("init");
        Ok("config set --document OCL --layout NSO --from 01/01/2024");
    }

    /// The text of a file another process writes, once it is there (waiting 2 s at most).
    static std::string Arrived(const fs::path& file) {
        for (int i = 0; i < 100 && !fs::exists(file); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::ifstream in(file);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static std::string Head(const fs::path& file, std::size_t bytes) {
        std::ifstream in(file, std::ios::binary);
        std::string text(bytes, '\0');
        in.read(text.data(), static_cast<std::streamsize>(bytes));
        return text;
    }
};

TEST_F(NsoPdfTest, WritesTheOrderByNumberOrRegisterIdAndPrintsThePath) {
    Nso("fetch");
    ASSERT_EQ(exitCode, 0);

    // Rendering is local: the inbox is needed to fetch, not to print.
    const std::string byNumber = Nso("pdf 87/2024 --out ordine.pdf", "no-such-inbox");
    ASSERT_EQ(exitCode, 0) << byNumber;
    EXPECT_EQ(byNumber, (dir / "ordine.pdf").string() + "\n");
    EXPECT_EQ(Head(dir / "ordine.pdf", 5), "%PDF-");

    const std::string byId = Nso("pdf 1");
    ASSERT_EQ(exitCode, 0) << byId;
    const fs::path preview = byId.substr(0, byId.size() - 1);
    EXPECT_EQ(preview.parent_path(), dir / "cache" / "folder5");
    EXPECT_EQ(preview.extension(), ".pdf");
    EXPECT_EQ(Head(preview, 5), "%PDF-");

    Expect(1, "pdf 'NON-ESISTE'",
           {"no document of company 1 has register id or order number \"NON-ESISTE\""});
}

TEST_F(NsoPdfTest, AnOrderNumberOfTwoDocumentsIsRefusedNamingTheirIds) {
    // The same order number again, issued on another day.
    const std::string order =
        kvad::test::ReadSourceFile("examples/inbox/IT01234567890/ORD-2024-0001.xml");
    std::ofstream(dir / "inbox" / "IT01234567890" / "ORD-2024-0001-bis.xml")
        << std::regex_replace(order, std::regex("2024-03-04"), "2024-03-09");
    Nso("fetch");
    ASSERT_EQ(exitCode, 0);

    const std::string ambiguous = Expect(1, "pdf 2024-FAR-0381", {});
    EXPECT_TRUE(
        std::regex_search(ambiguous, std::regex("ambiguous .*register ids \\d+ \\(04/03/2024, "
                                                "UF7HQ2\\), \\d+ \\(09/03/2024, UF7HQ2\\)")))
        << ambiguous;
}

TEST_F(NsoPdfTest, OpenShowsTheFileInTheViewerOrSaysThereIsNone) {
    Nso("fetch");
    ASSERT_EQ(exitCode, 0);
    const fs::path viewer = dir / "viewer.sh";
    std::ofstream(viewer) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << (dir / "opened.txt").string()
                          << ".tmp' && mv '" << (dir / "opened.txt").string() << ".tmp' '"
                          << (dir / "opened.txt").string() << "'\n";
    fs::permissions(viewer, fs::perms::owner_all);

    const std::string opened = Nso("pdf 87/2024 --open --viewer '" + viewer.string() + "'");
    ASSERT_EQ(exitCode, 0) << opened;
    EXPECT_EQ(Arrived(dir / "opened.txt") + "\n", opened);

    Expect(1, "pdf 87/2024 --open --viewer /nonexistent/viewer",
           {"cache/folder5/", "nso: the PDF was written, but the viewer \"/nonexistent/viewer\" "
                              "could not show it: name an installed program with --viewer"});
}

// Each failure says what happened and what to do, in one line; the component's own text
// comes beneath it with --verbose only.
TEST_F(NsoPdfTest, EachFailureIsToldInPlainWords) {
    std::ofstream(dir / "inbox" / "IT01234567890" / "invoice.xml")
        << "<Invoice><ID>INV-1</ID></Invoice>";
    Nso("fetch");
    ASSERT_EQ(exitCode, 3);
    kvad::test::RunTestSql(*kvad::test::OpenFolderDb(dir),
                           "UPDATE IE91_NSOFILES SET IE91_XML = NULL WHERE IE91_ID = 1");
    std::ofstream(dir / "cache") << "a file where the cache folder should be";
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"pdf 1", "nso: document 1 has no XML: it was registered, but its XML never arrived from "
                  "the platform; `nso fetch --retry-missing` downloads it again\n"},
        {"pdf invoice", "nso: order invoice (register id 7) cannot be shown as a PDF: its XML "
                        "cannot be read as an order (`nso list --all` tells why it was not "
                        "loaded)\n"},
        {"pdf 87/2024 --out missing/ordine.pdf",
         "nso: the PDF of order 87/2024 (register id 2) could not be written to "
         "missing/ordine.pdf: check that its folder exists and that this user may write in it, "
         "or choose another file with --out\n"},
        {"pdf 2", "nso: the PDF of document 2 could not be written into the preview folder "
                  "cache/folder5: check that this user may create and write in it, choose another "
                  "cache folder with --cache-dir, or a file with --out\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Nso(c.arguments), c.message);
        EXPECT_EQ(exitCode, 1);
    }
    ExpectTold(Nso("--verbose pdf invoice"),
               {"\n  the order cannot be shown as a PDF: the document "
                "is not a UBL Order (its main element is "
                "\"Invoice\")\n"});
}

} // namespace
