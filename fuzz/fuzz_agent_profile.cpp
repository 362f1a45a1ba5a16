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
    // The list is in byte-wise name order with every name once, whatever the file's order.
    const std::vector<ClientRecord>& clients = result.profile.clients;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        FUZZ_CHECK(i == 0 || clients[i - 1].companyName < clients[i].companyName);
        FUZZ_CHECK(clients[i].vrn.size() == 9);
        (void)AgentProfile::CompanyListText(clients[i]);
    }
    return 0;
}
