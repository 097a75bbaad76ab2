#include "platform/folder_inbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "kvad_nso/errors.h"
#include "kvad_nso/nso_ws.h"
#include "support/expect_error.h"
#include "support/temp_dir.h"

namespace kvad::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCompany = "IT01234567890";

std::string UblOrder(const std::string& id, const std::string& date, const std::string& endpoint) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
           "<Order xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Order-2\" "
           "xmlns:cac=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\" "
           "xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">"
           "<cbc:ID>" +
           id + "</cbc:ID><cbc:IssueDate>" + date +
           "</cbc:IssueDate>"
           "<cac:SellerSupplierParty><cac:Party><cbc:EndpointID>SELLER</cbc:EndpointID>"
           "</cac:Party></cac:SellerSupplierParty>"
           "<cac:BuyerCustomerParty><cac:Party><cbc:EndpointID schemeID=\"0201\">" +
           endpoint + "</cbc:EndpointID></cac:Party></cac:BuyerCustomerParty></Order>";
}

/// The same data inside an SBDH envelope, with prefixes other than the usual ones.
std::string EnvelopedOrder(const std::string& id, const std::string& date,
                           const std::string& endpoint) {
    return "<sh:StandardBusinessDocument "
           "xmlns:sh=\"http://www.unece.org/cefact/namespaces/StandardBusinessDocumentHeader\">"
           "<sh:StandardBusinessDocumentHeader><sh:HeaderVersion>1.0</sh:HeaderVersion>"
           "</sh:StandardBusinessDocumentHeader>"
           "<ns4:Order xmlns:ns4=\"urn:oasis:names:specification:ubl:schema:xsd:Order-2\" "
           "xmlns:ns2=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\" "
           "xmlns:ns3=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\">"
           "<ns2:ID> " +
           id + " </ns2:ID><ns2:IssueDate>" + date +
           "</ns2:IssueDate>"
           "<ns3:BuyerCustomerParty><ns3:Party><ns2:EndpointID>" +
           endpoint +
           "</ns2:EndpointID></ns3:Party></ns3:BuyerCustomerParty></ns4:Order>"
           "</sh:StandardBusinessDocument>";
}

/// The file time of a local date and time.
fs::file_time_type FileTimeAt(const DateTime& local) {
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    const auto sys = std::chrono::system_clock::from_time_t(std::mktime(&tm));
    return std::chrono::file_clock::from_sys(sys);
}

/// A temporary inbox root with the folder inbox registered on it, logged in.
class FolderInboxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root_ / kCompany);
        Register(root_.Path().string());
        service_ = LoggedIn(error_);
        ASSERT_EQ(error_, "");
    }
    void TearDown() override { UnregisterFolderInbox(); }

    static void Register(const std::string& inbox) {
        RegisterFolderInbox({inbox, "utente", "segreto"});
    }

    /// A service set up as the component sets it up, after its Login.
    static std::shared_ptr<NsoService> LoggedIn(std::string& error) {
        auto service = CreateObjectAs<NsoService>(progid::kNsoService);
        auto account = CreateObjectAs<NsoAccount>(progid::kNsoAccount);
        account->SetCodiceDitta(1);
        account->SetConnessione(nullptr);
        service->SetUsername(account->Username());
        service->SetPassword(account->Password());
        service->SetConfigXML(account->ConfigXML());
        Variant extra;
        service->Login(std::string(), extra, error);
        return service;
    }

    void Write(const std::string& name, const std::string& content,
               const DateTime& modified = DateTime::Now().AddDays(-1)) {
        const fs::path path = root_ / kCompany / name;
        std::ofstream(path, std::ios::binary) << content;
        fs::last_write_time(path, FileTimeAt(modified));
    }

    std::shared_ptr<NsoCollection> List(const std::string& since, std::string& error,
                                        const std::string& company = kCompany) {
        std::shared_ptr<NsoCollection> collection;
        service_->ListOrders(company, since + " 00:00:00", collection, error);
        return collection;
    }

    std::shared_ptr<NsoCollection> Download(const std::string& hubId, std::string& error) {
        std::shared_ptr<NsoCollection> collection;
        service_->DownloadOrders(Variant(hubId), collection, error);
        return collection;
    }

    static std::string Yesterday() { return DateTime::Now().AddDays(-2).ToIsoDate(); }

    /// A listed or downloaded document as "hub id|number|date|endpoint".
    static std::string Summary(const std::shared_ptr<NsoDocument>& d) {
        return d->HubId().Text() + "|" + d->FileDocNum().Text() + "|" + d->FileDocData().Text() +
               "|" + d->EndPointId().Text();
    }

    /// The summaries of a listing, in its order.
    static std::vector<std::string> Summaries(const std::shared_ptr<NsoCollection>& list) {
        std::vector<std::string> out;
        for (const auto& document : list->Items()) {
            out.push_back(Summary(document));
        }
        return out;
    }

    kvad::test::TempDir root_{"inbox"};
    std::string error_;
    std::shared_ptr<NsoService> service_;
};

