#pragma once
// The document business object and its settings, as used to make ERP orders no longer to be
// fulfilled: lines are closed one range at a time, then the order's header follows its lines.

#include <cstdint>
#include <memory>

#include "kvad_nso/host.h"

namespace kvad::host {

class StandInDocumentSettings final : public DocumentSettings {
  public:
    void SetOption(std::int32_t option) override { option_ = option; }
    void SetReference(std::shared_ptr<ComObject> reference) override {
        reference_ = std::move(reference);
    }
    void SetConnection(std::shared_ptr<Connection> connection) override {
        connection_ = std::move(connection);
    }
    void SetCompany(std::int32_t company) override { company_ = company; }

    /// The connection, or VbError 91 when none is set.
    [[nodiscard]] Connection& Db() const;
    [[nodiscard]] std::int32_t Company() const noexcept { return company_; }
    [[nodiscard]] bool HasConnection() const noexcept { return connection_ != nullptr; }

  private:
    std::int32_t option_ = 0;
    std::shared_ptr<ComObject> reference_;
    std::shared_ptr<Connection> connection_;
    std::int32_t company_ = 0;
};

class StandInDocumentObject final : public DocumentObject {
  public:
    StandInDocumentObject();

    [[nodiscard]] std::shared_ptr<DocumentSettings> Settings() override { return settings_; }
    /// Null detaches the settings; other settings objects than the stand-in's are refused with
    /// VbError 13.
    void SetSettings(std::shared_ptr<DocumentSettings> settings) override;
    /// Every change is written as its call runs: nothing is left to finish.
    void Finish() override {}
    /// Marks the order (DO11_FLGNONPIUEV) no longer to be fulfilled when none of its lines is
    /// open, open again otherwise. Returns the flag written.
    Variant RefreshState(const Variant& registration) override;
    /// Marks the order's lines fromLine to toLine no longer to be fulfilled (DO31_FLGNONPIUEV).
    /// Returns the number of lines changed.
    Variant CloseLines(const Variant& registration, const Variant& fromLine,
                       const Variant& toLine) override;

  private:
    [[nodiscard]] StandInDocumentSettings& Current() const;

    std::shared_ptr<StandInDocumentSettings> settings_;
};

} // namespace kvad::host
