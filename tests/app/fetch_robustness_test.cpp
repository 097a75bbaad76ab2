// nso fetch as it meets a crash, a second process, a database it may not write, a company that
// does not exist and documents of every kind: the register stays whole and every outcome is told
// in plain words with the exit status the README gives.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <list>
#include <random>
#include <regex>
#include <thread>

#include "app/folder_database.h"
#include "app/nso_folder.h"
#include "app/nso_process.h"
#include "sqlite/sqlite_database.h"
#include "support/register_snapshot.h"
#include "support/temp_dir.h"
#include "support/test_backend.h"

namespace {

namespace fs = std::filesystem;
using kvad::test::NsoChild;

constexpr const char* kNamespaces =
    "xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Order-2\" "
    "xmlns:cac=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\" "
    "xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\"";

/// Order number i of a generated inbox: every 7th revises the one before it, every 31st cancels
/// the one before it; each has a header allowance and one to three lines with an allowance.
std::string GeneratedOrder(int i, const std::string& buyer = {}) {
    std::string xml = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Order ") +
                      kNamespaces + "><cbc:ID>ORD-" + std::to_string(i) +
                      "</cbc:ID><cbc:IssueDate>2024-05-20</cbc:IssueDate>";
    if (i > 0 && (i % 7 == 0 || i % 31 == 0)) {
        xml += "<cac:OrderDocumentReference><cbc:ID>ORD-" + std::to_string(i - 1) +
               "#2024-05-20#UF" + std::to_string((i - 1) % 5) +
               (i % 31 == 0 ? "#Cancelled" : "#Revised") + "</cbc:ID></cac:OrderDocumentReference>";
    }
    xml += "<cac:BuyerCustomerParty><cac:Party><cbc:EndpointID>UF" + std::to_string(i % 5) +
           "</cbc:EndpointID><cac:PartyName><cbc:Name>" +
           (buyer.empty() ? "ASL " + std::to_string(i) : buyer) +
           "</cbc:Name></cac:PartyName></cac:Party></cac:BuyerCustomerParty>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>true</cbc:ChargeIndicator>"
           "<cbc:Amount>5</cbc:Amount></cac:AllowanceCharge>";
    for (int n = 1; n <= 1 + i % 3; ++n) {
        xml += "<cac:OrderLine><cac:LineItem><cbc:ID>" + std::to_string(n) +
               "</cbc:ID><cbc:Quantity>" + std::to_string(n + i % 4) +
               "</cbc:Quantity><cac:AllowanceCharge><cbc:ChargeIndicator>false"
               "</cbc:ChargeIndicator><cbc:Amount>1.25</cbc:Amount></cac:AllowanceCharge>"
               "<cac:Item><cbc:Name>Articolo " +
               std::to_string(n) + "</cbc:Name></cac:Item></cac:LineItem></cac:OrderLine>";
    }
    return xml + "</Order>";
}

/// The order with another issue date.
std::string WithIssueDate(std::string order, const std::string& date) {
    return order.replace(order.find("2024-05-20"), 10, date);
}

fs::file_time_type ReceivedAt(int second) {
    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 5;
    tm.tm_mday = 1;
    tm.tm_hour = 10;
    tm.tm_isdst = -1;
    return std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(mktime(&tm)) +
                                             std::chrono::seconds(second));
}

class FetchRobustnessTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override { dir = MakeDir(); }

    /// A new folder with an empty inbox of company 1, removed with the test.
    fs::path MakeDir() {
        const fs::path& made = made_.emplace_back("nso-fetch").Path();
        fs::create_directories(made / "inbox" / "IT01234567890");
        return made;
    }

    /// Makes `where` the folder nso runs in, with a new database and company 1 configured.
    void Prepare(const fs::path& where) {
        dir = where;
        Ok("init");
        Ok("config set --document OCL --layout NSO --from 01/01/2024");
    }

    /// A received file, with its reception time second by second after the first.
    static void Receive(const fs::path& where, const std::string& name, const std::string& bytes,
                        int second) {
        const fs::path file = where / "inbox" / "IT01234567890" / name;
        std::ofstream(file, std::ios::binary) << bytes;
        fs::last_write_time(file, ReceivedAt(second));
    }

    static void Generate(const fs::path& where, int count) {
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "doc-%03d.xml", i);
            Receive(where, name, GeneratedOrder(i), i);
        }
    }

    /// Starts a fetch in `where` `rounds` times, and kills each while it takes in one of the
    /// first `orders` documents, picked at random, a little way into it.
    static void KillFetches(const fs::path& where, int rounds, int orders) {
        std::mt19937 random(20240611);
        std::uniform_int_distribution<int> line(1, orders);
        std::uniform_int_distribution<int> micros(0, 3000);
        for (int round = 0; round < rounds; ++round) {
            NsoChild child = kvad::test::StartNso(where, {"fetch"});
            const int at = line(random);
            for (int n = 0; n <= at && !kvad::test::ReadLine(child).empty(); ++n) {
            }
            std::this_thread::sleep_for(std::chrono::microseconds(micros(random)));
            kvad::test::Kill(child);
        }
    }

    static std::string Snapshot(const fs::path& where) {
        return kvad::test::RegisterSnapshot(*kvad::test::OpenFolderDb(where));
    }

    /// The child's next line that has `text`, reading at most `lines` lines; the last line read
    /// (empty at the end of its output) when none has it.
    static std::string ReadLineWith(NsoChild& child, const std::string& text, int lines) {
        std::string line = kvad::test::ReadLine(child);
        for (int n = 1; n < lines && !line.empty() && !Has(line, text); ++n) {
            line = kvad::test::ReadLine(child);
        }
        return line;
    }

  private:
    std::list<kvad::test::TempDir> made_;
};

TEST_F(FetchRobustnessTest, KilledRunsAndOneFetchLeaveWhatAnUninterruptedRunLeaves) {
    constexpr int kOrders = 200;
    const fs::path reference = MakeDir();
    for (const fs::path& where : {reference, dir}) {
        Prepare(where);
        Generate(where, kOrders);
        Receive(where, "zz-bad-date.xml", WithIssueDate(GeneratedOrder(900), "2024-02-30"), 300);
    }

    // The uninterrupted run goes on beside the killed ones.
    NsoChild whole = kvad::test::StartNso(reference, {"fetch"});
    KillFetches(dir, 5, kOrders);
    const std::string last = Nso("fetch");
    EXPECT_TRUE(exitCode == 0 || exitCode == 3) << last;

    std::string output;
    ASSERT_EQ(kvad::test::Finish(whole, &output), 3) << output;
    ASSERT_TRUE(Has(output, "listed 201, new 201, already registered 0, failed to load 1"))
        << output;
    kvad::test::ExpectFileWhole(dir);
    const std::string expected = Snapshot(reference);
    EXPECT_EQ(kvad::test::SnapshotDifference(expected, Snapshot(dir)), "");
    EXPECT_TRUE(Has(expected, "IE91_OPERAZIONE=2")) << "the run links cancellations";
}

TEST_F(FetchRobustnessTest, OneRetrievalOfACompanyAtATime) {
    Prepare(dir);
    Generate(dir, 60);
    {
        // Another retrieval holds the company's lock.
        std::optional<kvad::test::UnnamedCompanyLock> held;
        held.emplace(dir, kvad::db::CompanyWork::Retrieval);
        ASSERT_TRUE(held->Held());
        ExpectTold(Expect(1, "fetch --wait 0", {"nso: another retrieval of company 1 is running"}),
                   {}, {"Routine"});

        // A retrieval that may wait goes on once the lock is free.
        NsoChild waiting = kvad::test::StartNso(dir, {"fetch", "--wait", "20"});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        held.reset();
        std::string output;
        EXPECT_EQ(kvad::test::Finish(waiting, &output), 0) << output;
        ExpectTold(output, {"listed 60, new 60, already registered 0"});
    }
    // Two at once: each counts only what it registered itself.
    const fs::path both = MakeDir();
    Prepare(both);
    Generate(both, 120);
    // The one that waits may wait for as long as the other takes (longer on a loaded server than
    // the 10 s a fetch waits unless told).
    NsoChild first = kvad::test::StartNso(both, {"fetch", "--wait", "60"});
    NsoChild second = kvad::test::StartNso(both, {"fetch", "--wait", "60"});
    std::string a;
    std::string b;
    EXPECT_EQ(kvad::test::Finish(first, &a), 0) << a;
    EXPECT_EQ(kvad::test::Finish(second, &b), 0) << b;
    // The one that waited lists from the date the other recorded: it finds nothing new.
    const bool firstWon = Has(a, "listed 120, new 120, already registered 0, failed to load 0");
    EXPECT_TRUE(firstWon || Has(b, "listed 120, new 120, already registered 0, failed to load 0"))
        << a << b;
    EXPECT_TRUE(Has(firstWon ? b : a, ", new 0, ")) << a << b;
    EXPECT_NE(Snapshot(both).find("IE91_IDORD=ORD-119|"), std::string::npos);
}

