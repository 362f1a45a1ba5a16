// The agent profile reader over any profile text.
#include "AgentProfile.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ProfileLoadResult result =
        ParseAgentProfile(calvenor::fuzz::Text(data, size), "/fuzz/profile.json");
    if (!result.loaded) {
        FUZZ_CHECK(!result.error.empty());
        return 0;
    }
    for (const ClientRecord& client : result.profile.clients) {
        (void)AgentProfile::CompanyListText(client);
    }
    return 0;
}
