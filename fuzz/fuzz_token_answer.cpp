// HMRC's token answer and OAuth error bodies.
#include <algorithm>

#include "FuzzInput.h"
#include "Transaction.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body = calvenor::fuzz::Text(data, size);
    std::string access, refresh;
    std::int32_t expires = 0;
    if (ReadTokenAnswer(body, access, refresh, expires)) {
        // A token ends up in a header line and the token file: no control byte may reach them.
        const auto control = [](unsigned char c) { return c < 0x20 || c == 0x7f; };
        FUZZ_CHECK(std::none_of(access.begin(), access.end(), control));
        FUZZ_CHECK(std::none_of(refresh.begin(), refresh.end(), control));
    }
    std::string error, description;
    (void)ReadOAuthError(body, error, description);
    return 0;
}
