#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace norvane::testing {

/// A fresh folder under the system's temporary folder, removed with everything in it when
/// the owner goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string Str() const { return m_path.string(); }
    /// The path of name inside the folder.
    std::string operator/(std::string_view name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

/// Writes bytes to a file, creating its folders.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
/// The bytes of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

/// The message of the error a missing file raises when it is opened for reading.
std::string MissingFileMessage(const std::string& path);

} // namespace norvane::testing