// The download gives the summary of the text it returns: the listing's when the file is
// unchanged, read again when the file was rewritten in between.
TEST_F(FolderInboxTest, DownloadSummarisesTheTextItReturns) {
    Write("o.xml", UblOrder("PO/1", "2024-03-05", "UFABCD"));
    Write("p.xml", UblOrder("PO/2", "2024-03-06", "UFABCD"));
    auto list = List(Yesterday(), error_);
    ASSERT_EQ(error_, "");
    Write("o.xml", UblOrder("PO/10", "2024-04-01", "UFXYZ1"));

    EXPECT_EQ(Summary(Download("o.xml", error_)->Item(0)), "o.xml|PO/10|2024-04-01|UFXYZ1");
    EXPECT_EQ(error_, "");
    for (int round = 0; round < 2; ++round) { // the second time without the listing's summary
        EXPECT_EQ(Summary(Download("p.xml", error_)->Item(0)), "p.xml|PO/2|2024-03-06|UFABCD");
        EXPECT_EQ(error_, "");
    }
}

// Files modified from the start date's midnight on are listed, the oldest first and those of
// one time by name, each with the number, date and buyer of its text, bare or in an envelope
// with prefixes of its own; the listing carries no text.
TEST_F(FolderInboxTest, ListsFilesModifiedAtOrAfterTheStartDateByTimeThenName) {
    const DateTime start = DateTime::Now().AddDays(-5).DateOnly();
    DateTime lastSecondBefore = start.AddDays(-1);
    lastSecondBefore.hour = 23;
    lastSecondBefore.minute = 59;
    lastSecondBefore.second = 59;
    Write("before.xml", UblOrder("1", "2024-01-01", "E"), lastSecondBefore);
    Write("midnight.xml", UblOrder("2", "2024-01-01", "E"), start);
    Write("z-same.xml", EnvelopedOrder("PO/8", "2024-03-06Z", "UFXYZ1"), start.AddDays(1));
    Write("m-same.xml", UblOrder("PO/7", "2024-03-05", "UFABCD"), start.AddDays(1));

    auto list = List(start.ToIsoDate(), error_);
    ASSERT_EQ(error_, "");
    EXPECT_EQ(Summaries(list), (std::vector<std::string>{"midnight.xml|2|2024-01-01|E",
                                                         "m-same.xml|PO/7|2024-03-05|UFABCD",
                                                         "z-same.xml|PO/8|2024-03-06|UFXYZ1"}));
    EXPECT_EQ(list->Item(2)->Content(), "");
}

TEST_F(FolderInboxTest, ListsWhatIsNotAnOrderWithFallbacksAndSkipsHiddenFilesAndFolders) {
    const DateTime modified{2030, 1, 2, 10, 0, 0};
    Write("notes.txt", "not xml at all <", modified);
    Write("cancel.xml",
          "<OrderCancellation xmlns=\"urn:x\"><ID>C-1</ID><IssueDate>2022-02-01</IssueDate>"
          "</OrderCancellation>",
          modified.AddDays(1));
    Write("undated.v2.xml", UblOrder("PO/9", "05/03/2024", ""), modified.AddDays(2));
    Write(".partial.xml", UblOrder("PO/10", "2024-03-05", "E"), modified);
    fs::create_directories(root_ / kCompany / "archive.xml");

    auto list = List("2030-01-01", error_);
    ASSERT_EQ(error_, "");
    EXPECT_EQ(Summaries(list), (std::vector<std::string>{"notes.txt|notes|2030-01-02|",
                                                         "cancel.xml|cancel|2030-01-03|",
                                                         "undated.v2.xml|PO/9|2030-01-04|"}));
}

