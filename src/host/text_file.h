#pragma once
// The framework's text file (ZEFO_RESOURCE.CLSFW_TEXTFILE): a file in a fixed folder.

#include <memory>
#include <string>

#include "host/stand_ins.h"
#include "kvad_nso/host.h"

namespace kvad::host {

class StandInTextFile final : public TextFile {
  public:
    explicit StandInTextFile(std::shared_ptr<const HostConfig> config)
        : config_(std::move(config)) {}

    /// Creates the fixed folder when missing. Throws VbError 5 for an unknown folder or a file
    /// name that is empty or not a plain name, VbError 76 when the folder cannot be created.
    void InitializeFromFixedFolder(std::int32_t folder, const std::string& fileName) override;
    /// The folder and the name joined; throws VbError 91 before InitializeFromFixedFolder.
    [[nodiscard]] std::string CompleteFileName() const override;

  private:
    std::shared_ptr<const HostConfig> config_;
    std::string completeFileName_;
};

} // namespace kvad::host
