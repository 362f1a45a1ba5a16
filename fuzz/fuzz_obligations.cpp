// HMRC's answers to the VAT queries: obligations, a filed return, liabilities and payments.
#include "AccountAnswers.h"
#include "FuzzInput.h"
#include "Obligations.h"
#include "VatReturnAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = calvenor::fuzz::Text(data, size);
    const CObligations obligations(text);
    // The list is what the filer offers the agent; copying it must be sound too.
    const std::vector<CObligationData> copy = obligations.GetObligations();
    FUZZ_CHECK(copy.size() == obligations.GetObligations().size());

    VatReturnRecord record;
    if (ReadVatReturn(text, record))
        FUZZ_CHECK(SameAmounts(record.boxes, record.boxes));
    std::vector<Liability> liabilities;
    std::vector<Payment> payments;
    ReadLiabilities(text, liabilities);
    ReadPayments(text, payments);
    return 0;
}
