// The obligations answer.
#include "FuzzInput.h"
#include "Obligations.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CObligations obligations(calvenor::fuzz::Text(data, size));
    // The list is what the filer offers the agent; copying it must be sound too.
    const std::vector<CObligationData> copy = obligations.GetObligations();
    FUZZ_CHECK(copy.size() == obligations.GetObligations().size());
    return 0;
}
