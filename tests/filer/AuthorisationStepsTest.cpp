#include <QTest>

#include "SandboxWindowTest.h"

namespace calvenor::test {
namespace {

TEST_F(SandboxWindowTest, JourneyFromStartToGetObligationsEnabled) {
    Button("startAuthorisationButton")->click();
    const QString url = Edit("urlEdit")->text();
    EXPECT_TRUE(url.startsWith(QString::fromStdString(m_sandbox.BaseUrl()))) << url.toStdString();
    EXPECT_EQ(m_recorder.ClipboardText(), url);
    EXPECT_TRUE(Button("copyButton")->isEnabled());
    EXPECT_FALSE(Button("startAuthorisationButton")->isEnabled());
    EXPECT_TRUE(m_recorder.Messages().empty());

    QTest::keyClicks(Edit("codeEdit"), "typed early");
    Button("copyButton")->click();
    ASSERT_EQ(m_recorder.OpenedUrls().size(), 1u);
    EXPECT_EQ(m_recorder.OpenedUrls()[0].toString(QUrl::FullyEncoded), url);
    EXPECT_FALSE(Button("copyButton")->isEnabled());
    EXPECT_TRUE(Edit("codeEdit")->isEnabled());
    EXPECT_TRUE(Edit("codeEdit")->text().isEmpty());
    EXPECT_FALSE(Button("codeOkButton")->isEnabled());

    QTest::keyClicks(Edit("codeEdit"), "x");
    EXPECT_TRUE(Button("codeOkButton")->isEnabled());
    Edit("codeEdit")->clear();
    EXPECT_FALSE(Button("codeOkButton")->isEnabled());

    Edit("codeEdit")->setText(QString::fromStdString(m_sandbox.GrantCode()));
    Button("codeOkButton")->click();
    EXPECT_TRUE(m_recorder.Messages().empty());
    EXPECT_TRUE(Button("getObligationsButton")->isEnabled());
    EXPECT_FALSE(Edit("codeEdit")->isEnabled());
    EXPECT_FALSE(Button("codeOkButton")->isEnabled());
    const std::string tokens = ReadFile(TokenFile());
    EXPECT_EQ(std::count(tokens.begin(), tokens.end(), '|'), 2) << tokens;
}

TEST_F(SandboxWindowTest, BrowserThatDoesNotOpenShowsTheLaunchErrorAndKeepsCopy) {
    Button("startAuthorisationButton")->click();
    m_recorder.QueueOpenUrlResult(false);
    Button("copyButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].text,
              "There is no application associated with\rthe given file name extension.\rPlease "
              "open the application manually");
    EXPECT_EQ(m_recorder.Messages()[0].ShownTitle(), "Error");
    EXPECT_TRUE(Button("copyButton")->isEnabled());
    EXPECT_TRUE(Edit("codeEdit")->isEnabled());
    EXPECT_TRUE(LogHas(m_home.LogPath(),
                       "CCalvenorDlg::OnBnClickedButtonUrlCopy : Open briwser "
                       "error : 31"));
}

TEST_F(SandboxWindowTest, RefusedCodeShowsTheDecodedLinesAndKeepsTheCode) {
    Button("startAuthorisationButton")->click();
    Button("copyButton")->click();
    QTest::keyClicks(Edit("codeEdit"), "not-a-code");
    Button("codeOkButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    const auto& message = m_recorder.Messages()[0];
    EXPECT_EQ(message.text,
              "HTTP code = 400\r\nerror : invalid_grant\r\nerror_description : code is "
              "invalid\r\n");
    EXPECT_EQ(message.ShownTitle(), "Error");
    EXPECT_EQ(message.beep, BeepKind::Exclamation);
    EXPECT_EQ(Edit("codeEdit")->text(), "not-a-code");
    EXPECT_TRUE(Edit("codeEdit")->isEnabled());
    EXPECT_FALSE(Button("codeOkButton")->isEnabled());
    EXPECT_FALSE(Button("getObligationsButton")->isEnabled());
    QTest::keyClicks(Edit("codeEdit"), "2");
    EXPECT_TRUE(Button("codeOkButton")->isEnabled());
}

TEST_F(SandboxWindowTest, RenewsFromTheTokenFileOfAnEarlierRun) {
    AuthoriseByCode();
    m_window->done(QDialog::Rejected);
    Open(ProfileFor(m_sandbox.BaseUrl()));

    Button("startAuthorisationButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u) << ReadFile(m_home.LogPath());
    const auto& message = m_recorder.Messages()[0];
    EXPECT_EQ(message.text,
              "Already Authorised - Please select a company and proceed as normal\r\n")
        << ReadFile(m_home.LogPath());
    EXPECT_EQ(message.title, "Already Authorised");
    EXPECT_EQ(message.beep, BeepKind::Information);
    EXPECT_FALSE(Button("startAuthorisationButton")->isEnabled());
    EXPECT_TRUE(Button("getObligationsButton")->isEnabled());
    EXPECT_FALSE(Edit("codeEdit")->isEnabled());
    EXPECT_TRUE(Edit("urlEdit")->text().isEmpty());

    // The refreshed access token is the one presented for obligations.
    ChooseCompany(1);
    Button("getObligationsButton")->click();
    EXPECT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_GT(Combo("periodCombo")->count(), 0);
}

// Renewal answers the sandbox does not give on demand come from a stub.
struct RenewalCase {
    const char* name;
    int status;  // 0: no server answers at all
    std::string body;
    std::string shown;
    bool tokenFileKept;
    std::vector<std::string> logged;
};

class RenewalFailureTest : public FilerWindowTest,
                           public ::testing::WithParamInterface<RenewalCase> {};

TEST_P(RenewalFailureTest, ShowsItsMessageAndKeepsOrDeletesTheTokenFile) {
    const RenewalCase& c = GetParam();
    CStubHmrc stub([&](const httplib::Request&, httplib::Response& response) {
        response.status = c.status;
        response.set_content(c.body, "application/json");
    });
    std::string base = stub.BaseUrl();
    if (c.status == 0) {
        base = "http://127.0.0.1:1";  // nothing listens there: no answer at all
    }
    WriteTokenFile("stored-access|stored-refresh|14400");
    Open(ProfileFor(base));

    Button("startAuthorisationButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].text.toStdString(), c.shown);
    EXPECT_EQ(m_recorder.Messages()[0].ShownTitle(), "Error");
    EXPECT_EQ(m_recorder.Messages()[0].beep, BeepKind::Exclamation);
    EXPECT_EQ(std::filesystem::exists(TokenFile()), c.tokenFileKept);
    EXPECT_TRUE(Button("startAuthorisationButton")->isEnabled());
    EXPECT_FALSE(Button("getObligationsButton")->isEnabled());
    for (const std::string& line : c.logged) {
        EXPECT_TRUE(LogHas(m_home.LogPath(), "CCalvenorDlg::OnBnClickedButtonStartAuth : " + line))
            << line;
    }

    // A kept file is renewed again by the next press; a deleted one starts the journey.
    const int before = stub.Requests();
    Button("startAuthorisationButton")->click();
    if (c.tokenFileKept) {
        EXPECT_EQ(m_recorder.Messages().size(), 2u);
        if (c.status != 0) {
            EXPECT_EQ(stub.Requests(), before + 1);
        }
    } else {
        EXPECT_EQ(stub.Requests(), before + 1);  // the authorisation request
    }
}

const char* const kRejected =
    "There was an error with the stored authentication token,\nor the stored authority has "
    "expired.\nPlease re-authenticate.";

INSTANTIATE_TEST_SUITE_P(
    Answers, RenewalFailureTest,
    ::testing::Values(
        RenewalCase{"invalid_grant_400",
                    400,
                    R"({"error":"invalid_grant","error_description":"refresh_token is invalid"})",
                    kRejected,
                    false,
                    {"Error. LastHttpCode = 400", "Error. ResponseCode = invalid_grant",
                     "Error. Message = refresh_token is invalid"}},
        RenewalCase{"unauthorised_401", 401, "{}", kRejected, false, {"Error. LastHttpCode = 401"}},
        RenewalCase{"server_error_500",
                    500,
                    "{}",
                    "HMRC's server has reported an error.\nPlease try again later.",
                    true,
                    {"Error. LastHttpCode = 500"}},
        RenewalCase{"no_answer_at_all",
                    0,
                    "",
                    "Unable to Connect to server",
                    true,
                    {"Error. LastHttpCode = 0"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Journey answers other than a redirect.
struct JourneyCase {
    const char* name;
    int status;  // 0: nothing listens
    std::string body;
    std::string title;  // as shown
    std::string shown;
};

class JourneyFailureTest : public FilerWindowTest,
                           public ::testing::WithParamInterface<JourneyCase> {};

TEST_P(JourneyFailureTest, ShowsTheStatusTextAndLeavesTheWindowAsItWas) {
    const JourneyCase& c = GetParam();
    CStubHmrc stub([&](const httplib::Request&, httplib::Response& response) {
        response.status = c.status;
        if (c.status == 303) {
            response.set_header("Location", "http://127.0.0.1:1/elsewhere");
        }
        response.set_content(c.body, "application/json");
    });
    Open(ProfileFor(c.status == 0 ? "http://127.0.0.1:1" : stub.BaseUrl()));
    Button("startAuthorisationButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].ShownTitle().toStdString(), c.title);
    EXPECT_EQ(m_recorder.Messages()[0].text.toStdString(), c.shown);
    EXPECT_EQ(m_recorder.Messages()[0].beep, BeepKind::Exclamation);
    EXPECT_TRUE(Button("startAuthorisationButton")->isEnabled());
    EXPECT_FALSE(Button("copyButton")->isEnabled());
    EXPECT_TRUE(Edit("urlEdit")->text().isEmpty());
    EXPECT_TRUE(m_recorder.ClipboardText().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, JourneyFailureTest,
    ::testing::Values(JourneyCase{"decoded_body", 400,
                                  R"({"code":"INVALID_REQUEST","message":"client_id is required",
                        "errors":[{"code":"X","message":"y","path":"/z"}]})",
                                  "Error",
                                  "Unauthorized\rcode : INVALID_REQUEST\rmessage : client_id is "
                                  "required\r\tcode : X\r\tmessage : y\r\tpath : /z"},
                      JourneyCase{"see_other_is_not_a_redirect_here", 303, "{}", "Error",
                                  "An Unknown Error Occurred"},
                      JourneyCase{"undecodable_body", 503, "<html>down</html>",
                                  "COMMUNICATIONS ERROR", "Service Unavailable"},
                      JourneyCase{"no_connection", 0, "", "COMMUNICATIONS ERROR",
                                  "An Unknown Error Occurred"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilerWindowTest, TokenAnswer201IsAFailure) {
    CStubHmrc stub([](const httplib::Request& request, httplib::Response& response) {
        if (request.path == "/oauth/authorize") {
            response.status = 302;
            response.set_header("Location", "http://127.0.0.1:1/oauth/start?x=1");
            return;
        }
        response.status = 201;
        response.set_content(R"({"access_token":"a","refresh_token":"r","expires_in":14400})",
                             "application/json");
    });
    Open(ProfileFor(stub.BaseUrl()));
    Button("startAuthorisationButton")->click();
    Button("copyButton")->click();
    QTest::keyClicks(Edit("codeEdit"), "code");
    Button("codeOkButton")->click();
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].text, "HTTP code = 201\r\n");
    EXPECT_FALSE(Button("getObligationsButton")->isEnabled());
    EXPECT_EQ(Edit("codeEdit")->text(), "code");
}

}  // namespace
}  // namespace calvenor::test
