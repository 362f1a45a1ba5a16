#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "ReturnFigures.h"
#include "SandboxServer.h"
#include "TestSupport.h"

namespace calvenor::test {

// What the filing tests file: the figures, for the open period 18A1 (the first quarter of 2018).
inline const BoxTexts kFigures = {"100.00", "0.00", "100.00", "20.50", "79.50",
                                  "500",    "100",  "0",      "0"};
inline const sandbox::Obligation kOpen{{2018, 1, 1}, {2018, 3, 31}, {2018, 5, 7},
                                       false,        "18A1",        {}};

// An isolated home and HMRC's stand-in serving on a free port of this machine, started before
// each test and stopped with it: where every test that talks to the sandbox begins.
class SandboxHomeTest : public ::testing::Test {
protected:
    explicit SandboxHomeTest(sandbox::SandboxOptions options = {})
        : m_sandbox(std::move(options)) {}
    void SetUp() override { ASSERT_TRUE(m_sandbox.Start(0)) << m_sandbox.LastError(); }

    // An agent profile for the sandbox: the demo application's credentials and every demo client.
    std::string SandboxProfile() const {
        std::string clients;
        for (const sandbox::DemoClient& client : sandbox::kDemoClients)
            clients += std::string(clients.empty() ? "" : ",") + R"({"company_name":")" +
                       std::string(client.companyName) + R"(","vrn":")" + std::string(client.vrn) +
                       "\"}";
        return R"({"client_id":")" + std::string(sandbox::kDemoClientId) +
               R"(","client_secret":")" + std::string(sandbox::kDemoClientSecret) +
               R"(","service_base_url":")" + m_sandbox.BaseUrl() + R"(","clients":[)" + clients +
               "]}";
    }
    std::filesystem::path TokenFile() const {
        return m_home.DataFolder() / "TokDir" / "tokens.tok";
    }

    IsolatedHome m_home;
    sandbox::SandboxServer m_sandbox;
};

}  // namespace calvenor::test
