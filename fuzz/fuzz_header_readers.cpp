// The status, header and Location readers over arbitrary header lines. The first input line is
// the header name looked for; the rest are the answer's header lines, each with its line end.
#include "Curl.h"
#include "FuzzInput.h"
#include "ServiceUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines =
        calvenor::fuzz::Split(calvenor::fuzz::Text(data, size), '\n', 256);
    if (lines.empty())
        return 0;
    std::string name = lines.front();
    lines.erase(lines.begin());
    if (!name.empty() && name.back() == '\n')
        name.pop_back();

    FUZZ_CHECK(HttpStatusOfHeaderLines(lines) >= 0);
    std::string line;
    if (FindHeaderLine(lines, name, line))
        FUZZ_CHECK(line.size() >= name.size());

    std::string target = "unchanged";
    if (LocationOfHeaderLines(lines, target)) {
        // Only an address secrets may travel to, whole on one line.
        FUZZ_CHECK(calvenor::IsAllowedServiceUrl(target));
        FUZZ_CHECK(target.find_first_of("\r\n") == std::string::npos);
    } else {
        FUZZ_CHECK(target.empty());
    }
    return 0;
}