// A large folder is read by several threads: each file keeps its place in the list and its own
// summary, whatever its neighbours hold.
TEST_F(FolderInboxTest, ListsALargeFolderInOrderEachFileWithItsOwnSummary) {
    constexpr int kFiles = 150;
    const auto name = [](int i) { return "f" + std::to_string(i) + ".xml"; };
    const auto broken = [](int i) { return i % 7 == 3; };
    for (int i = 0; i < kFiles; ++i) {
        const std::string n = std::to_string(i);
        // Oldest last by name: the list's order comes from the times, not from the reading.
        Write(name(i),
              broken(i) ? "not xml " + n + " <" : UblOrder("PO/" + n, "2024-03-05", "E" + n),
              DateTime{2030, 1, 1, 0, 0, 0}.AddDays(kFiles - i));
    }

    auto list = List("2030-01-01", error_);
    ASSERT_EQ(error_, "");
    ASSERT_EQ(list->RecordCount(), kFiles);
    for (int i = 0; i < kFiles; ++i) {
        const int file = kFiles - 1 - i;
        const std::string n = std::to_string(file);
        const std::string date = DateTime{2030, 1, 1, 0, 0, 0}.AddDays(kFiles - file).ToIsoDate();
        ASSERT_EQ(Summary(list->Item(i)),
                  name(file) + (broken(file) ? "|f" + n + "|" + date + "|"
                                             : "|PO/" + n + "|2024-03-05|E" + n));
    }
}

TEST_F(FolderInboxTest, MissingCompanyFolderIsAnEmptyListAndAFileInItsPlaceAnError) {
    auto list = List(Yesterday(), error_, "IT99999999999");
    EXPECT_EQ(error_, "");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->RecordCount(), 0);

    std::ofstream(root_ / "IT55555555555") << "x";
    list = List(Yesterday(), error_, "IT55555555555");
    EXPECT_NE(error_.find("IT55555555555"), std::string::npos) << error_;
    EXPECT_EQ(list, nullptr);

    static_cast<void>(List(Yesterday(), error_, "../" + std::string(kCompany)));
    EXPECT_EQ(error_, "the company identifier \"../IT01234567890\" is not a plain folder name");
    static_cast<void>(List("05/03/2024", error_));
    EXPECT_EQ(error_, "the start date \"05/03/2024 00:00:00\" is not a date (yyyy-mm-dd "
                      "hh:mm:ss)");
}

// Rendering reads no folder: only the calls that read the inbox need it.
TEST_F(FolderInboxTest, AMissingInboxFailsTheListingNotTheLoginNorAPdf) {
    const std::string missing = (root_ / "absent").string();
    Register(missing);
    service_ = LoggedIn(error_);
    EXPECT_EQ(error_, "");
    Variant pdf;
    service_->TrasformOrder2PDF(UblOrder("PO/1", "2024-03-05", "UFABCD"), pdf, error_);
    EXPECT_EQ(error_, "");
    ASSERT_NE(pdf.AsBytes(), nullptr);
    static_cast<void>(List(Yesterday(), error_));
    EXPECT_EQ(error_, "the inbox folder \"" + missing +
                          "\" does not exist: create it, or name another one");
    EXPECT_EQ(Download("o.xml", error_), nullptr);
    EXPECT_NE(error_.find("does not exist"), std::string::npos) << error_;
}

TEST_F(FolderInboxTest, ReadsAnEscapedInboxPathAndRefusesAConfigurationWithoutOne) {
    const fs::path odd = root_ / "R&D <'inbox'>";
    fs::create_directories(odd / kCompany);
    std::ofstream(odd / kCompany / "o.xml") << UblOrder("PO/1", "2024-01-01", "E");
    Register(odd.string());
    service_ = LoggedIn(error_);
    ASSERT_EQ(error_, "");
    auto list = List(Yesterday(), error_);
    ASSERT_EQ(error_, "");
    EXPECT_EQ(list->RecordCount(), 1);

    service_->SetConfigXML("<NsoConfig><Other/></NsoConfig>");
    Variant extra;
    service_->Login(std::string(), extra, error_);
    EXPECT_EQ(error_, "the NSO platform's configuration is not valid: it names no inbox folder "
                      "(element Inbox)");
}

