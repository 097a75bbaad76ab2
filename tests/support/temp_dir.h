#pragma once
// A fresh folder of its own under the system's temporary folder, removed with the object: the
// one way the tests and the command tests make a place for their files.

#include <filesystem>
#include <string>

namespace kvad::test {

class TempDir {
  public:
    /// Makes a new folder named "kvad-<label>-XXXXXX"; throws when it cannot.
    explicit TempDir(const std::string& label = "test");
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    TempDir(TempDir&&) = delete;
    TempDir& operator=(TempDir&&) = delete;
    /// Removes the folder and everything in it; errors are ignored.
    ~TempDir();

    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

  private:
    std::filesystem::path path_;
};

} // namespace kvad::test
