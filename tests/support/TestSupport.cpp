#include "TestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace calvenor::test {

TempFolder::TempFolder() {
    std::string name = (std::filesystem::temp_directory_path() / "calvenor-test-XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    m_path = name;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    // Tests make folders read-only to provoke failures; give them back before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
    }
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : m_name(std::move(name)) {
    if (const char* old = std::getenv(m_name.c_str()))
        m_previous = old;
    value ? ::setenv(m_name.c_str(), value->c_str(), 1) : ::unsetenv(m_name.c_str());
}

ScopedEnv::~ScopedEnv() {
    m_previous ? ::setenv(m_name.c_str(), m_previous->c_str(), 1) : ::unsetenv(m_name.c_str());
}

IsolatedHome::IsolatedHome()
    : m_data("CALVENOR_DATA_DIR", (m_root.Path() / "data").string()),
      m_config("XDG_CONFIG_HOME", (m_root.Path() / "config").string()),
      m_runtime("XDG_RUNTIME_DIR", (m_root.Path() / "run").string()),
      m_profile("CALVENOR_PROFILE", (m_root.Path() / "profile.json").string()),
      m_home("HOME", (m_root.Path() / "home").string()) {
    for (const char* folder : {"run", "config", "home"})
        std::filesystem::create_directories(m_root.Path() / folder);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::filesystem::path TestData(const std::string& name) {
    return std::filesystem::path(CALVENOR_TEST_DATA) / name;
}

namespace {
// Control characters made visible, a line break kept after each "\n".
std::string Visible(const std::string& text) {
    std::string out;
    for (const unsigned char c : text)
        out += c == '\r'   ? std::string("\\r")
               : c == '\n' ? std::string("\\n\n")
               : c == '\t' ? std::string("\\t")
               : c < 0x20  ? "\\x" + std::to_string(c)
                           : std::string(1, static_cast<char>(c));
    return out;
}
}  // namespace

::testing::AssertionResult MatchesGolden(const std::string& name, const std::string& actual) {
    const std::string expected = ReadFile(TestData(name));  // empty when the file is missing
    if (expected == actual)
        return ::testing::AssertionSuccess();
    const auto at = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    return ::testing::AssertionFailure() << "differs from " << TestData(name) << " at byte "
                                         << (at.first - expected.begin()) << "\n--- expected\n"
                                         << Visible(expected) << "\n--- actual\n"
                                         << Visible(actual);
}

}  // namespace calvenor::test
