#include "TestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace calvenor::test {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "calvenor-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = name.data();
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
    if (const char* old = std::getenv(m_name.c_str())) m_previous = old;
    if (value) {
        ::setenv(m_name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(m_name.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    if (m_previous) {
        ::setenv(m_name.c_str(), m_previous->c_str(), 1);
    } else {
        ::unsetenv(m_name.c_str());
    }
}

IsolatedHome::IsolatedHome()
    : m_data("CALVENOR_DATA_DIR", (m_root.Path() / "data").string()),
      m_config("XDG_CONFIG_HOME", (m_root.Path() / "config").string()),
      m_runtime("XDG_RUNTIME_DIR", (m_root.Path() / "run").string()),
      m_profile("CALVENOR_PROFILE", (m_root.Path() / "profile.json").string()),
      m_home("HOME", (m_root.Path() / "home").string()) {
    std::filesystem::create_directories(m_root.Path() / "run");
    std::filesystem::create_directories(m_root.Path() / "config");
    std::filesystem::create_directories(m_root.Path() / "home");
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
std::string Visible(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n\n";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20) out += "\\x" + std::to_string(c);
        else out += static_cast<char>(c);
    }
    return out;
}
}  // namespace

::testing::AssertionResult MatchesGolden(const std::string& name, const std::string& actual) {
    const auto path = TestData(name);
    if (!std::filesystem::exists(path)) {
        return ::testing::AssertionFailure() << "golden file " << path << " is missing; actual:\n"
                                             << Visible(actual);
    }
    const std::string expected = ReadFile(path);
    if (expected == actual) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    return ::testing::AssertionFailure()
           << "differs from " << name << " at byte " << at << "\n--- expected\n"
           << Visible(expected) << "\n--- actual\n" << Visible(actual);
}

}  // namespace calvenor::test
