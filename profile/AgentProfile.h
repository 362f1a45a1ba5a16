#pragma once

#include <filesystem>
#include <string>
#include <vector>

// One client company the agent files for.
struct ClientRecord {
    std::string companyName;
    std::string vrn;  // the nine-digit VAT registration number
};

// The agent's clients and the application's HMRC credentials, read once at start-up by both
// programs and never edited by them.
struct AgentProfile {
    std::vector<ClientRecord> clients;  // unique by name, ascending byte-wise by name
    std::string clientId;
    std::string clientSecret;
    std::string serviceBaseUrl;  // scheme and host, no trailing slash
    std::string profileText;     // the file's bytes exactly as read

    // "123456789 : ACME Ltd", as both programs list a client.
    static std::string CompanyListText(const ClientRecord& client);
};

struct ProfileLoadResult {
    bool loaded = false;
    AgentProfile profile;         // empty unless loaded
    std::filesystem::path path;   // where the profile was looked for
    std::string error;            // why it could not be loaded (names the path)
    std::string warning;          // clients skipped for a bad VAT number (names them), else empty
};

// $CALVENOR_PROFILE if set, else <config folder>/Calvenor/profile.json.
std::filesystem::path AgentProfilePath();

// Loads the profile at AgentProfilePath(). Logs nothing.
ProfileLoadResult LoadAgentProfile();
ProfileLoadResult LoadAgentProfile(const std::filesystem::path& path);

// Parses profile text; `path` only names the source in messages.
ProfileLoadResult ParseAgentProfile(const std::string& text, const std::filesystem::path& path);