// A download gives the file's text without its byte-order mark; without a mark, UTF-16 shows in
// its first characters; bytes in an encoding that cannot be read come unchanged (the loader then
// names the encoding).
TEST_F(FolderInboxTest, DownloadReturnsTheFileTextInEveryEncoding) {
    const std::string text = UblOrder("PO/1", "2024-03-05", "UFABCD") + "\r\n";
    const std::string declared = "<?xml version=\"1.0\" encoding=\"UTF-16\"?><o>E</o>";
    std::string utf16;
    for (const char c : declared) {
        utf16 += std::string{c, '\0'};
    }
    const std::string unknown = "<?xml version='1.0' encoding='x-nessuna'?><o>\xE0</o>";
    Write("order.xml", "\xEF\xBB\xBF" + text);
    Write("wide.xml", utf16);
    Write("unknown.xml", unknown);
    static_cast<void>(List(Yesterday(), error_));
    ASSERT_EQ(error_, "");

    auto downloaded = Download("order.xml", error_);
    ASSERT_EQ(error_, "");
    ASSERT_EQ(downloaded->RecordCount(), 1);
    EXPECT_EQ(downloaded->Item(0)->Content(), text);
    EXPECT_EQ(Summary(downloaded->Item(0)), "order.xml|PO/1|2024-03-05|UFABCD");
    EXPECT_EQ(Download("wide.xml", error_)->Item(0)->Content(), declared);
    EXPECT_EQ(Download("unknown.xml", error_)->Item(0)->Content(), unknown);
}

TEST_F(FolderInboxTest, RefusesHubIdsThatLeaveTheCompanyFolderOrAreMissing) {
    fs::create_directories(root_ / "IT11111111111");
    std::ofstream(root_ / "IT11111111111" / "other.xml") << "secret";
    fs::create_directories(root_ / kCompany / "sub");
    std::ofstream(root_ / kCompany / "sub" / "inner.xml") << "inner";
    Write(".hidden.xml", "hidden");
    static_cast<void>(List(Yesterday(), error_));
    ASSERT_EQ(error_, "");

    for (const std::string id : {"../IT11111111111/other.xml", "..", ".", "sub/inner.xml",
                                 "/etc/hostname", ".hidden.xml", "", "sub", "missing.xml"}) {
        auto downloaded = Download(id, error_);
        EXPECT_NE(error_, "") << id;
        EXPECT_EQ(downloaded, nullptr) << id;
    }
}

TEST_F(FolderInboxTest, CallsFailWhenNotConnected) {
    Write("order.xml", UblOrder("PO/1", "2024-03-05", "E"));
    static_cast<void>(List(Yesterday(), error_));
    ASSERT_EQ(error_, "");
    service_->Terminate();

    const std::string notLoggedIn = "the NSO service is not logged in: log in first";
    static_cast<void>(List(Yesterday(), error_));
    EXPECT_EQ(error_, notLoggedIn);
    static_cast<void>(Download("order.xml", error_));
    EXPECT_EQ(error_, notLoggedIn);
    Variant pdf;
    service_->TrasformOrder2PDF("<Order/>", pdf, error_);
    EXPECT_EQ(error_, notLoggedIn);

    service_ = CreateObjectAs<NsoService>(progid::kNsoService); // never logged in
    static_cast<void>(List(Yesterday(), error_));
    EXPECT_EQ(error_, notLoggedIn);
}

TEST_F(FolderInboxTest, PdfOfAnOrderWithoutNumberIsRefusedAndProgIdObjectsAreEmpty) {
    Variant pdf;
    service_->TrasformOrder2PDF("<Order/>", pdf, error_);
    EXPECT_EQ(error_, "the order cannot be shown as a PDF: the order has no number (element ID)");
    EXPECT_TRUE(pdf.IsEmpty());

    auto collection = CreateObjectAs<NsoCollection>(progid::kNsoCollection);
    EXPECT_EQ(collection->RecordCount(), 0);
    EXPECT_TRUE(collection->Items().empty());
    if (const auto e = test::ThrownBy<VbError>([&] { static_cast<void>(collection->Item(0)); })) {
        EXPECT_EQ(e->Number(), 9);
        EXPECT_STREQ(e->what(), "Subscript out of range");
    }
    auto document = CreateObjectAs<NsoDocument>(progid::kNsoDocument);
    EXPECT_TRUE(document->HubId().IsEmpty());
    EXPECT_EQ(document->Content(), "");
}

} // namespace
} // namespace kvad::platform
