// The client's account: what HMRC holds (a return filed through the session comes back with its
// nine figures; liabilities and payments with exact totals), the one sentence each failure is
// shown as, the token policy, and the window that shows it all.
#include <httplib.h>

#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <mutex>
#include <thread>

#include "AccountDlg.h"
#include "ClientAccount.h"
#include "FiledReturnDlg.h"
#include "Log.h"
#include "ModalTestHelper.h"
#include "SandboxHome.h"
#include "UiRecorder.h"
#include "VatReturnAnswer.h"

namespace calvenor::test {
namespace {

namespace fs = std::filesystem;

const DateRange k2026{"2026-01-01", "2026-12-31"};

// HMRC's answers as its published examples give them, one per resource, unless a test says
// otherwise; every request's target is kept.
class StubHmrc {
public:
    StubHmrc() {
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            m_targets.push_back(req.target);
            for (const auto& [resource, answer] : m_answers)
                if (req.path.find("/" + resource) != std::string::npos)
                    return res.set_content(answer.second, "application/json"),
                           void(res.status = answer.first);
            res.status = 500;
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::yield();
    }
    ~StubHmrc() { m_server.stop(), m_thread.join(); }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    void Answer(const std::string& resource, int status, std::string body) {
        std::lock_guard lock(m_mutex);
        m_answers[resource] = {status, std::move(body)};
    }
    std::vector<std::string> Targets() {
        std::lock_guard lock(m_mutex);
        return m_targets;
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::vector<std::string> m_targets;
    std::map<std::string, std::pair<int, std::string>> m_answers = {
        {"obligations",
         {200, R"({"obligations":[{"start":"2026-01-01","end":"2026-03-31","due":"2026-05-07",)"
               R"("status":"F","periodKey":"26A1","received":"2026-04-20"},)"
               R"({"start":"2026-04-01","end":"2026-06-30","due":"2026-08-07","status":"F",)"
               R"("periodKey":"26A2","received":"2026-07-15"}]})"}},
        {"returns",
         {200, R"({"periodKey":"26A2","vatDueSales":105.5,"vatDueAcquisitions":0,)"
               R"("totalVatDue":105.5,"vatReclaimedCurrPeriod":5.25,"netVatDue":100.25,)"
               R"("totalValueSalesExVAT":600,"totalValuePurchasesExVAT":30,)"
               R"("totalValueGoodsSuppliedExVAT":0,"totalAcquisitionsExVAT":0})"}},
        {"liabilities",
         {200, R"({"liabilities":[{"taxPeriod":{"from":"2026-04-01","to":"2026-06-30"},)"
               R"("type":"VAT ...","originalAmount":6000.3,"outstandingAmount":100.51,)"
               R"("due":"2026-08-07"},{"type":"VAT Interest","originalAmount":20.05,)"
               R"("due":"2026-09-01"},{"type":"VAT Return Debit Charge",)"
               R"("originalAmount":900,"outstandingAmount":0.1}]})"}},
        {"payments",
         {200, R"({"payments":[{"amount":100.05,"received":"2026-08-01"},)"
               R"({"amount":2,"received":"2026-02-11"}]})"}}};
};

// A filing session authorised with the sandbox, as the agent leaves it after signing in.
class AccountTest : public SandboxHomeTest {
protected:
    void SetUp() override {
        SandboxHomeTest::SetUp();
        CLog::ResetForTesting();
        WriteFile(m_home.ProfilePath(), SandboxProfile());
        m_session = std::make_unique<CFilingSession>(LoadAgentProfile());
        m_session->StartAuthorisation();
        m_session->ExchangeCode(m_sandbox.GrantCode());
        ASSERT_TRUE(m_session->Possible({}).getObligations);
    }
    // From here on HMRC is the stub.
    void UseStub() { m_session->Transaction().SetServiceBaseUrl(m_stub.Url()); }

