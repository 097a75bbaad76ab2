#pragma once
// The web-service client of the folder inbox: the documents of a company are the files of its
// folder ("IT" + VAT number) under the inbox root; a document is received when its file is
// written.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "kvad_nso/nso_ws.h"
#include "order_summary.h"

namespace kvad::platform {

class ListingReader;

/// A file's summary as a listing read it, with a hash of the text it was read from: its
/// download reads the summary again only when the text changed since.
struct ListedSummary {
    std::size_t textHash = 0;
    std::size_t textSize = 0;
    OrderSummary summary;
};

/// The service. Login takes the inbox root from the configuration XML
/// ("<NsoConfig><Inbox>path</Inbox></NsoConfig>"); the user name and password are kept but a
/// local folder does not check them. Every call reports failure in its error text and never
/// throws; on failure the collection argument is set to null.
class FolderInboxService final : public NsoService {
  public:
    void SetUsername(const std::string& value) override { username_ = value; }
    void SetPassword(const std::string& value) override { password_ = value; }
    void SetConfigXML(const std::string& value) override { configXml_ = value; }

    /// Takes the inbox folder from the configuration; fails when it names none. The folder is
    /// checked when it is read (listing, download), so that rendering a PDF needs none.
    /// `extra` is left unchanged.
    void Login(const std::string& unused, Variant& extra, std::string& errorText) override;
    /// Lists the files of the company's folder modified at or after startDate (local time),
    /// oldest first, then by name; fails, naming the folder, when the inbox folder cannot be
    /// read. A company folder that does not exist yet gives an empty
    /// list: a new company has received nothing. A file that is not a readable Order is listed
    /// with its file name without extension as number, its modification date as issue date and
    /// an empty endpoint. The files' texts are read for these summaries by helper threads while
    /// the documents are used: a document's summary waits for its own file's reading only.
    void ListOrders(const std::string& companyId, const std::string& startDate,
                    std::shared_ptr<NsoCollection>& collection, std::string& errorText) override;
    /// Downloads a file of the company listed last; item 0 has its text as Content: the bytes
    /// read in the encoding their byte-order mark or XML declaration gives (see ReadDocumentText),
    /// or unchanged when that encoding cannot be read. An id that is not a plain visible file
    /// name is refused, and so is a file whose text would be larger than the XML layer reads:
    /// before it is read when its size says so.
    void DownloadOrders(const Variant& hubId, std::shared_ptr<NsoCollection>& collection,
                        std::string& errorText) override;
    /// Renders the order as the PDF a clerk prints; an order that cannot be rendered (not XML,
    /// not an Order, an amount that is not a number) gets the reason in the error text.
    void TrasformOrder2PDF(const std::string& xml, Variant& pdf, std::string& errorText) override;
    /// Logs out: later calls fail until the next Login.
    void Terminate() override;

  private:
    [[nodiscard]] const std::filesystem::path& Inbox() const;
    [[nodiscard]] const std::filesystem::path& ReadableInbox() const;
    void DoLogin();
    [[nodiscard]] std::shared_ptr<NsoCollection> DoListOrders(const std::string& companyId,
                                                              const std::string& startDate);
    [[nodiscard]] std::shared_ptr<NsoCollection> DoDownloadOrders(const Variant& hubId);

    std::string username_;
    std::string password_;
    std::string configXml_;
    std::optional<std::filesystem::path> inbox_;          ///< set while logged in
    std::string company_;                                 ///< company folder of the last listing
    std::shared_ptr<ListingReader> listing_;              ///< the last listing's readings
    std::unordered_map<std::string, std::size_t> listed_; ///< its files' indexes, by name
};

} // namespace kvad::platform
