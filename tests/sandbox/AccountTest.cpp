// The client's account over time: a filed return raises its liability, payments reduce it, and
// the state file keeps both (files from before accounts were kept get them from their returns).
#include "SandboxFixture.h"
#include "SandboxModel.h"

namespace calvenor::sandbox::test {
namespace {

using Account = SandboxFixture;

TEST_F(Account, AFiledReturnRaisesItsLiabilityAndAPaymentReducesWhatIsOutstanding) {
    const auto headers = Vat(Token());
    const std::string liabilities =
        "/organisations/vat/100000001/liabilities?from=2026-03-01&to=2026-05-15";
    const std::string payments =
        "/organisations/vat/100000001/payments?from=2026-03-01&to=2026-05-15";
    EXPECT_EQ(m_client->Get(liabilities.c_str(), headers)->status, 404);
    ASSERT_EQ(m_client
                  ->Post("/organisations/vat/100000001/returns", headers, ValidReturn("26A1"),
                         "application/json")
                  ->status,
              201);
    const std::string charge =
        R"({"liabilities":[{"taxPeriod":{"from":"2026-01-01","to":"2026-03-31"},)"
        R"("type":"VAT Return Debit Charge","originalAmount":1134.50,"outstandingAmount":)";
    EXPECT_EQ(m_client->Get(liabilities.c_str(), headers)->body,
              charge + R"(1134.50,"due":"2026-05-07"}]})");
    EXPECT_EQ(m_client->Get(payments.c_str(), headers)->status, 404);

    EXPECT_FALSE(m_server->RecordPayment(kQuarterlyClient.vrn, "26A2", 100, kToday));
    ASSERT_TRUE(m_server->RecordPayment(kQuarterlyClient.vrn, "26A1", 50010, kToday));
    EXPECT_EQ(m_client->Get(liabilities.c_str(), headers)->body,
              charge + R"(634.40,"due":"2026-05-07"}]})");
    EXPECT_EQ(m_client->Get(payments.c_str(), headers)->body,
              R"({"payments":[{"amount":500.10,"received":"2026-05-15"}]})");
}

// What is owed decides the charge: a debit of box 5, or a credit when HMRC repays.
TEST_F(Account, TheChargeFollowsWhatTheReturnOwes) {
    struct Case {
        const char* reclaimed;
        const char* net;
        const char* charge;
    };
    const auto headers = Vat(Token());
    const std::string owed = R"("vatReclaimedCurrPeriod":"100.00","netVatDue":"1134.50")";
    for (const Case& c : {Case{"2000.00", "765.50", R"(Credit Charge","originalAmount":-765.50)"},
                          Case{"1234.50", "0.00", R"(Debit Charge","originalAmount":0.00)"}}) {
        m_server->SetObligations("100000009", m_server->Obligations(kQuarterlyClient.vrn));
        std::string body = ValidReturn("26A1");
        body.replace(body.find(owed), owed.size(),
                     std::string(R"("vatReclaimedCurrPeriod":")") + c.reclaimed +
                         R"(","netVatDue":")" + c.net + "\"");
        ASSERT_EQ(
            m_client
                ->Post("/organisations/vat/100000009/returns", headers, body, "application/json")
                ->status,
            201);
        EXPECT_NE(
            m_client
                ->Get("/organisations/vat/100000009/liabilities?from=2026-03-01&to=2026-05-15",
                      headers)
                ->body.find(c.charge),
            std::string::npos)
            << c.charge;
    }
}

TEST(AccountState, KeptInTheStateFileAndRebuiltForFilesWithoutIt) {
    SandboxModel model;
    model.SeedDemo(kToday);
    ClientCompany& client = model.clients.at(std::string(kQuarterlyClient.vrn));
    ASSERT_TRUE(AllocatePayment(client, "25A4", 1, kToday));
    SandboxModel back;
    std::string error;
    ASSERT_TRUE(SandboxModel::FromJson(model.ToJson(), back, error)) << error;
    for (const auto& [vrn, c] : model.clients) {
        EXPECT_EQ(back.clients.at(vrn).liabilities, c.liabilities) << vrn;
        EXPECT_EQ(back.clients.at(vrn).payments, c.payments) << vrn;
    }
    ASSERT_EQ(back.filed.size(), model.filed.size());
    EXPECT_TRUE(std::all_of(back.filed.begin(), back.filed.end(),
                            [](const FiledReturn& f) { return f.seeded; }));

    ASSERT_TRUE(SandboxModel::FromJson(
        R"({"format":"calvenor-sandbox-state","version":1,"applications":[],"clients":[{"vrn":)"
        R"("100000001","company_name":"A","authorised":true,"obligations":[{"start":"2026-01-01",)"
        R"("end":"2026-03-31","due":"2026-05-07","status":"F","periodKey":"26A1"}]}],"access_tokens":)"
        R"([],"refresh_tokens":[],"filed_returns":[{"vrn":"100000001","periodKey":"26A1",)"
        R"("request_body":"","processingDate":"","formBundleNumber":"","receiptId":"",)"
        R"("correlationId":"","receiptTimestamp":"","paymentIndicator":"","chargeRefNumber":"",)"
        R"("boxes_in_pence":[1,0,1,200,199,0,0,0,0]}]})",
        back, error))
        << error;
    // The return filed before accounts were kept still has its charge.
    const auto& charges = back.clients.at("100000001").liabilities;
    ASSERT_EQ(charges.size(), 1u);
    EXPECT_EQ(charges[0].type, "VAT Return Credit Charge");
    EXPECT_EQ(charges[0].outstandingPence, -199);
    EXPECT_FALSE(back.filed.at(0).seeded);
}

}  // namespace
}  // namespace calvenor::sandbox::test