TEST_F(FetchRobustnessTest, AnUnknownCompanyIsRefusedByEveryCommandAndNothingIsWritten) {
    Prepare(dir);
    Generate(dir, 3);
    const std::string before = Snapshot(dir);
    for (const char* command : {"fetch", "fetch --retry-missing", "list", "config"}) {
        Expect(1, std::string("--company 999 ") + command,
               {"nso: unknown company 999: `nso init --company 999"});
    }
    EXPECT_EQ(Snapshot(dir), before);
    EXPECT_FALSE(fs::exists(dir / "nso.db.fetch-999.lock"));
}

TEST_F(FetchRobustnessTest, AnImpossibleDateGivesTheSameSummaryFirstOrLast) {
    for (const bool last : {false, true}) {
        SCOPED_TRACE(last ? "the impossible date received last"
                          : "the impossible date received first");
        const fs::path where = MakeDir();
        Prepare(where);
        Receive(where, "good.xml", GeneratedOrder(1), last ? 0 : 5);
        Receive(where, "bad.xml", WithIssueDate(GeneratedOrder(2), "2026-02-30"), last ? 5 : 0);
        ExpectTold(Expect(3, "fetch",
                          {"listed 2, new 2, already registered 0, failed to load 1\n"
                           "  ORD-2 (bad.xml): it could not be staged\n"
                           "      \"2026-02-30\" is not a date (staging column IE92_IssueDate)\n"}),
                   {}, {"Routine"});
        // Nothing is left to do: the next fetch finds everything registered and whole.
        Ok("fetch");
    }
}

TEST_F(FetchRobustnessTest, EachEncodingIsReadAsItsFileSays) {
    Prepare(dir);
    // Latin-1 text: each byte is its own code point, so UTF-16 widens every byte.
    const auto utf16 = [](const std::string& latin1, bool little) {
        std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
        for (const char c : latin1) {
            out += little ? std::string{c, '\0'} : std::string{'\0', c};
        }
        return out;
    };
    // The order declaring another encoding (its bytes unchanged).
    const auto order = [](int i, const std::string& encoding, const std::string& buyer) {
        std::string xml = GeneratedOrder(i, buyer);
        return xml.replace(xml.find("UTF-8"), 5, encoding);
    };
    Receive(dir, "utf8.xml", "\xEF\xBB\xBF" + order(1, "UTF-8", "Societ\xC3\xA0 1 \xE2\x82\xAC"),
            1);
    Receive(dir, "utf16le.xml", utf16(order(2, "UTF-16", "Societ\xE0 2"), true), 2);
    Receive(dir, "utf16be.xml", utf16(order(3, "UTF-16", "Societ\xE0 3"), false), 3);
    Receive(dir, "latin1.xml", order(4, "ISO-8859-1", "Societ\xE0 4"), 4);
    Receive(dir, "cp1252.xml", order(5, "windows-1252", "Societ\xE0 5 \x80"), 5);
    ExpectTold(Ok("fetch"), {"listed 5, new 5, already registered 0, failed to load 0"});
    ExpectTold(Ok("list --all"),
               {"Societ\xC3\xA0 1 \xE2\x82\xAC ", "Societ\xC3\xA0 2 ", "Societ\xC3\xA0 3 ",
                "Societ\xC3\xA0 4 ", "Societ\xC3\xA0 5 \xE2\x82\xAC "});
}

