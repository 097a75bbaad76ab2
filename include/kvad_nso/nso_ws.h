#pragma once
/// The contract with the web-service component that reaches the document platform: the
/// service, its document collection, a document and the account object that supplies the
/// company's platform credentials. Out-parameters are references, as the component calls them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kvad_nso/com.h"
#include "kvad_nso/variant.h"

namespace kvad {

class Connection;

namespace progid {
inline constexpr const char* kNsoService = "ZEMA_NSOWS.MGCLS_NSOWS";
inline constexpr const char* kNsoDocument = "ZEMA_NSOWS.MGCLS_NSODOCUMENTO";
inline constexpr const char* kNsoCollection = "ZEMA_NSOWS.MGCLS_COLLECTIONS";
inline constexpr const char* kNsoAccount = "ZEMA_NSOWS.ParametriAccountNSO";
} // namespace progid

/// One document of the platform.
class NsoDocument : public ComObject {
  public:
    /// The platform's id of the document, used to download it.
    [[nodiscard]] virtual Variant HubId() const = 0;
    /// The order number.
    [[nodiscard]] virtual Variant FileDocNum() const = 0;
    /// The order's issue date.
    [[nodiscard]] virtual Variant FileDocData() const = 0;
    /// The buyer's endpoint id.
    [[nodiscard]] virtual Variant EndPointId() const = 0;
    /// The document's UBL XML text (filled by a download).
    [[nodiscard]] virtual std::string Content() const = 0;
};

/// A list of documents returned by the service.
class NsoCollection : public ComObject {
  public:
    [[nodiscard]] virtual long RecordCount() const = 0;
    /// The document at a 0-based index (the default member); throws VbError 9 when out of range.
    [[nodiscard]] virtual std::shared_ptr<NsoDocument> Item(int index) const = 0;
    /// All documents, in the order the enumeration yields them.
    [[nodiscard]] virtual std::vector<std::shared_ptr<NsoDocument>> Items() const = 0;
};

/// The web-service client. Every call reports failure through its error text: empty means
/// success.
class NsoService : public ComObject {
  public:
    virtual void SetUsername(const std::string& value) = 0;
    virtual void SetPassword(const std::string& value) = 0;
    virtual void SetConfigXML(const std::string& value) = 0;

    virtual void Login(const std::string& unused, Variant& extra, std::string& errorText) = 0;
    /// Lists the documents of a company ("IT" + VAT number) received since startDate
    /// ("yyyy-mm-dd 00:00:00"). On success `collection` holds them (or is null).
    virtual void ListOrders(const std::string& companyId, const std::string& startDate,
                            std::shared_ptr<NsoCollection>& collection, std::string& errorText) = 0;
    /// Downloads one document; item 0 of `collection` is the document with its Content.
    virtual void DownloadOrders(const Variant& hubId, std::shared_ptr<NsoCollection>& collection,
                                std::string& errorText) = 0;
    /// Renders an order's XML as PDF; on success `pdf` holds the bytes.
    virtual void TrasformOrder2PDF(const std::string& xml, Variant& pdf,
                                   std::string& errorText) = 0;
    /// Logs out.
    virtual void Terminate() = 0;
};

/// The account object: the company's platform credentials and configuration.
class NsoAccount : public ComObject {
  public:
    virtual void SetCodiceDitta(std::int32_t company) = 0;
    virtual void SetConnessione(std::shared_ptr<Connection> connection) = 0;
    [[nodiscard]] virtual std::string Username() = 0;
    [[nodiscard]] virtual std::string Password() = 0;
    [[nodiscard]] virtual std::string ConfigXML() = 0;
};

} // namespace kvad
