#include "platform/folder_inbox.h"

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "folder_inbox_service.h"
#include "inbox_account.h"
#include "inbox_collection.h"
#include "inbox_document.h"
#include "inbox_folder.h"
#include "listing_reader.h"
#include "order_pdf.h"
#include "order_summary.h"
#include "text_decoding.h"
#include "xml/xml_document.h"

namespace kvad::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNotConnected = "the NSO service is not logged in: log in first";
constexpr const char* kConfigPrefix = "the NSO platform's configuration is not valid: ";

/// The most text a document may have: what the XML layer reads. A file whose text would be
/// larger is listed from its name and date alone and refused for download, before it is read
/// or as soon as its text grows past this, so that memory stays bounded.
const std::size_t kMaxDocumentText = xml::Limits{}.maxBytes;

/// Puts a failure's text into the error text; never throws, so a call never escapes its
/// contract even when memory runs out.
void SetError(std::string& errorText, const char* text) noexcept {
    try {
        errorText = text != nullptr && *text != '\0' ? text : "the NSO platform failed";
    } catch (...) {
        errorText = "NSO failure"; // short enough to need no allocation
    }
}

/// Runs one call of the contract, turning any failure into its error text.
template <class Body> void Report(std::string& errorText, Body&& body) noexcept {
    try {
        errorText.clear();
        body();
    } catch (const std::exception& e) {
        SetError(errorText, e.what());
    } catch (...) {
        SetError(errorText, nullptr);
    }
}

/// The text of the Inbox element under the configuration's document element, or empty.
std::string InboxFromConfig(const std::string& configXml) {
    if (xml::TrimXmlSpace(configXml).empty()) {
        throw InboxError(std::string(kConfigPrefix) + "it is empty");
    }
    std::string error;
    const auto document = xml::Document::Load(configXml, error);
    if (!document) {
        throw InboxError(std::string(kConfigPrefix) + "it is not XML\n" + error);
    }
    for (const auto& top : document->Root().ChildNodes()) {
        if (!top.IsElement()) {
            continue;
        }
        for (const auto& child : top.ChildNodes()) {
            if (child.IsElement() && child.LocalName() == "Inbox") {
                return xml::TrimXmlSpace(child.Text());
            }
        }
        break;
    }
    return {};
}

/// The document for a file: its summary when it is an Order, else what the file itself says.
std::shared_ptr<NsoDocument> MakeDocument(const ReceivedFile& file, const std::string& content,
                                          OrderSummary summary, bool keepContent) {
    if (summary.number.empty()) {
        summary.number = fs::path(file.name).stem().string();
    }
    if (summary.issueDate.empty()) {
        summary.issueDate = LocalTime(file.modified).ToIsoDate();
    }
    return std::make_shared<InboxDocument>(
        file.name, std::move(summary.number), std::move(summary.issueDate),
        std::move(summary.endpointId), keepContent ? content : std::string());
}

/// What the listing reads of one file: its summary, and the hash and size of its text that its
/// download checks. A file that cannot be read is listed all the same, from its name and date:
/// its download reports the problem.
ListedSummary ReadListedFile(const ReceivedFile& file) {
    std::string content;
    try {
        content = ReadDocumentText(file.path, kMaxDocumentText);
    } catch (const InboxError&) {
        // Listed from its name and date: its download reports the problem.
    }
    return ListedSummary{std::hash<std::string_view>{}(content), content.size(),
                         ReadOrderSummary(content).value_or(OrderSummary{})};
}

/// A listed file as a document. Its platform id is its name; the rest comes from the listing's
/// reading of its text, waited for (or made) on first use, so that the first documents can be
/// fetched while the listing still reads the last ones.
class ListedDocument final : public NsoDocument {
  public:
    ListedDocument(std::shared_ptr<ListingReader> reader, std::size_t index)
        : reader_(std::move(reader)), index_(index) {}