TEST_F(FetchRobustnessTest, EveryDocumentNamesItsTrueReason) {
    Prepare(dir);
    Receive(dir, "good.xml", GeneratedOrder(1), 0);
    Receive(dir, "empty.xml", "", 1);
    Receive(dir, "text.xml", "this is not XML", 2);
    Receive(dir, "invoice.xml", "<Invoice><ID>7</ID></Invoice>", 3);
    Receive(dir, "koi.xml",
            "<?xml version=\"1.0\" encoding=\"x-koi-nessuna\"?><Order><ID>\xD0\xD2</Order>", 4);
    Receive(dir, "date.xml", WithIssueDate(GeneratedOrder(6), "2024-13-01"), 5);
    // Larger than the XML limit, and larger than the platform delivers (sparse: no disk cost).
    {
        std::string big = GeneratedOrder(8);
        big.insert(big.size() - 8, std::string(std::size_t{17} * 1024 * 1024, ' '));
        Receive(dir, "big.xml", big, 6);
        const fs::path huge = dir / "inbox" / "IT01234567890" / "huge.xml";
        std::ofstream(huge) << "<";
        fs::resize_file(huge, std::uintmax_t{70} * 1024 * 1024);
        fs::last_write_time(huge, ReceivedAt(7));
    }
    // Whole up to its buyer, cut short after it: listed under its file's name like any text that
    // is not XML, not under the number its first lines give.
    const std::string whole = GeneratedOrder(9);
    Receive(dir, "cut.xml", whole.substr(0, whole.find("<cac:AllowanceCharge>") + 10), 8);
    const std::string tooLarge = " holds more text than the 16 MiB a document may have";
    const std::vector<std::string> lines = {
        "listed 9, new 9, already registered 0, failed to load 8\n",
        "  empty (empty.xml): the document is empty\n",
        "  text (text.xml): it is not well-formed XML (line 1: ",
        "  invoice (invoice.xml): it is not an Order (its document element is \"Invoice\")\n",
        "  koi (koi.xml): it is not UTF-8 text (line 1: bytes that are not UTF-8 at byte ",
        " in text that declares the encoding \"x-koi-nessuna\")\n",
        "  ORD-6 (date.xml): it could not be staged\n      \"2024-13-01\" is not a date",
        "  big (big.xml): the download failed: the file \"inbox/IT01234567890/big.xml\" "
        "(17827257 bytes)" +
            tooLarge,
        "  huge (huge.xml): the download failed: the file \"inbox/IT01234567890/huge.xml\" "
        "(73400320 bytes)" +
            tooLarge,
        "  cut (cut.xml): it is not well-formed XML (line 2: ",
    };
    const std::string r = Expect(3, "fetch", lines);
    ExpectTold(r, {}, {"ORD-9"});
    // The hint to try again stands only where trying again can help: a download refused (the
    // file may be replaced), not a document that was read.
    const std::string hint = "(`nso fetch --retry-missing` tries again)";
    EXPECT_EQ(r.find(hint), r.find("a document may have " + hint) + 20) << r;
    EXPECT_EQ(r.rfind(hint), r.rfind("a document may have " + hint) + 20) << r;

    // The list shows what is not an order as such, and why each is not loaded.
    const std::string list = Ok("list --all");
    EXPECT_TRUE(std::regex_search(list, std::regex("\n\\d+ +not an order  invoice "))) << list;
    ExpectTold(list, {"not loaded  [it is not an Order"});
}

TEST_F(FetchRobustnessTest, ControlCharactersFromOutsideAreShownEscaped) {
    Prepare(dir);
    Receive(dir, "ctl.xml", GeneratedOrder(1, "ASL&#13;&#10;fake row"), 0);
    Receive(dir, "evil\x1B[2J\nrow.xml", "not XML", 1); // its number is its file name
    ExpectTold(Nso("fetch"),
               {"  evil\\x1B[2J\\nrow (evil\\x1B[2J\\nrow.xml): it is not well-formed XML"},
               {"\x1B", "\r"});
    ExpectTold(Nso("list"), {"ASL\\r\\nfake row", "     unreadable    evil\\x1B[2J\\nrow"},
               {"\x1B", "\r"});
}

TEST_F(FetchRobustnessTest, FetchWithoutConfigurationSaysSoEveryTime) {
    Ok("init");
    Generate(dir, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Nso("fetch"), "nso: company 1 has no import configuration: `nso config set "
                                "--document CODE --layout CODE --from dd/mm/yyyy` writes it\n");
        EXPECT_EQ(exitCode, 1);
    }
    ExpectTold(Nso("fetch --verbose"), {"\n  Parametri di configurazione assenti\n"});
}

