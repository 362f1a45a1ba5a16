// The figure-file parser over any file content.
#include "CsvParser.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CCsvParser parser("fuzz.csv");
    const bool parsed = parser.ParseContent(calvenor::fuzz::Text(data, size));
    if (parsed) {
        FUZZ_CHECK(parser.GetValues().size() == 9);
    } else {
        FUZZ_CHECK(!parser.GetError().empty());
    }
    return 0;
}
