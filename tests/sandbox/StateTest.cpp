#include "SandboxFixture.h"
#include "TestSupport.h"

namespace calvenor::sandbox::test {
namespace {

SandboxOptions StateOptions(const std::filesystem::path& file) {
    SandboxOptions options;
    options.today = kToday;
    options.stateFile = file;
    return options;
}

TEST(SandboxState, TokensClientsAndReturnsSurviveARestart) {
    calvenor::test::TempFolder folder;
    const auto file = folder / "state.json";
    TokenSet tokens;
    std::string receiptId;
    {
        SandboxServer server(StateOptions(file));
        ASSERT_TRUE(server.Start()) << server.LastError();
        ASSERT_TRUE(std::filesystem::exists(file));
        EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        CHttpClient client;
        tokens = Authorise(server, client);
        const HttpAnswer filed =
            client.Post(server.BaseUrl() + "/organisations/vat/100000001/returns",
                        ValidReturnBody("26A1"), VatHeaders(tokens.accessToken));
        ASSERT_EQ(filed.status, 201);
        receiptId = filed.Header("Receipt-ID").value_or("");
        server.SetClientAuthorised(kMonthlyClient.vrn, false);
        server.AddClient("200000002", "Later Ltd", Frequency::Monthly);
        server.ClearOpenObligations(kHashKeyClient.vrn);
    }
    SandboxServer server(StateOptions(file));
    ASSERT_TRUE(server.Start()) << server.LastError();
    CHttpClient client;
    const auto vat = [&](const std::string& vrn, const std::string& what) {
        const std::string url = server.BaseUrl() + "/organisations/vat/" + vrn + what;
        const auto headers = VatHeaders(tokens.accessToken);
        return what == "/returns" ? client.Post(url, ValidReturnBody("26A1"), headers)
                                  : client.Get(url, headers);
    };
    EXPECT_EQ(vat("100000001", "/obligations?status=O").body.find("26A1"), std::string::npos);
    EXPECT_EQ(vat("100000001", "/returns").status, 403);
    EXPECT_EQ(vat("100000002", "/obligations?status=O").status, 403);
    EXPECT_EQ(vat("100000003", "/obligations?status=O").status, 404);
    EXPECT_NE(vat("200000002", "/obligations?status=O").body.find(R"("periodKey":"26M5")"),
              std::string::npos);
    ASSERT_EQ(server.FiledReturns().size(), 1u);
    EXPECT_EQ(server.FiledReturns()[0].receiptId, receiptId);
    EXPECT_EQ(client
                  .Post(server.BaseUrl() + "/oauth/token",
                        "grant_type=refresh_token&client_id=calvenor-demo-client&client_secret="
                        "calvenor-demo-secret&refresh_token=" +
                            tokens.refreshToken)
                  .status,
              200);
}

struct CorruptCase {
    const char* name;
    const char* text;
    const char* reason;  // part of the message
};

class CorruptState : public ::testing::TestWithParam<CorruptCase> {};

TEST_P(CorruptState, IsRefusedWithAReasonAndLeftUntouched) {
    calvenor::test::TempFolder folder;
    const auto file = folder / "state.json";
    calvenor::test::WriteFile(file, GetParam().text);
    SandboxServer server(StateOptions(file));
    EXPECT_FALSE(server.Start());
    EXPECT_NE(server.LastError().find(file.string()), std::string::npos) << server.LastError();
    EXPECT_NE(server.LastError().find(GetParam().reason), std::string::npos) << server.LastError();
    // Helpers after the failure must not write over the file either.
    server.AddClient("200000003", "Someone Ltd");
    server.RevokeAllTokens();
    EXPECT_EQ(calvenor::test::ReadFile(file), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, CorruptState,
    ::testing::Values(
        CorruptCase{"Truncated",
                    R"({"format":"calvenor-sandbox-state","version":1,"applications":[)",
                    "not valid JSON"},
        CorruptCase{"NotAnObject", "[]", "not an object"},
        CorruptCase{"OtherFormat", R"({"format":"something-else","version":1})",
                    "not a calvenor-sandbox state file"},
        CorruptCase{
            "ImpossibleDate",
            R"({"format":"calvenor-sandbox-state","version":1,"applications":[],"clients":[{"vrn":"100000001","company_name":"A","authorised":true,"obligations":[{"start":"2026-02-30","end":"2026-03-31","due":"2026-05-07","status":"O","periodKey":"26A1"}]}],"access_tokens":[],"refresh_tokens":[],"filed_returns":[]})",
            "clients[0].obligations[0].start"},
        CorruptCase{
            "WrongType",
            R"({"format":"calvenor-sandbox-state","version":1,"applications":[{"client_id":7,"client_secret":"s","name":"n"}],"clients":[],"access_tokens":[],"refresh_tokens":[],"filed_returns":[]})",
            "applications[0].client_id"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calvenor::sandbox::test
