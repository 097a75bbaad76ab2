// The web host's safety as a browser meets it, over HTTP on 127.0.0.1: each session its own
// cookie, token and selection; a state-changing request without its session's token refused; a
// body over the limit refused; values a clerk typed escaped where they are shown; a login asked
// for when the host requires one.
#include <httplib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/nso_folder.h"
#include "app/web/catalogue.h"
#include "app/web/html.h"
#include "app/web/web_host.h"
#include "app/work_lock.h"

namespace {

using kvad::test::NsoFolderTest;
using ::testing::HasSubstr;
using ::testing::Not;

/// A browser as far as the tests need one: its cookie and its form token.
struct Browser {
    std::unique_ptr<httplib::Client> client;
    std::string cookie;
    std::string csrf;

    httplib::Result Get(const std::string& path) {
        return client->Get(path.c_str(), httplib::Headers{{"Cookie", cookie}});
    }
    httplib::Result Post(const std::string& path, const std::string& form) {
        return client->Post(path.c_str(), httplib::Headers{{"Cookie", cookie}}, form,
                            "application/x-www-form-urlencoded");
    }
    /// Posts `fields` with this session's own token.
    httplib::Result Submit(const std::string& path, const std::string& fields = "") {
        return Post(path, "csrf=" + csrf + fields);
    }
};

class WebHostTest : public NsoFolderTest {
  protected:
    void Start(bool loginRequired = false, bool watch = false) {
        MakeFolder("web", "inbox", "inbox");
        Ok("init --demo");
        nsoapp::Settings settings;
        settings.database = kvad::test::FolderDbName(dir);
        settings.inbox = (dir / "inbox").string();
        settings.cacheDir = (dir / "cache").string();
        nsoweb::HostOptions options;
        options.port = 0;
        options.maxBody = 4096;
        options.loginRequired = loginRequired;
        options.watch = watch;
        options.watchSeconds = 0.1;
        options.lockWaitSeconds = 20;
        host_ = std::make_unique<nsoweb::WebHost>(settings, options);
        port_ = host_->Bind();
        serving_ = std::thread([this] { host_->Serve(); });
    }
    void TearDown() override {
        if (host_) {
            host_->Stop();
            serving_.join();
        }
    }

    /// A new browser that has opened the chain list once.
    Browser Open() {
        Browser browser{std::make_unique<httplib::Client>("127.0.0.1", port_), {}, {}};
        const auto page = browser.Get("/chains");
        EXPECT_TRUE(page);
        const std::string set = page->get_header_value("Set-Cookie");
        browser.cookie = set.substr(0, set.find(';'));
        const std::string marker = "name=\"csrf\" content=\"";
        const std::size_t at = page->body.find(marker);
        if (at != std::string::npos) {
            browser.csrf = page->body.substr(at + marker.size(), 64);
        }
        return browser;
    }