/// What only a database file meets: its mode, other bytes or tables at its path (a server
/// database's rights and contents are the server's).
class FetchOnAFileTest : public FetchRobustnessTest {
  protected:
    void SetUp() override {
        KVAD_SQLITE_ONLY();
        FetchRobustnessTest::SetUp();
    }
};

TEST_F(FetchOnAFileTest, AReadOnlyDatabaseIsToldInPlainWords) {
    Prepare(dir);
    Generate(dir, 2);
    // Read-only for the user that runs nso: as root, the file mode holds only for another user.
    std::optional<uid_t> user;
    if (geteuid() == 0) {
        user = 65534; // nobody
        fs::permissions(dir, fs::perms::all);
        fs::permissions(dir / "inbox", fs::perms::all, fs::perm_options::add);
        fs::permissions(dir / "inbox" / "IT01234567890", fs::perms::all, fs::perm_options::add);
    }
    fs::permissions(dir / "nso.db",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto run = [&](const std::vector<std::string>& command, std::string& output) {
        NsoChild child = kvad::test::StartNso(dir, command, user);
        return kvad::test::Finish(child, &output);
    };
    const std::string before = Snapshot(dir);
    for (const auto& command :
         std::vector<std::vector<std::string>>{{"fetch"}, {"config", "set", "--layout", "X"}}) {
        std::string output;
        EXPECT_EQ(run(command, output), 1) << output;
        EXPECT_EQ(output, "nso: the database nso.db is read-only: nso must write to it; give "
                          "this user write access to it and to its folder, or choose another "
                          "with --db\n");
    }
    std::string listed;
    EXPECT_EQ(run({"list"}, listed), 0) << "reading still works\n" << listed;
    EXPECT_EQ(Snapshot(dir), before);
}

TEST_F(FetchOnAFileTest, AFileThatIsNotOurDatabaseIsToldInPlainWords) {
    std::ofstream(dir / "nso.db") << std::string(4096, 'x');
    EXPECT_EQ(Nso("list"), "nso: nso.db is not a database or is damaged: check --db, or let "
                           "`nso init --db FILE` create a new one\n");
    EXPECT_EQ(exitCode, 1);
    ExpectTold(Nso("list --verbose"), {"\n  file is not a database"});

    fs::remove(dir / "nso.db");
    kvad::db::ExecuteNativeScript(*kvad::db::OpenSqlite((dir / "nso.db").string()),
                                  "CREATE TABLE OTHER (A int)");
    ExpectTold(Nso("fetch"), {"nso: nso.db is not a database of nso"});

    Ok("init");
    kvad::db::ExecuteNativeScript(*kvad::db::OpenSqlite((dir / "nso.db").string()),
                                  "INSERT INTO KVAD_SCHEMA_VERSION (SCHEMA_VERSION, SCHEMA_SCRIPT, "
                                  "SCHEMA_APPLIED) VALUES (99, 'later', '2030-01-01')");
    Expect(1, "fetch", {"was written by a newer nso (schema version 99"});
}

TEST_F(FetchRobustnessTest, AWatchFetchesWhatArrivesAndGoesOnAfterABadFile) {
    Prepare(dir);
    Receive(dir, "doc-000.xml", GeneratedOrder(0), 0);
    // A file arrives now, after the retrieval the watch made: its time is its arrival's.
    const auto Arrive = [&](const std::string& name, const std::string& bytes) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        std::ofstream(dir / "inbox" / "IT01234567890" / name, std::ios::binary) << bytes;
    };
    NsoChild watch = kvad::test::StartNso(dir, {"fetch", "--watch"});
    EXPECT_TRUE(Has(kvad::test::ReadLine(watch), "watching the inbox"));
    EXPECT_EQ(kvad::test::ReadLine(watch), "new 1, not loaded 0") << "what is there at the start";

    // A file that is not XML is told with its reason; the watch goes on and takes the next one.
    Arrive("doc-001.xml", "not xml at all");
    EXPECT_EQ(kvad::test::ReadLine(watch), "new 1, not loaded 1");
    ExpectTold(ReadLineWith(watch, "not well-formed XML", 5), {"not well-formed XML"});
    Arrive("doc-002.xml", GeneratedOrder(2));
    EXPECT_EQ(ReadLineWith(watch, "new ", 1000), "new 1, not loaded 0");
    kvad::test::Kill(watch);
    ExpectTold(Nso("fetch"), {"new 0"});
}

} // namespace
