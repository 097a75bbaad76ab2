#pragma once
/// What the component expects of the host application and of the host framework's objects.
/// The host supplies the host object; the framework objects are created by ProgID.

#include <cstdint>
#include <string>

#include "kvad_nso/com.h"
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

} // namespace kvad
