#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace calvenor::test {

// A fresh folder under the system temporary folder, removed with everything in it at scope end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Sets (or, with nullopt, unsets) an environment variable for the scope and restores it after.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

// Points the data folder, config folder, log folder and profile at a temporary folder, so a test
// never touches the user's real files.
class IsolatedHome {
public:
    IsolatedHome();
    const std::filesystem::path& Root() const { return m_root.Path(); }
    std::filesystem::path DataFolder() const { return m_root.Path() / "data"; }
    std::filesystem::path LogPath() const { return m_root.Path() / "run" / "Calvenor.log"; }
    std::filesystem::path ProfilePath() const { return m_root.Path() / "profile.json"; }

private:
    TempFolder m_root;
    ScopedEnv m_data, m_config, m_runtime, m_profile, m_home;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::filesystem::path TestData(const std::string& name);

// Compares `actual` with the golden file tests/data/<name>; on a mismatch the message shows the
// first differing offset and both texts with control characters made visible.
::testing::AssertionResult MatchesGolden(const std::string& name, const std::string& actual);

}  // namespace calvenor::test