    [[nodiscard]] Variant HubId() const override { return reader_->File(index_).name; }
    [[nodiscard]] Variant FileDocNum() const override { return Read().FileDocNum(); }
    [[nodiscard]] Variant FileDocData() const override { return Read().FileDocData(); }
    [[nodiscard]] Variant EndPointId() const override { return Read().EndPointId(); }
    [[nodiscard]] std::string Content() const override { return {}; }

  private:
    /// The document as its reading lists it. Rethrows a failure other than an unreadable file
    /// (memory), as the listing would have met it.
    const NsoDocument& Read() const {
        if (!read_) {
            const ReceivedFile& file = reader_->File(index_);
            read_ = MakeDocument(file, std::string(), reader_->Reading(index_).summary, false);
        }
        return *read_;
    }

    std::shared_ptr<ListingReader> reader_;
    std::size_t index_;
    mutable std::shared_ptr<NsoDocument> read_;
};

} // namespace

void FolderInboxService::Login(const std::string& /*unused*/, Variant& /*extra*/,
                               std::string& errorText) {
    Report(errorText, [&] { DoLogin(); });
}

void FolderInboxService::ListOrders(const std::string& companyId, const std::string& startDate,
                                    std::shared_ptr<NsoCollection>& collection,
                                    std::string& errorText) {
    collection.reset();
    Report(errorText, [&] { collection = DoListOrders(companyId, startDate); });
}

void FolderInboxService::DownloadOrders(const Variant& hubId,
                                        std::shared_ptr<NsoCollection>& collection,
                                        std::string& errorText) {
    collection.reset();
    Report(errorText, [&] { collection = DoDownloadOrders(hubId); });
}

void FolderInboxService::TrasformOrder2PDF(const std::string& xml, Variant& pdf,
                                           std::string& errorText) {
    Report(errorText, [&] {
        static_cast<void>(Inbox());
        pdf = Variant(RenderOrderPdf(xml));
    });
}

void FolderInboxService::Terminate() {
    inbox_.reset();
    company_.clear();
    listed_.clear();
    listing_.reset();
}

const fs::path& FolderInboxService::Inbox() const {
    if (!inbox_) {
        throw InboxError(kNotConnected);
    }
    return *inbox_;
}

void FolderInboxService::DoLogin() {
    Terminate();
    const std::string inbox = InboxFromConfig(configXml_);
    if (inbox.empty()) {
        throw InboxError(std::string(kConfigPrefix) + "it names no inbox folder (element Inbox)");
    }
    // The folder itself is looked at when it is read: rendering a PDF needs none.
    inbox_ = fs::path(inbox);
}

// The inbox folder, checked to be one that can be read.
const fs::path& FolderInboxService::ReadableInbox() const {
    const fs::path& inbox = Inbox();
    const std::string prefix = "the inbox folder " + Quoted(inbox.string());
    std::error_code ec;
    const auto status = fs::status(inbox, ec);
    if (status.type() == fs::file_type::not_found) {
        throw InboxError(prefix + " does not exist: create it, or name another one");
    }
    if (ec) {
        throw InboxError(prefix + " cannot be reached: " + Reason(ec));
    }
    if (!fs::is_directory(status)) {
        throw InboxError(prefix + " is not a folder");
    }
    const fs::directory_iterator probe(inbox, ec);
    if (ec) {
        throw InboxError(prefix + " cannot be read: " + Reason(ec));
    }
    return inbox;
}

