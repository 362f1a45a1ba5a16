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

// What a conforming filer sends: every header HMRC lists for DESKTOP_APP_DIRECT but
// Gov-Client-Multi-Factor (the filer has no multi-factor sign-in of its own).
inline const std::vector<std::string> kConforming = {
    "Gov-Client-Connection-Method: DESKTOP_APP_DIRECT",
    "Gov-Client-MAC-Addresses: 0A%3A1B%3A2C%3A3D%3A4E%3A5F",
    "Gov-Client-Device-ID: beec798b-b366-47fa-b1f8-92cede14a1ce",
    "Gov-Client-Local-IPs-Timestamp: 2026-03-07T09:05:03.042Z",
    "Gov-Client-Local-IPs: 192.168.1.10,2001%3Adb8%3A%3A1",
    "Gov-Vendor-Version: Calvenor=2.12.2",
    "Gov-Client-User-Agent: os-family=Linux&os-version=Debian%2012&device-manufacturer=Dell%20Inc."
    "&device-model=XPS%2013",
    "Gov-Client-User-IDs: os=Zo%C3%AB%20O%22Brien%7Cx",
    "Gov-Client-Timezone: UTC+01:00",
    "Gov-Client-Screens: width=1920&height=1080&scaling-factor=1.00&colour-depth=32,colour-depth=24"
    "&scaling-factor=1.25&height=1024&width=1280",
    "Gov-Client-Window-Size: width=363&height=411",
    "Gov-Vendor-License-IDs: "
    "Calvenor=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08",
    "Gov-Vendor-Product-Name: Calvenor"};

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
