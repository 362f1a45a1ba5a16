#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "DeviceFacts.h"

namespace calvenor::bench {

// Points the settings store, data and profile folders at a fresh temporary folder for the whole
// run, so a benchmark never writes into the user's real configuration.
class IsolatedRun {
public:
    IsolatedRun() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "calvenor-bench-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) != nullptr) {
            m_root = name.data();
            ::setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
            ::setenv("CALVENOR_DATA_DIR", (m_root / "data").c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", m_root.c_str(), 1);
        }
    }
    ~IsolatedRun() {
        std::error_code ec;
        if (!m_root.empty())
            std::filesystem::remove_all(m_root, ec);
    }
    IsolatedRun(const IsolatedRun&) = delete;
    IsolatedRun& operator=(const IsolatedRun&) = delete;

    const std::filesystem::path& Root() const { return m_root; }

private:
    std::filesystem::path m_root;
};

// A profile of `clients` clients, the shape agents keep: "Client 00042 Ltd", nine-digit numbers.
inline std::string ProfileText(int clients) {
    std::string text =
        "{\n  \"client_id\": \"bench-client-id\",\n  \"client_secret\": \"bench-secret\",\n"
        "  \"service_base_url\": \"https://test-api.service.hmrc.gov.uk\",\n  \"clients\": [\n";
    for (int i = 0; i < clients; ++i) {
        char entry[128];
        std::snprintf(entry, sizeof(entry),
                      "    { \"company_name\": \"Client %05d Ltd\", \"vrn\": \"%09d\" }%s\n",
                      clients - i, 100000000 + i, i + 1 < clients ? "," : "");
        text += entry;
    }
    text += "  ]\n}\n";
    return text;
}

}  // namespace calvenor::bench
