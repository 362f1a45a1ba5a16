#include "AccountAnswers.h"
#include "Obligations.h"
#include "VatReturnAnswer.h"

#include <gtest/gtest.h>

namespace {

std::string Period(const std::string& key, const std::string& extra = {}) {
    return R"({"start":"2023-04-01","end":"2023-06-30","due":"2023-08-07","status":"O","periodKey":")" +
           key + "\"" + extra + "}";
}

CObligationData Record(const std::string& key, const std::string& received = {}) {
    return CObligationData("2023-04-01", "2023-06-30", "2023-08-07", "O", key, received);
}

}  // namespace

// Complete records are kept in array order; reading stops at the first record that is not one,
// and only a body read to its end may be used by the retrieval.
TEST(Obligations, KeepsCompleteRecordsInArrayOrder) {
    struct Row {
        const char* name;
        std::string body;
        std::vector<CObligationData> records;
        bool complete = false;
    };
    const std::string list = R"({"obligations":[)";
    const Row rows[] = {
        {"ThreeOpenPeriods",
         list + Period("18A1") + "," + Period("18A2") + "," + Period("18A3") + "]}",
         {Record("18A1"), Record("18A2"), Record("18A3")},
         true},
        {"SecondLacksDueStopsThere",
         list + Period("18A1") + R"(,{"start":"s","end":"e","status":"O","periodKey":"X"},)" +
             Period("18A3") + "]}",
         {Record("18A1")}},
        {"ReceivedOnlyWhereSent",
         list + Period("18A1", R"(,"received":"2023-07-01")") + "," + Period("18A2") + "]}",
         {Record("18A1", "2023-07-01"), Record("18A2")},
         true},
        {"NumericMemberCountsAsMissing",
         list + R"({"start":"s","end":"e","due":"d","status":"O","periodKey":18}]})",
         {}},
        {"NonStringReceivedIsEmpty",
         list + Period("K", R"(,"received":1)") + "]}",
         {Record("K")},
         true},
        {"ObligationsAsAnObject", R"({"obligations":{"start":"s"}})", {}},
        {"DeeplyNested",
         R"({"obligations":)" + std::string(100000, '[') + std::string(100000, ']') + "}",
         {}},
        {"Empty", "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const CObligations obligations(row.body);
        EXPECT_EQ(obligations.GetBody(), row.body);
        EXPECT_EQ(obligations.GetObligations(), row.records);
        EXPECT_EQ(obligations.IsComplete(), row.complete);
    }
}

// A return HMRC gives back is read digit for digit; anything that is not exactly nine amounts in
// HMRC's forms is refused rather than read approximately.
TEST(VatReturnAnswer, ReadsTheNineAmountsExactlyOrNotAtAll) {
    const auto body = [](const std::string& box1, const std::string& box6 = "300") {
        return R"({"periodKey":"#001","vatDueSales":)" + box1 +
               R"(,"vatDueAcquisitions":-100.45,"totalVatDue":5.05,"vatReclaimedCurrPeriod":105.15,)"
               R"("netVatDue":100.1,"totalValueSalesExVAT":)" +
               box6 +
               R"(,"totalValuePurchasesExVAT":300,"totalValueGoodsSuppliedExVAT":3000.00,)"
               R"("totalAcquisitionsExVAT":"3000"})";
    };
    VatReturnRecord record;
    ASSERT_TRUE(ReadVatReturn(body("105.5"), record));
    EXPECT_EQ(record.periodKey, "#001");
    EXPECT_EQ(record.boxes, (BoxTexts{"105.50", "-100.45", "5.05", "105.15", "100.10", "300", "300",
                                      "3000", "3000"}));
    // Read as digits: a double would not hold this amount to the penny.
    ASSERT_TRUE(ReadVatReturn(body("99999999999999.99"), record));
    EXPECT_EQ(record.boxes[0], "99999999999999.99");
    EXPECT_TRUE(SameAmounts(record.boxes, {"99999999999999.99", "-100.45", "5.05", "105.15",
                                           "100.1", "300.00", "300", "3000", "3000"}));
    for (const std::string& bad : {body("1.005"), body("1e2"), body("true"), body("1", "300.5"),
                                   std::string(R"({"periodKey":"#001"})"), std::string("[]")})
        EXPECT_FALSE(ReadVatReturn(bad, record)) << bad;
}

// Liabilities and payments are read to the penny from the digits sent, every entry complete, or
// refused whole: a list with an entry missing would give wrong totals.
TEST(AccountAnswers, ReadsWholeListsToThePennyOrNothing) {
    std::vector<Liability> liabilities;
    ASSERT_TRUE(ReadLiabilities(
        R"({"liabilities":[{"taxPeriod":{"from":"2018-04-06","to":"2018-07-06"},"type":"VAT Return Debit Charge","originalAmount":99999999999999.99,"outstandingAmount":100.5,"due":"2018-08-13"},)"
        R"({"type":"VAT Central Assessment","originalAmount":-0.05}]})",
        liabilities));
    ASSERT_EQ(liabilities.size(), 2u);
    EXPECT_EQ(liabilities[0].originalPence, 9999999999999999);
    EXPECT_EQ(liabilities[0].outstandingPence, 10050);
    EXPECT_EQ(liabilities[0].periodFrom + liabilities[0].periodTo + liabilities[0].due,
              "2018-04-062018-07-062018-08-13");
    EXPECT_EQ(liabilities[1].originalPence, -5);
    EXPECT_FALSE(liabilities[1].outstandingPence.has_value());

    std::vector<Payment> payments;
    ASSERT_TRUE(ReadPayments(
        R"({"payments":[{"amount":100.05,"received":"2018-04-06"},{"amount":"7"}]})", payments));
    ASSERT_EQ(payments.size(), 2u);
    EXPECT_EQ(payments[0].amountPence + payments[1].amountPence, 10705);
    EXPECT_EQ(payments[0].received, "2018-04-06");

    for (const char* bad :
         {R"({"liabilities":[{"type":"VAT","originalAmount":1.005}]})",
          R"({"liabilities":[{"originalAmount":1}]})",
          R"({"liabilities":[{"type":"VAT","originalAmount":1e3}]})",
          R"({"liabilities":[{"type":"VAT","originalAmount":1,"due":"13/08/2018"}]})",
          R"({"liabilities":[{"type":"VAT","originalAmount":1,"taxPeriod":{}}]})",
          R"({"liabilities":{}})", "[]"})
        EXPECT_FALSE(ReadLiabilities(bad, liabilities)) << bad;
    for (const char* bad :
         {R"({"payments":[{"received":"2018-04-06"}]})", R"({"payments":[{"amount":1},7]})",
          R"({"payments":[{"amount":null}]})"})
        EXPECT_FALSE(ReadPayments(bad, payments)) << bad;
}
