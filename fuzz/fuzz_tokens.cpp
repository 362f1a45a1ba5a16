// The token-file reader over any file content, and the round trip of what it read.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "FuzzInput.h"
#include "Tokens.h"

namespace {

bool Storable(const std::string& token) {
    return token.find_first_of("|\r\n") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A data folder of the run's own, so no real token file is touched.
    char pattern[] = "/tmp/calvenor-fuzz-tokens-XXXXXX";
    const char* folder = mkdtemp(pattern);
    if (folder == nullptr)
        std::abort();
    setenv("CALVENOR_DATA_DIR", folder, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CTokens tokens;
    {
        std::ofstream file(tokens.GetFilePath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (!tokens.Load())
        return 0;
    if (!Storable(tokens.GetAccessToken()) || !Storable(tokens.GetRefreshToken()))
        return 0;

    // What was read is written back and read again unchanged.
    const std::string access = tokens.GetAccessToken();
    const std::string refresh = tokens.GetRefreshToken();
    const std::int32_t expires = tokens.GetExpiresIn();
    FUZZ_CHECK(tokens.Save());
    CTokens again;
    FUZZ_CHECK(again.Load());
    FUZZ_CHECK(again.GetAccessToken() == access);
    FUZZ_CHECK(again.GetRefreshToken() == refresh);
    FUZZ_CHECK(again.GetExpiresIn() == expires);
    return 0;
}