std::shared_ptr<NsoCollection> FolderInboxService::DoListOrders(const std::string& companyId,
                                                                const std::string& startDate) {
    const fs::path& inbox = ReadableInbox();
    if (!IsVisiblePlainName(companyId)) {
        throw InboxError("the company identifier " + Quoted(companyId) +
                         " is not a plain folder name");
    }
    const auto since = DateTime::ParseIso(startDate);
    if (!since || !since->IsValid()) {
        throw InboxError("the start date " + Quoted(startDate) +
                         " is not a date (yyyy-mm-dd hh:mm:ss)");
    }
    const fs::path folder = inbox / companyId;
    const std::string prefix = "the company folder " + Quoted(folder.string());
    std::error_code ec;
    const auto status = fs::status(folder, ec);
    if (status.type() == fs::file_type::not_found) {
        company_ = companyId;
        return std::make_shared<InboxCollection>();
    }
    if (ec) {
        throw InboxError(prefix + " cannot be reached: " + Reason(ec));
    }
    if (!fs::is_directory(status)) {
        throw InboxError(prefix + " is not a folder");
    }

    std::vector<ReceivedFile> files = ListReceivedFiles(folder, *since);
    const unsigned helpers = ListingReader::HelpersFor(files.size());
    auto reader = std::make_shared<ListingReader>(std::move(files), ReadListedFile, helpers);
    std::vector<std::shared_ptr<NsoDocument>> documents;
    documents.reserve(reader->Size());
    std::unordered_map<std::string, std::size_t> listed;
    for (std::size_t i = 0; i < reader->Size(); ++i) {
        documents.push_back(std::make_shared<ListedDocument>(reader, i));
        listed.insert_or_assign(reader->File(i).name, i);
    }
    listed_ = std::move(listed);
    listing_ = std::move(reader);
    company_ = companyId;
    return std::make_shared<InboxCollection>(std::move(documents));
}

std::shared_ptr<NsoCollection> FolderInboxService::DoDownloadOrders(const Variant& hubId) {
    const fs::path& inbox = ReadableInbox();
    const std::string name = hubId.Text();
    if (!IsVisiblePlainName(name)) {
        throw InboxError("the document id " + Quoted(name) + " is not a plain file name");
    }
    if (company_.empty()) {
        throw InboxError("document " + Quoted(name) +
                         ": no company was listed; list the company's documents first");
    }
    const fs::path folder = inbox / company_;
    const fs::path path = folder / name;
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec && status.type() != fs::file_type::not_found) {
        throw InboxError("document " + Quoted(name) + " cannot be reached: " + Reason(ec));
    }
    if (!fs::is_regular_file(status)) {
        throw InboxError("document " + Quoted(name) + " is not in the folder " +
                         Quoted(folder.string()));
    }
    ReceivedFile file{path, name, fs::last_write_time(path, ec)};
    if (ec) {
        throw InboxError("the file " + Quoted(path.string()) + " cannot be read: " + Reason(ec));
    }
    const std::string content = ReadDocumentText(path, kMaxDocumentText);
    // The listing read this text's summary already: parsed again only when the file changed.
    std::optional<OrderSummary> summary;
    if (const auto known = listed_.find(name); known != listed_.end()) {
        const ListedSummary& reading = listing_->Reading(known->second);
        if (reading.textSize == content.size() &&
            reading.textHash == std::hash<std::string_view>{}(content)) {
            summary = reading.summary;
        }
        listed_.erase(known);
    }
    if (!summary) {
        summary = ReadOrderSummary(content).value_or(OrderSummary{});
    }
    std::vector<std::shared_ptr<NsoDocument>> documents{
        MakeDocument(file, content, std::move(*summary), true)};
    return std::make_shared<InboxCollection>(std::move(documents));
}

void RegisterFolderInbox(const FolderInboxConfig& config) {
    RegisterClass(progid::kNsoService, [] { return std::make_shared<FolderInboxService>(); });
    RegisterClass(progid::kNsoDocument, [] { return std::make_shared<InboxDocument>(); });
    RegisterClass(progid::kNsoCollection, [] { return std::make_shared<InboxCollection>(); });
    RegisterClass(progid::kNsoAccount, [config] { return std::make_shared<InboxAccount>(config); });
}

void UnregisterFolderInbox() {
    for (const char* progId :
         {progid::kNsoService, progid::kNsoDocument, progid::kNsoCollection, progid::kNsoAccount}) {
        UnregisterClass(progId);
    }
}

} // namespace kvad::platform
