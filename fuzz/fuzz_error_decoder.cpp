// The error texts and the decoding of an HMRC error body, for any operation and status.
#include "FuzzInput.h"
#include "TransactionError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const int kind = data[0] % 4;
    const int status = data[1] * 256 + data[2] - 1000;
    CTRansactionError error(kind, status);
    std::string text;
    (void)error.GetErrorText(text);
    FUZZ_CHECK(!text.empty());
    const bool decoded = error.Decode(calvenor::fuzz::Text(data + 3, size - 3));
    if (!decoded)
        FUZZ_CHECK(error.GetErrorLines().empty());
    (void)CommErrorText(status);
    return 0;
}
