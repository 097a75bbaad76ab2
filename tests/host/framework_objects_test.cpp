#include "host/stand_ins.h"

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "host_test_util.h"

namespace {

namespace fs = std::filesystem;
using kvad::CreateObjectAs;
namespace progid = kvad::progid;

kvad::host::HostConfig Config(const fs::path& cacheDir, const std::string& viewer = "") {
    kvad::host::HostConfig config;
    config.cacheDir = cacheDir.string();
    config.viewer = viewer;
    return config;
}

// Files go to folder 5 under the cache folder, made when first used; any other folder, or a
// name leaving the folder, is refused.
TEST(TextFile, FolderFiveIsMadeUnderTheCacheDirAndNothingElseIsReached) {
    hosttest::TempDir dir;
    kvad::host::RegisterStandIns(Config(dir.Path() / "cache"));
    auto file = CreateObjectAs<kvad::TextFile>(progid::kTextFile);
    hosttest::ExpectVbError(kvad::vberr::kObjectNotSet, [&] { (void)file->CompleteFileName(); });
    const fs::path folder = dir.Path() / "cache" / "folder5";
    file->InitializeFromFixedFolder(5, "ABC_123.pdf");
    EXPECT_EQ(file->CompleteFileName(), (folder / "ABC_123.pdf").string());
    EXPECT_TRUE(fs::is_directory(folder));
    // A name without GUID is still a file of its own in the folder.
    file->InitializeFromFixedFolder(5, ".pdf");
    EXPECT_EQ(file->CompleteFileName(), (folder / ".pdf").string());

    hosttest::ExpectVbError(5, [&] { file->InitializeFromFixedFolder(4, "a.pdf"); });
    for (const char* name : {"", "..", "../a.pdf", "sub/a.pdf"}) {
        hosttest::ExpectVbError(5, [&] { file->InitializeFromFixedFolder(5, name); });
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "cache" / "folder4"));
}

TEST(RsFunct, GuidsAreUpperCaseWithDashesAndNeverRepeat) {
    kvad::host::RegisterStandIns({});
    auto funct = CreateObjectAs<kvad::RsFunct>(progid::kRsFunct);
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    const std::string first = funct->GetGuidWithoutConnection();
    const std::string second = funct->GetGuidWithoutConnection();
    EXPECT_TRUE(std::regex_match(first, form)) << first;
    EXPECT_TRUE(std::regex_match(second, form)) << second;
    EXPECT_NE(first, second);
}

TEST(ApplicationBrowser, OpensTheFileInTheViewerWithoutWaiting) {
    hosttest::TempDir dir;
    fs::path viewer = dir.Path() / "viewer.sh";
    fs::path seen = dir.Path() / "seen.txt";
    std::ofstream(viewer) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << seen.string() << ".tmp'\n"
                          << "mv '" << seen.string() << ".tmp' '" << seen.string() << "'\n";
    fs::permissions(viewer, fs::perms::owner_all);
    kvad::host::RegisterStandIns(Config(dir.Path(), viewer.string()));

    auto file = CreateObjectAs<kvad::TextFile>(progid::kTextFile);
    file->InitializeFromFixedFolder(5, "order.pdf");
    auto browser = CreateObjectAs<kvad::ApplicationBrowser>(progid::kApplicationBrowser);
    ASSERT_TRUE(browser->IsInstalled());
    browser->OpenWithFile(*file);
    browser->Dispose();
    hosttest::ExpectVbError(kvad::vberr::kObjectNotSet, [&] { browser->OpenWithFile(*file); });

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(seen) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::stringstream argument;
    argument << std::ifstream(seen).rdbuf();
    EXPECT_EQ(argument.str(), file->CompleteFileName());
}

TEST(ApplicationBrowser, MissingViewerIsNotInstalled) {
    hosttest::TempDir dir;
    for (const std::string& viewer :
         {(dir.Path() / "absent").string(), std::string("kvad-no-such-viewer")}) {
        kvad::host::RegisterStandIns(Config(dir.Path(), viewer));
        auto file = CreateObjectAs<kvad::TextFile>(progid::kTextFile);
        file->InitializeFromFixedFolder(5, "order.pdf");
        auto browser = CreateObjectAs<kvad::ApplicationBrowser>(progid::kApplicationBrowser);
        EXPECT_FALSE(browser->IsInstalled()) << viewer;
        hosttest::ExpectVbError(53, [&] { browser->OpenWithFile(*file); });
    }
}

TEST(StandIns, UnregisterRemovesEveryClass) {
    kvad::host::RegisterStandIns({});
    kvad::host::UnregisterStandIns();
    for (const char* id : {progid::kNumberFormatter, progid::kDate, progid::kTextFile,
                           progid::kApplicationBrowser, progid::kRsFunct}) {
        hosttest::ExpectVbError(kvad::vberr::kCannotCreateObject,
                                [&] { (void)kvad::CreateObject(id); });
    }
}

} // namespace
