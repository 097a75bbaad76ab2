#pragma once
/// What the component expects of the host application and of the host framework's objects.
/// The host supplies the host object; the framework objects are created by ProgID.

#include <cstdint>
#include <memory>
#include <string>

#include "kvad_nso/com.h"
#include "kvad_nso/connection.h"
#include "kvad_nso/variant.h"

namespace kvad {

/// The host object (ActiveInterface): the application's current user and company, its
/// message texts in the user's language and its screen's mouse pointer.
class HostApplication : public ComObject {
  public:
    /// Id of the current user (stored as the user of each retrieved order).
    [[nodiscard]] virtual std::int32_t CurrentUserId() = 0;
    /// Identifier of the current company (its VAT number; the caller prefixes "IT").
    [[nodiscard]] virtual std::string CurrentCompanyId() = 0;
    /// Text of a numbered message with its parameters; throws when the number is unknown.
    [[nodiscard]] virtual std::string MessageText(std::int32_t number,
                                                  const VariantArray& parameters) = 0;
    /// Shows the busy pointer (true) or the default pointer (false); hosts without a screen
    /// ignore it.
    virtual void SetBusyPointer(bool busy) = 0;
};

/// ProgIDs of the framework objects the component creates.
namespace progid {
inline constexpr const char* kNumberFormatter = "ZEFO_ClsStd.CLSFW_NumberFormat";
inline constexpr const char* kDate = "ZEFO_ClsStd.CLSFW_Date";
inline constexpr const char* kTextFile = "ZEFO_RESOURCE.CLSFW_TEXTFILE";
inline constexpr const char* kApplicationBrowser = "ZEFO_RESOURCE.CLSFW_APPLICATION_BROWSER";
inline constexpr const char* kRsFunct = "ZEFO_DEVFUNCT.CLSFW_RSFUNCT";
/// The host's business objects are created by their class ids.
inline constexpr const char* kDocumentImport = "{A653A123-C433-11D7-BD8C-0050DA43E53D}";
inline constexpr const char* kDocument = "{2010FE9F-F0BF-45D6-92F1-20D5C619210C}";
} // namespace progid

/// The framework's number formatter: the SQL number text of a value ('.' separator, no
/// grouping). Throws VbError 13 for a value that is not a number.
class NumberFormatter : public ComObject {
  public:
    [[nodiscard]] virtual std::string Format(const Variant& value) = 0;
};

/// The framework's date object (CLSFW_Date): set a value from text, read the error indicator
/// (0 means a valid date), then DBFormat gives the SQL date text without quotes.
class DateObject : public ComObject {
  public:
    virtual void SetValue(const std::string& text) = 0;
    [[nodiscard]] virtual std::int32_t ErrorIndicator() const = 0;
    [[nodiscard]] virtual std::string DBFormat() const = 0;
};

/// A file in one of the framework's fixed folders.
class TextFile : public ComObject {
  public:
    virtual void InitializeFromFixedFolder(std::int32_t folder, const std::string& fileName) = 0;
    [[nodiscard]] virtual std::string CompleteFileName() const = 0;
};

/// Opens a file in the viewer registered for its kind.
class ApplicationBrowser : public ComObject {
  public:
    [[nodiscard]] virtual bool IsInstalled() = 0;
    virtual void OpenWithFile(TextFile& file) = 0;
    virtual void Dispose() = 0;
};

/// Framework utility functions.
class RsFunct : public ComObject {
  public:
    /// A new GUID as text with dashes, e.g. "9C23FA01-73EB-4180-BE82-B84557AE6A7E".
    [[nodiscard]] virtual std::string GetGuidWithoutConnection() = 0;
};

/// The host's document-import business object: runs an import layout over the decoded orders
/// its filter names and creates ERP order documents on the connection it is given. The
/// operations are listed in interface order.
class DocumentImport : public ComObject {
  public:
    /// 0 when the last run succeeded, any other value a failure.
    [[nodiscard]] virtual std::int32_t OutcomeCode() = 0;
    /// The failure text of the last run, or "".
    [[nodiscard]] virtual std::string OutcomeText() = 0;
    /// The connection the object reads and writes on; null detaches it.
    virtual void SetConnection(std::shared_ptr<Connection> connection) = 0;
    /// The host object; null detaches it.
    virtual void SetHost(std::shared_ptr<HostApplication> host) = 0;
    /// A numeric option of the host's.
    virtual void SetOption(const Variant& option) = 0;
    /// The code of the import layout to run.
    virtual void SetLayout(const Variant& layout) = 0;
    /// Runs the layout over the source rows the filter names. Database errors are thrown.
    virtual void Run() = 0;
    /// Restricts the layout's source rows ("IE91_ID = 12").
    virtual void SetFilter(const std::string& filter) = 0;
};

/// The settings of a document business object: where and for which company it works.
class DocumentSettings : public ComObject {
  public:
    virtual void SetOption(std::int32_t option) = 0;
    /// A reference the settings keep to another object; null resets it.
    virtual void SetReference(std::shared_ptr<ComObject> reference) = 0;
    /// The connection the document object works on; null detaches it.
    virtual void SetConnection(std::shared_ptr<Connection> connection) = 0;
    virtual void SetCompany(std::int32_t company) = 0;
};

/// The host's document business object, as used to make ERP orders no longer to be fulfilled.
/// The operations are listed in interface order.
class DocumentObject : public ComObject {
  public:
    [[nodiscard]] virtual std::shared_ptr<DocumentSettings> Settings() = 0;
    virtual void SetSettings(std::shared_ptr<DocumentSettings> settings) = 0;
    /// Ends the object's work.
    virtual void Finish() = 0;
    /// Brings the state of the document with this registration number up to date with its
    /// lines.
    virtual Variant RefreshState(const Variant& registration) = 0;
    /// Makes the lines fromLine to toLine of the document with this registration number no
    /// longer to be fulfilled.
    virtual Variant CloseLines(const Variant& registration, const Variant& fromLine,
                               const Variant& toLine) = 0;
};

} // namespace kvad
