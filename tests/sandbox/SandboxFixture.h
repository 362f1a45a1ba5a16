#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <rapidjson/document.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "SandboxServer.h"
#include "TestSupport.h"

namespace calvenor::sandbox::test {

// 15 May 2026: the quarterly demo client's open periods are 26A1 (ended) and 26A2 (not ended).
inline constexpr CivilDate kToday{2026, 5, 15};

inline const std::string kCodeForm =
    "client_secret=calvenor-demo-secret&client_id=calvenor-demo-client&grant_type=authorization_"
    "code&redirect_uri=urn%3Aietf%3Awg%3Aoauth%3A2.0%3Aoob&code=";

// A return HMRC accepts for the period key (VAT owed: 1134.50).
inline std::string ValidReturn(const std::string& periodKey = "26A1") {
    return R"({"periodKey":")" + periodKey +
           R"(","vatDueSales":"1234.50","vatDueAcquisitions":"0.00","totalVatDue":"1234.50",)"
           R"("vatReclaimedCurrPeriod":"100.00","netVatDue":"1134.50","totalValueSalesExVAT":"6172",)"
           R"("totalValuePurchasesExVAT":"500","totalValueGoodsSuppliedExVAT":"0",)"
           R"("totalAcquisitionsExVAT":"0","finalised":true})";
}

// What a conforming filer sends, one line each: every header HMRC lists for DESKTOP_APP_DIRECT
// but Gov-Client-Multi-Factor (the filer has no multi-factor sign-in of its own).
inline std::vector<std::string> ConformingHeaders() {
    std::vector<std::string> lines;
    std::istringstream file(
        calvenor::test::ReadFile(calvenor::test::TestData("sandbox/conforming-headers.txt")));
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

// The rows of a tab-separated table in tests/data/sandbox ('#' lines are comments), each with
// `columns` cells.
inline std::vector<std::vector<std::string>> ReadTable(const std::string& name,
                                                       std::size_t columns) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream file(calvenor::test::ReadFile(calvenor::test::TestData("sandbox/" + name)));
    for (std::string line; std::getline(file, line);) {
        std::vector<std::string> cells(1);
        for (std::istringstream in(line + "\t"); std::getline(in, cells.back(), '\t');)
            cells.emplace_back();
        if (!line.empty() && line[0] != '#' && cells.size() == columns + 1)
            rows.push_back({cells.begin(), cells.end() - 1});
    }
    return rows;
}

// A JSON body's string member, "<absent>" when there is none.
inline std::string Member(const std::string& body, const char* name) {
    rapidjson::Document doc;
    doc.Parse(body.c_str());
    return doc.IsObject() && doc.HasMember(name) && doc[name].IsString() ? doc[name].GetString()
                                                                         : "<absent>";
}

// A sandbox on a free port with the demo data seeded around kToday, and a keep-alive client.
class SandboxFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SandboxOptions options;
        options.today = kToday;
        options.clock = [this] { return m_now.load(); };
        m_server = std::make_unique<SandboxServer>(options);
        ASSERT_TRUE(m_server->Start()) << m_server->LastError();
        m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server->Port());
        m_client->set_keep_alive(true);
        m_client->set_url_encode(false);
    }
    httplib::Result Form(const std::string& path, const std::string& body) {
        return m_client->Post(path.c_str(), body, "application/x-www-form-urlencoded");
    }
    // An access token for `scopes`, got the way the filer gets one.
    std::string Token(const std::string& scopes = "read:vat write:vat") {
        const std::string code = m_server->GrantCode(kDemoClientId, scopes);
        return Member(Form("/oauth/token", kCodeForm + code)->body, "access_token");
    }
    static httplib::Headers Vat(const std::string& token) {
        return {{"Accept", "application/vnd.hmrc.1.0+json"}, {"Authorization", "Bearer " + token}};
    }

    std::atomic<std::chrono::system_clock::time_point> m_now{
        std::chrono::sys_days{std::chrono::year(2026) / std::chrono::May / std::chrono::day(15)} +
        std::chrono::hours(10)};
    std::unique_ptr<SandboxServer> m_server;
    std::unique_ptr<httplib::Client> m_client;
};

}  // namespace calvenor::sandbox::test
