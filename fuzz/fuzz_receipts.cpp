// The receipt builders over an answer: two status bytes, then header lines up to an empty line,
// then the body.
#include "FuzzInput.h"
#include "Transaction.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int status = data[0] * 256 + data[1];
    const std::string rest = calvenor::fuzz::Text(data + 2, size - 2);
    const auto blank = rest.find("\r\n\r\n");
    const std::string head = blank == std::string::npos ? rest : rest.substr(0, blank + 2);
    const std::string body = blank == std::string::npos ? std::string() : rest.substr(blank + 4);
    const std::vector<std::string> lines = calvenor::fuzz::Split(head, '\n', 256);

    const std::vector<std::string> success = SuccessReceiptLines(lines, body);
    FUZZ_CHECK(success.size() >= 5 && success.front() == "Submisssion Successful");
    const std::vector<std::string> failure = FailureReceiptLines(lines, body, status);
    FUZZ_CHECK(failure.size() >= 6 && failure.front() == "Submisssion FAILED");
    return 0;
}
