#pragma once
// The document-import business object: one run makes one ERP order (header DO11, reference row
// DO12 with the NSO order's identity, footer DO13 with the cash discount, lines DO30 and DO31)
// from the decoded order its filter names, following the import layout it is given.

#include <cstdint>
#include <memory>
#include <string>

#include "kvad_nso/host.h"

namespace kvad::host {

/// Outcome codes of a run besides 0 (done) and the layout's own (import_layout.h).
namespace outcome {
inline constexpr std::int32_t kNoConnection = 1;
inline constexpr std::int32_t kBadFilter = 4;
inline constexpr std::int32_t kNotDecoded = 5;
inline constexpr std::int32_t kNoCustomer = 6;
inline constexpr std::int32_t kNoDocumentCode = 7;
inline constexpr std::int32_t kNoSection = 8;
inline constexpr std::int32_t kNoDate = 9;
inline constexpr std::int32_t kBadLines = 10;
inline constexpr std::int32_t kNoVatCode = 11;
inline constexpr std::int32_t kAlreadyImported = 12;
} // namespace outcome

class StandInDocumentImport final : public DocumentImport {
  public:
    [[nodiscard]] std::int32_t OutcomeCode() override { return code_; }
    [[nodiscard]] std::string OutcomeText() override { return text_; }
    void SetConnection(std::shared_ptr<Connection> connection) override {
        connection_ = std::move(connection);
    }
    void SetHost(std::shared_ptr<HostApplication> host) override { host_ = std::move(host); }
    void SetOption(const Variant& option) override { option_ = option; }
    void SetLayout(const Variant& layout) override { layout_ = layout.Text(); }
    /// Checks the order and the layout, then writes the document in one transaction (nested in
    /// the caller's when one is open). A refusal sets the outcome and writes nothing; a database
    /// error rolls back what the run wrote and is thrown.
    void Run() override;
    void SetFilter(const std::string& filter) override { filter_ = filter; }

    /// Whether a connection and a host object are attached.
    [[nodiscard]] bool Attached() const noexcept { return connection_ && host_; }

  private:
    std::shared_ptr<Connection> connection_;
    std::shared_ptr<HostApplication> host_;
    Variant option_;
    std::string layout_;
    std::string filter_;
    std::int32_t code_ = 0;
    std::string text_;
};

} // namespace kvad::host
