#include "SandboxWindowTest.h"

namespace calvenor::test {
namespace {

using calvenor::sandbox::CivilDate;
using calvenor::sandbox::Obligation;

const std::string kNotAuthorised =
    "\rCLIENT AND/OR AGENT NOT AUTHORISED\r\rThis is normally because:\rthe client is not "
    "subscribed to MTD;\rthe agent is not subscribed to Agent Services;\rthe client has not "
    "authorised the agent to act on their behalf;\ror the authorisation has expired.";

int ObligationRequests(const SandboxServer& sandbox, const std::string& vrn) {
    int count = 0;
    for (const auto& request : sandbox.Received()) {
        count += request.Path() == "/organisations/vat/" + vrn + "/obligations" ? 1 : 0;
    }
    return count;
}

TEST_F(SandboxWindowTest, NoCompanyChosenAsksForOneAndSendsNothing) {
    AuthoriseByCode();
    Button("getObligationsButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].text, "Please Select a Company");
    EXPECT_EQ(m_recorder.Messages()[0].ShownTitle(), "Error");
    EXPECT_EQ(m_recorder.Messages()[0].beep, BeepKind::Information);
    EXPECT_EQ(Combo("periodCombo")->count(), 0);
    for (const auto& request : m_sandbox.Received()) {
        EXPECT_EQ(request.Path().find("/organisations/"), std::string::npos) << request.target;
    }
}

TEST_F(SandboxWindowTest, PeriodsAreListedInHmrcsOrderForTheChosenClient) {
    Obligation july{{2023, 7, 1}, {2023, 9, 30}, {2023, 11, 7}, false, "23C3", std::nullopt};
    Obligation april{{2023, 4, 1}, {2023, 6, 30}, {2023, 8, 7}, false, "23C2", std::nullopt};
    m_sandbox.SetObligations("100000001", {july, april});
    AuthoriseByCode();
    ChooseCompany(1);
    Button("getObligationsButton")->click();

    EXPECT_TRUE(m_recorder.Messages().empty());
    EXPECT_EQ(Periods(),
              (QStringList{"01 Apr 2023  To  30 Jun 2023", "01 Jul 2023  To  30 Sep 2023"}));
    EXPECT_EQ(Combo("periodCombo")->currentIndex(), 0);
    EXPECT_TRUE(Button("enterVatButton")->isEnabled());
    EXPECT_TRUE(Button("getObligationsButton")->isEnabled());
    EXPECT_FALSE(Edit("codeEdit")->isEnabled());
    EXPECT_FALSE(Button("codeOkButton")->isEnabled());
    EXPECT_EQ(m_window->SelectedCompanyText(), "100000001 : Ashcombe Joinery Ltd");
    EXPECT_EQ(m_window->SelectedPeriodIndex(), 0);
    ASSERT_EQ(m_window->Obligations().size(), 2u);
    EXPECT_EQ(m_window->Obligations()[0].periodKey, "23C2");
    EXPECT_EQ(ObligationRequests(m_sandbox, "100000001"), 1);

    Combo("periodCombo")->setCurrentIndex(1);
    emit Combo("periodCombo")->activated(1);
    EXPECT_EQ(m_window->SelectedPeriodIndex(), 1);
}

TEST_F(SandboxWindowTest, ChangingCompanyEmptiesThePeriodsUntilAskedAgain) {
    AuthoriseByCode();
    ChooseCompany(1);
    Button("getObligationsButton")->click();
    ASSERT_GT(Combo("periodCombo")->count(), 0);

    ChooseCompany(2);
    EXPECT_EQ(Combo("periodCombo")->count(), 0);
    EXPECT_FALSE(Button("enterVatButton")->isEnabled());
    EXPECT_TRUE(LogHas(m_home.LogPath(), "CCalvenorDlg::ResetCompanies : ResetCompanies"));

    Button("getObligationsButton")->click();
    EXPECT_GT(Combo("periodCombo")->count(), 0);
    EXPECT_EQ(ObligationRequests(m_sandbox, "100000002"), 1);
    EXPECT_EQ(m_window->SelectedCompanyText(), "100000002 : Brightwater Bakery Ltd");
}

TEST_F(SandboxWindowTest, ClientWithNoOpenPeriodsKeepsTheAuthorisation) {
    AuthoriseByCode();
    ChooseCompany(3);  // Dunmore Estates: everything filed
    Button("getObligationsButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].text, "No Open Periods Found for this company");
    EXPECT_EQ(m_recorder.Messages()[0].beep, BeepKind::Information);
    EXPECT_EQ(Combo("periodCombo")->count(), 0);
    EXPECT_FALSE(Button("enterVatButton")->isEnabled());
    EXPECT_TRUE(Button("getObligationsButton")->isEnabled());
    EXPECT_TRUE(std::filesystem::exists(TokenFile()));
}

TEST_F(SandboxWindowTest, NotAuthorisedClientForgetsTheAuthorisation) {
    AuthoriseByCode();
    ChooseCompany(4);  // Elmstead Trading: has not authorised the agent
    Button("getObligationsButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    const auto& message = m_recorder.Messages()[0];
    EXPECT_EQ(message.text.toStdString(),
              "Error - Failed to retrieve Obligations" + kNotAuthorised);
    EXPECT_EQ(message.title, "Failed to retrieve Obligations");
    EXPECT_EQ(message.icon, MessageIcon::Warning);
    EXPECT_EQ(message.beep, BeepKind::Information);

    EXPECT_FALSE(std::filesystem::exists(TokenFile()));
    EXPECT_TRUE(Button("startAuthorisationButton")->isEnabled());
    EXPECT_FALSE(Button("getObligationsButton")->isEnabled());
    EXPECT_FALSE(Button("enterVatButton")->isEnabled());
    EXPECT_FALSE(Edit("codeEdit")->isEnabled());
    EXPECT_TRUE(Edit("codeEdit")->text().isEmpty());
    EXPECT_FALSE(Button("codeOkButton")->isEnabled());
    EXPECT_TRUE(Edit("urlEdit")->text().isEmpty());
    EXPECT_EQ(Combo("companyCombo")->currentIndex(), 4);

    // The next Start Authorisation begins a new journey.
    Button("startAuthorisationButton")->click();
    EXPECT_FALSE(Edit("urlEdit")->text().isEmpty());
    EXPECT_EQ(m_recorder.Messages().size(), 1u);
}

TEST_F(FilerWindowTest, PeriodsKeepHmrcsOrderAndUnconvertibleDatesAreListedAsSent) {
    CStubHmrc stub([](const httplib::Request& request, httplib::Response& response) {
        if (request.path == "/oauth/authorize") {
            response.status = 302;
            response.set_header("Location", "http://127.0.0.1:1/oauth/start");
        } else if (request.path == "/oauth/token") {
            response.set_content(R"({"access_token":"a","refresh_token":"r","expires_in":14400})",
                                 "application/json");
        } else {
            response.set_content(R"({"obligations":[
                {"start":"2023-07-01","end":"2023-09-30","due":"2023-11-07","status":"O","periodKey":"23C3"},
                {"start":"2023-04-01","end":"2023-06-30","due":"2023-08-07","status":"O","periodKey":"23C2"},
                {"start":"2023-10-01","end":"2023-13-31","due":"2024-02-07","status":"O","periodKey":"23C4"}]})",
                                 "application/json");
        }
    });
    Open(ProfileFor(stub.BaseUrl()));
    Button("startAuthorisationButton")->click();
    Button("copyButton")->click();
    QTest::keyClicks(Edit("codeEdit"), "code");
    Button("codeOkButton")->click();
    Combo("companyCombo")->setCurrentIndex(1);
    Button("getObligationsButton")->click();
    ASSERT_EQ(Combo("periodCombo")->count(), 3);
    EXPECT_EQ(Combo("periodCombo")->itemText(0), "01 Jul 2023  To  30 Sep 2023");
    EXPECT_EQ(Combo("periodCombo")->itemText(1), "01 Apr 2023  To  30 Jun 2023");
    EXPECT_EQ(Combo("periodCombo")->itemText(2), "2023-10-01 - 2023-13-31");
}

}  // namespace
}  // namespace calvenor::test
