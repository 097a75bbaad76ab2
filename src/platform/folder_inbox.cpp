#include "platform/folder_inbox.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "folder_inbox_service.h"
#include "inbox_account.h"
#include "inbox_collection.h"
#include "inbox_document.h"
#include "inbox_folder.h"
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

/// ReadListedFile for each file, in the files' order. Reading a file's whole text for its
/// summary is most of a listing's work, and the files are independent: a large folder is read
/// by a few threads, each holding one file's text at a time. A failure other than an unreadable
/// file (memory) is thrown as it would be read in order.
std::vector<ListedSummary> ReadListedFiles(const std::vector<ReceivedFile>& files) {
    constexpr std::size_t kFilesPerThread = 16;
    constexpr unsigned kMaxThreads = 4;
    std::vector<ListedSummary> readings(files.size());
    const unsigned threads =
        std::min({std::max(std::thread::hardware_concurrency(), 1U), kMaxThreads,
                  static_cast<unsigned>(files.size() / kFilesPerThread)});
    if (threads < 2) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            readings[i] = ReadListedFile(files[i]);
        }
        return readings;
    }
    std::vector<std::exception_ptr> failures(files.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++) {
            try {
                readings[i] = ReadListedFile(files[i]);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        try {
            for (unsigned t = 1; t < threads; ++t) {
                helpers.emplace_back(work);
            }
        } catch (const std::system_error&) {
            // No more threads to be had: the ones started and this one read the rest.
        }
        work();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
    return readings;
}

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

    const std::vector<ReceivedFile> files = ListReceivedFiles(folder, *since);
    std::vector<ListedSummary> readings = ReadListedFiles(files);
    std::vector<std::shared_ptr<NsoDocument>> documents;
    documents.reserve(files.size());
    std::unordered_map<std::string, ListedSummary> listed;
    for (std::size_t i = 0; i < files.size(); ++i) {
        documents.push_back(MakeDocument(files[i], std::string(), readings[i].summary, false));
        listed.insert_or_assign(files[i].name, std::move(readings[i]));
    }
    listed_ = std::move(listed);
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
        if (known->second.textSize == content.size() &&
            known->second.textHash == std::hash<std::string_view>{}(content)) {
            summary = std::move(known->second.summary);
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