    /// Asks for `path` until its page holds `text` (at most about 10 s) and returns that page;
    /// fails the test when it never does.
    std::string Await(Browser& browser, const std::string& path, const std::string& text) {
        for (int i = 0; i < 200; ++i) {
            const std::string page = browser.Get(path)->body;
            if (page.find(text) != std::string::npos) {
                return page;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << path << " never held " << text;
        return {};
    }

    /// Runs a long action and returns its page once done.
    std::string RunJob(Browser& browser, const std::string& path) {
        EXPECT_EQ(browser.Submit(path)->status, 303);
        return Await(browser, "/job", "class=\"outcome");
    }

    std::unique_ptr<nsoweb::WebHost> host_;
    std::thread serving_;
    int port_ = 0;
};

TEST(WebHtml, EscapesMarkupAndQuotes) {
    EXPECT_EQ(nsoweb::Escape("<script>alert('x')</script> & \"y\""),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;y&quot;");
    EXPECT_EQ(nsoweb::UrlEncode("a b&c/é"), "a%20b%26c%2F%C3%A9");
}

TEST(WebCatalogue, ChoosesTheBrowsersLanguage) {
    using nsoweb::Language;
    EXPECT_EQ(nsoweb::FromAcceptLanguage("it-IT,it;q=0.9,en;q=0.8"), Language::Italian);
    EXPECT_EQ(nsoweb::FromAcceptLanguage("en-GB,it;q=0.5"), Language::English);
    EXPECT_EQ(nsoweb::FromAcceptLanguage("de-DE,it;q=0.3,en;q=0.7"), Language::English);
    EXPECT_EQ(nsoweb::FromAcceptLanguage("de-DE,item;q=0.9,it;q=0.2"), Language::Italian);
    EXPECT_EQ(nsoweb::FromAcceptLanguage(""), Language::English);
    EXPECT_EQ(nsoweb::Translate(Language::Italian, "Process the selection"),
              "Elabora la selezione");
    EXPECT_EQ(nsoweb::Translate(Language::English, "Process the selection"),
              "Process the selection");
}

TEST_F(WebHostTest, EachSessionHasItsOwnCookieTokenAndSelection) {
    Start();
    Browser first = Open();
    Browser second = Open();
    const std::string set = first.Get("/chains")->get_header_value("Set-Cookie");
    EXPECT_EQ(set, "") << "a known session gets no new cookie";
    const auto fresh = first.client->Get("/chains");
    EXPECT_THAT(fresh->get_header_value("Set-Cookie"), HasSubstr("; HttpOnly; SameSite=Strict"));
    EXPECT_NE(first.cookie, second.cookie);
    EXPECT_NE(first.csrf, second.csrf);
    ASSERT_EQ(first.csrf.size(), 64U);

    EXPECT_EQ(first.Submit("/select", "&action=set&shown=5&id=5")->status, 303);
    EXPECT_THAT(first.Get("/chains")->body, HasSubstr("1 chains selected"));
    EXPECT_THAT(second.Get("/chains")->body, HasSubstr("0 chains selected"));
}

TEST_F(WebHostTest, RefusesAStateChangeWithoutItsSessionsToken) {
    Start();
    Browser first = Open();
    Browser second = Open();
    EXPECT_EQ(first.Post("/select", "action=all&shown=5")->status, 403);
    EXPECT_EQ(first.Post("/select", "csrf=" + second.csrf + "&action=all&shown=5")->status, 403);
    EXPECT_EQ(first.Post("/fetch", "csrf=")->status, 403);
    EXPECT_THAT(first.Get("/chains")->body, HasSubstr("0 chains selected"));
    EXPECT_EQ(first.Get("/job")->status, 303) << "no fetch was started";
}

TEST_F(WebHostTest, RefusesABodyOverTheLimit) {
    Start();
    Browser browser = Open();
    const auto big = browser.Submit("/select", "&shown=" + std::string(8000, '1'));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->status, 413);
}

TEST_F(WebHostTest, ShowsWhatAClerkTypedAsText) {
    Start();
    Browser browser = Open();
    EXPECT_THAT(RunJob(browser, "/fetch"), HasSubstr("new 6"));
    browser.Submit("/select", "&action=set&shown=5&id=5");
    EXPECT_THAT(RunJob(browser, "/process"), HasSubstr("1 order(s) reviewed"));
    EXPECT_EQ(
        browser.Submit("/orders/5/edit", "&note=%22%3E%3Cscript%3Ealert(1)%3C%2Fscript%3E")->status,
        303);
    const std::string page = browser.Get("/orders/5")->body;
    EXPECT_THAT(page, HasSubstr("changed: note")) << page;
    EXPECT_THAT(page, Not(HasSubstr("<script>alert")));
    EXPECT_THAT(page, HasSubstr("value=\"&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;\""));
}

TEST_F(WebHostTest, AnActionThatWaitsForAnotherSaysForWhat) {
    Start();
    Browser browser = Open();
    RunJob(browser, "/fetch");
    browser.Submit("/select", "&action=set&shown=5&id=5");
    std::optional<nsoapp::WorkLock> other;
    other.emplace(nsoapp::TakeCompanyLock(kvad::test::FolderDbName(dir), 1,
                                          kvad::db::CompanyWork::Clerk, "nso import", 0));
    EXPECT_EQ(browser.Submit("/process")->status, 303);
    Await(browser, "/job", "another nso import of company 1 is running");
    other.reset();
    Await(browser, "/job", "1 order(s) reviewed");
    EXPECT_THAT(browser.Get("/job")->body, Not(HasSubstr("another nso import")));
}

TEST_F(WebHostTest, FetchesWhatArrivesInTheInboxWhenWatching) {
    Start(false, true);
    Browser browser = Open();
    Await(browser, "/chains?which=all", "BIB-7/2024");
    const std::filesystem::path folder = dir / "inbox" / "IT01234567890";
    std::ifstream in(folder / "ORD-2024-0006.xml");
    std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    xml.replace(xml.find("BIB-7/2024"), 10, "BIB-8/2024");
    std::ofstream(folder / "ORD-2024-0007.xml") << xml;
    Await(browser, "/chains?which=all", "BIB-8/2024");
}

TEST_F(WebHostTest, AsksForALoginWhenRequired) {
    Start(true);
    Browser browser{std::make_unique<httplib::Client>("127.0.0.1", port_), {}, {}};
    const auto page = browser.Get("/chains");
    EXPECT_EQ(page->status, 303);
    EXPECT_EQ(page->get_header_value("Location"), "/login");
    EXPECT_EQ(browser.Get("/erp-orders")->status, 303);
    EXPECT_FALSE(nsoweb::IsOwnLoopback("127.0.0.2"));
    EXPECT_FALSE(nsoweb::IsOwnLoopback("0.0.0.0"));
    EXPECT_TRUE(nsoweb::IsOwnLoopback("::1"));
}

} // namespace