    StubHmrc m_stub;
    std::unique_ptr<CFilingSession> m_session;
    const std::string m_company = "100000001 : Acme Trading Ltd";
};

TEST_F(AccountTest, AReturnFiledThroughTheSessionComesBackWithItsFiguresAndItsLiability) {
    m_sandbox.SetObligations("100000001", {kOpen});
    m_session->GetObligations(1, m_company);
    ASSERT_TRUE(m_session->BeginFiling());
    ReturnFigures figures;
    SetBoxTexts(figures, kFigures);
    ASSERT_TRUE(m_session->Submit(figures).accepted);

    CClientAccount account(*m_session, m_company);
    ASSERT_TRUE(account.LoadFiledPeriods({"2018-01-01", "2018-12-31"})) << account.Error();
    ASSERT_EQ(account.FiledPeriods().size(), 1u);
    EXPECT_EQ(account.FiledPeriods()[0].periodKey, "18A1");
    ASSERT_TRUE(account.LoadReturn(0)) << account.Error();
    EXPECT_TRUE(SameAmounts(account.Return().boxes, kFigures));

    // The return raised a liability of its net VAT (79.50); part of it has been paid.
    ASSERT_TRUE(m_sandbox.RecordPayment("100000001", "18A1", 5000, {2018, 5, 1}));
    ASSERT_TRUE(account.LoadLiabilities({"2018-01-01", "2018-12-31"})) << account.Error();
    ASSERT_TRUE(account.LoadPayments({"2018-01-01", "2018-12-31"})) << account.Error();
    EXPECT_EQ(account.OriginalTotal(), 7950);
    EXPECT_EQ(account.OutstandingTotal(), 2950);
    EXPECT_EQ(account.PaymentsTotal(), 5000);
}

struct SentenceRow {
    const char* name;
    const char* resource;  // the call that fails: obligations, returns, liabilities, payments
    int status;            // 0: nothing listens
    const char* body;
    const char* sentence;
};

class FailureSentence : public AccountTest, public testing::WithParamInterface<SentenceRow> {};

TEST_P(FailureSentence, IsShownAndOnlyARejectedTokenEndsTheAuthorisation) {
    const SentenceRow& row = GetParam();
    UseStub();
    if (row.status == 0)
        m_session->Transaction().SetServiceBaseUrl("http://127.0.0.1:1");
    m_stub.Answer(row.resource, row.status, row.body);
    CClientAccount account(*m_session, m_company);
    const std::string resource = row.resource;
    const bool loaded = resource == "obligations" ? account.LoadFiledPeriods(k2026)
                        : resource == "returns"
                            ? account.LoadFiledPeriods(k2026) && account.LoadReturn(0)
                        : resource == "liabilities" ? account.LoadLiabilities(k2026)
                                                    : account.LoadPayments(k2026);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(account.Error(), row.sentence);
    const bool rejected = row.status == 401;
    EXPECT_EQ(fs::exists(TokenFile()), !rejected);
    EXPECT_EQ(account.BackToStart().has_value(), rejected);
    EXPECT_EQ(m_session->Possible({}).startAuthorisation, rejected);
    if (rejected) {  // nothing more is asked once the token is gone
        EXPECT_FALSE(account.LoadPayments(k2026));
        EXPECT_EQ(m_stub.Targets().size(), 1u);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Answers, FailureSentence, testing::Values(
    SentenceRow{"NoAnswer", "payments", 0, "", "Unable to Connect to server"},
    SentenceRow{"NoLiabilities", "liabilities", 404, R"({"code":"NOT_FOUND"})",
        "HMRC holds no liabilities for this client between 01 Jan 2026 and 31 Dec 2026."},
    SentenceRow{"NoReturn", "returns", 404, R"({"code":"NOT_FOUND"})",
        "HMRC holds no filed return for the period 01 Apr 2026 to 30 Jun 2026."},
    SentenceRow{"NotAuthorised", "liabilities", 403, R"({"code":"CLIENT_OR_AGENT_NOT_AUTHORISED"})",
        "HMRC says this client has not authorised you as their agent, or is not signed up for "
        "Making Tax Digital: check the client's authorisation in your agent services account."},
    SentenceRow{"RangeTooLong", "payments", 400, R"({"code":"DATE_RANGE_INVALID"})",
        "HMRC did not accept the range 01 Jan 2026 and 31 Dec 2026: choose a range of 365 days "
        "or less."},
    SentenceRow{"RangeTooLongInAList", "obligations", 400,
        R"({"code":"INVALID_REQUEST","errors":[{"code":"INVALID_DATE_RANGE"}]})",
        "HMRC did not accept the range 01 Jan 2026 and 31 Dec 2026: choose a range of 365 days "
        "or less."},
    SentenceRow{"BadDate", "liabilities", 400, R"({"code":"DATE_TO_INVALID"})",
        "HMRC did not accept the dates 01 Jan 2026 and 31 Dec 2026: choose a start on or before "
        "the end, and neither in the future."},
    SentenceRow{"BadVrn", "payments", 400, R"({"code":"VRN_INVALID"})",
        "HMRC refused the request for the payments (status 400): check the client's VAT number in "
        "the agent profile and try again."},
    SentenceRow{"Throttled", "returns", 429, R"({"code":"MESSAGE_THROTTLED_OUT"})",
        "HMRC is limiting requests: wait a minute and try again."},
    SentenceRow{"ServerFault", "liabilities", 503, "<html>down</html>",
        "HMRC's service failed: try again later."},
    SentenceRow{"Unreadable", "payments", 200, R"({"payments":[{"amount":"lots"}]})",
        "HMRC's answer about the payments could not be read: try again later, and if it happens "
        "again, keep the log for support."},
    SentenceRow{"AnotherPeriodsReturn", "returns", 200,
        R"({"periodKey":"99Z9","vatDueSales":1,"vatDueAcquisitions":0,"totalVatDue":1,)"
        R"("vatReclaimedCurrPeriod":0,"netVatDue":1,"totalValueSalesExVAT":0,)"
        R"("totalValuePurchasesExVAT":0,"totalValueGoodsSuppliedExVAT":0,"totalAcquisitionsExVAT":0})",
        "HMRC's answer about the filed return could not be read: try again later, and if it "
        "happens again, keep the log for support."},
    SentenceRow{"TokenRejected", "obligations", 401, R"({"code":"INVALID_CREDENTIALS"})",
        "HMRC no longer accepts Calvenor's authorisation: close this window and start the "
        "authorisation again."}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

class AccountWindowTest : public AccountTest {
protected:
    CUiRecorder m_recorder;
};

std::vector<std::string> Column(QTableWidget* table, int column) {
    std::vector<std::string> texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts.push_back(table->item(row, column)->text().toStdString());
    return texts;
}

TEST_F(AccountWindowTest, ShowsTheAccountSortsAmountsByValueAndOpensAReturn) {
    UseStub();
    CAccountDlg window(*m_session, m_company, QDate(2026, 12, 7));
    window.Load();
    EXPECT_TRUE(m_recorder.Messages().empty());
    auto* filed = window.findChild<QTableWidget*>("filedTable");
    auto* liabilities = window.findChild<QTableWidget*>("liabilitiesTable");
    EXPECT_EQ(Column(filed, 3), (std::vector<std::string>{"26A2", "26A1"}));
    EXPECT_EQ(Column(filed, 2), (std::vector<std::string>{"15 Jul 2026", "20 Apr 2026"}));
    EXPECT_EQ(window.findChild<QTableWidget*>("paymentsTable")->rowCount(), 2);
    EXPECT_EQ(window.findChild<QLabel*>("liabilitiesTotalLabel")->text(),
              "Total original 6920.35    Total outstanding 100.61");
    EXPECT_EQ(window.findChild<QLabel*>("paymentsTotalLabel")->text(), "Total paid 102.05");
    EXPECT_NE(m_stub.Targets()[0].find("from=2025-12-07&to=2026-12-07"), std::string::npos);

    liabilities->horizontalHeader()->setSortIndicator(4, Qt::AscendingOrder);
    EXPECT_EQ(Column(liabilities, 4), (std::vector<std::string>{"20.05", "900.00", "6000.30"}));

    BoxTexts shown;
    const TempFolder folder;
    m_recorder.QueueSaveFileName(QString::fromStdString((folder / "26A2.txt").string()));
    WhenModalShown([&shown](QWidget* modal) {
        for (int box = 1; box <= 9; ++box)
            shown[box - 1U] = qobject_cast<CFiledReturnDlg*>(modal)->Box(box)->text().toStdString();
        modal->findChild<QPushButton*>("saveButton")->click();
        modal->findChild<QPushButton*>("closeButton")->click();
    });
    window.findChild<QPushButton*>("viewReturnButton")->click();
    EXPECT_EQ(shown,
              (BoxTexts{"105.50", "0.00", "105.50", "5.25", "100.25", "600", "30", "0", "0"}));
    const std::string saved = ReadFile(folder / "26A2.txt");
    for (const char* line : {"Period key : 26A2", "Processed by HMRC : 15 Jul 2026", "100.25"})
        EXPECT_NE(saved.find(line), std::string::npos) << line << " in\n" << saved;

    // Refresh asks for the range in the date boxes; a failure is said under them, not in a box.
    m_stub.Answer("payments", 404, R"({"code":"NOT_FOUND"})");
    window.findChild<QDateEdit*>("fromDate")->setDate(QDate(2026, 2, 1));
    window.findChild<QDateEdit*>("toDate")->setDate(QDate(2026, 3, 31));
    window.findChild<QPushButton*>("refreshButton")->click();
    EXPECT_EQ(window.findChild<QLabel*>("rangeStatusLabel")->text(),
              "HMRC holds no payments for this client between 01 Feb 2026 and 31 Mar 2026.");
    EXPECT_EQ(window.findChild<QTableWidget*>("paymentsTable")->rowCount(), 0);
    const auto asked = m_stub.Targets().size();
    window.findChild<QDateEdit*>("fromDate")->setDate(QDate(2026, 4, 1));
    window.findChild<QPushButton*>("refreshButton")->click();
    EXPECT_EQ(m_stub.Targets().size(), asked) << "HMRC was asked about a backward range";
    EXPECT_EQ(window.findChild<QLabel*>("rangeStatusLabel")->text().count("before the end"), 2);
    EXPECT_TRUE(m_recorder.Messages().empty());
}

}  // namespace
}  // namespace calvenor::test
