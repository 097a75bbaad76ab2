#include "app/settings.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <tuple>
#include <utility>

#include <gmock/gmock.h>

#include "host_test_util.h"

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using namespace std::string_literals;

fs::path Write(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
    return path;
}

std::string LoadError(const fs::path& file) {
    nsoapp::Settings settings;
    try {
        nsoapp::LoadSettingsFile(settings, file.string());
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

// Every key of the file replaces its default (a relative database is beside the file, "~" the
// home folder); a key left out keeps its value.
TEST(Settings, FileValuesReplaceTheDefaultsAndKeysLeftOutKeepTheirs) {
    hosttest::TempDir dir;
    auto file = Write(dir.Path() / "nso.toml", R"(
database = "data/orders.db"
company = 7
company_vat = "09876543210"
user_id = 12
user_name = "mario"
inbox = "/srv/inbox"
platform_user = "ditta7"
platform_password = "s3gr3to"
cache_dir = "~/nso-cache"
viewer = "evince"
)");
    nsoapp::Settings s;
    nsoapp::LoadSettingsFile(s, file.string());
    EXPECT_EQ(s.settingsFile, fs::absolute(file).string());
    EXPECT_EQ(s.database, (dir.Path() / "data" / "orders.db").string());
    EXPECT_EQ(std::tie(s.company, s.companyVat, s.userId, s.userName, s.inbox, s.platformUser,
                       s.platformPassword, s.viewer),
              std::make_tuple(7, "09876543210"s, 12, "mario"s, "/srv/inbox"s, "ditta7"s, "s3gr3to"s,
                              "evince"s));
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        EXPECT_EQ(s.cacheDir, (fs::path(home) / "nso-cache").string());
    }

    nsoapp::Settings partial;
    nsoapp::LoadSettingsFile(partial, Write(dir.Path() / "a.toml", "company = 3\n").string());
    EXPECT_EQ(partial.company, 3);
    EXPECT_EQ(partial.database, nsoapp::Settings{}.database);
    EXPECT_EQ(partial.companyVat, nsoapp::Settings{}.companyVat);
}

TEST(Settings, BadFileErrorsNameTheFileAndTheLine) {
    hosttest::TempDir dir;
    auto syntax = Write(dir.Path() / "syntax.toml", "company = 1\n\ndatabase = \"x.db\n");
    EXPECT_THAT(LoadError(syntax), HasSubstr(syntax.string() + ":3: "));
    auto type = Write(dir.Path() / "type.toml", "database = \"x.db\"\ncompany = \"uno\"\n");
    EXPECT_EQ(LoadError(type), type.string() + ":2: company must be a whole number");
    auto unknown = Write(dir.Path() / "unknown.toml", "\n\ndatabse = \"x.db\"\n");
    EXPECT_EQ(LoadError(unknown), unknown.string() + ":3: unknown setting \"databse\"");
    auto range = Write(dir.Path() / "range.toml", "user_id = 3000000000\n");
    EXPECT_THAT(LoadError(range), HasSubstr(":1: user_id is out of range"));
    EXPECT_THAT(LoadError(dir.Path() / "missing.toml"),
                HasSubstr("missing.toml: the settings file does not exist: check --settings"));
    EXPECT_EQ(LoadError(dir.Path()), dir.Path().string() +
                                         ": this is not a settings file but a folder or the like: "
                                         "name the file with --settings");
}

/// Sets an environment variable (unsets it for nullptr) until the end of the scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

/// Works in `dir` until the end of the scope, also when a check stops the test early: the
/// tests after it must not run in a folder that is about to be removed.
class ScopedCwd {
  public:
    explicit ScopedCwd(const fs::path& dir) : before_(fs::current_path()) { fs::current_path(dir); }
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;
    ~ScopedCwd() {
        std::error_code ignored;
        fs::current_path(before_, ignored);
    }

  private:
    fs::path before_;
};

// The home folder's candidate cannot be looked into (here a loop of links, which even root
// cannot follow): the lookup goes on without it, instead of failing on the file system's text.
TEST(Settings, ADefaultFolderThatCannotBeLookedIntoIsSkipped) {
    hosttest::TempDir dir;
    fs::create_directory_symlink(dir.Path() / ".config", dir.Path() / ".config");
    const ScopedCwd cwd(dir.Path()); // no ./nso.toml
    ScopedEnv home("HOME", dir.Path().c_str());
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv env("NSO_SETTINGS", nullptr);
    nsoapp::Settings s;
    s.settingsFile = "left over";
    EXPECT_EQ(LoadError(""), "no error");
    EXPECT_NO_THROW(nsoapp::LoadSettingsFile(s, "", "")); // no machine's file either
    EXPECT_EQ(s.settingsFile, "");
}

// The machine's file (/etc/kvad-nso/nso.toml when installed) is read only when the user has no
// file of their own: ./nso.toml comes first, then ~/.config/kvad_nso/nso.toml.
TEST(Settings, TheMachinesFileComesAfterTheUsersOwn) {
    hosttest::TempDir dir;
    const ScopedCwd cwd(dir.Path());
    ScopedEnv home("HOME", dir.Path().c_str());
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv env("NSO_SETTINGS", nullptr);
    fs::create_directories(dir.Path() / "etc");
    const fs::path machine = Write(dir.Path() / "etc" / "nso.toml", "company = 5\n");
    const auto companyRead = [&machine] {
        nsoapp::Settings s;
        nsoapp::LoadSettingsFile(s, "", machine.string());
        return std::make_pair(s.company, s.settingsFile);
    };
    EXPECT_EQ(companyRead(), std::make_pair(5, machine.string()));

    fs::create_directories(dir.Path() / ".config" / "kvad_nso");
    const fs::path user = Write(dir.Path() / ".config" / "kvad_nso" / "nso.toml", "company = 6\n");
    EXPECT_EQ(companyRead(), std::make_pair(6, user.string()));

    Write(dir.Path() / "nso.toml", "company = 7\n");
    EXPECT_EQ(companyRead().first, 7);
}

using hosttest::RunNso;

TEST(NsoSettings, OptionsOverrideTheFileAndThePasswordIsMasked) {
    hosttest::TempDir dir;
    auto file = Write(dir.Path() / "nso.toml",
                      "database = \"/tmp/a.db\"\ncompany = 4\nplatform_password = \"pw1\"\n");
    auto run = RunNso("--settings " + file.string() + " settings --db /tmp/b.db --company-vat 111");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("# settings file: " + file.string()));
    EXPECT_THAT(run.output, HasSubstr("database = \"/tmp/b.db\""));
    EXPECT_THAT(run.output, HasSubstr("company = 4\n"));
    EXPECT_THAT(run.output, HasSubstr("company_vat = \"111\""));
    EXPECT_THAT(run.output, HasSubstr("platform_password = \"********\""));
    EXPECT_EQ(run.output.find("pw1"), std::string::npos);
}

TEST(NsoSettings, BadFileAndBadOptionsAreUsageErrors) {
    hosttest::TempDir dir;
    auto file = Write(dir.Path() / "bad.toml", "company = [\n");
    auto bad = RunNso("--settings " + file.string() + " settings");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_THAT(bad.output, HasSubstr("nso: " + file.string() + ":"));
    auto option = RunNso("--company uno settings");
    EXPECT_EQ(option.exitCode, 2);
    EXPECT_THAT(option.output, HasSubstr("nso: "));
}
} // namespace
