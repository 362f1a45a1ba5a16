#include "ServiceUrl.h"

#include <gtest/gtest.h>

struct UrlCase {
    const char* url;
    bool allowed;
};

class ServiceUrlRule : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ServiceUrlRule, AllowsHttpsAnywhereAndHttpOnlyToThisMachine) {
    EXPECT_EQ(calvenor::IsAllowedServiceUrl(GetParam().url), GetParam().allowed) << GetParam().url;
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ServiceUrlRule,
    ::testing::Values(UrlCase{"https://test-api.service.hmrc.gov.uk", true},
                      UrlCase{"HTTPS://api.service.hmrc.gov.uk/oauth/authorize?x=1", true},
                      UrlCase{"http://127.0.0.1:8787", true}, UrlCase{"http://localhost:8787/x", true},
                      UrlCase{"http://[::1]:8787", true},
                      UrlCase{"http://test-api.service.hmrc.gov.uk", false},
                      UrlCase{"http://127.0.0.1.evil.example", false},
                      UrlCase{"http://localhost.evil.example:80", false},
                      UrlCase{"http://evil@127.0.0.1", false}, UrlCase{"ftp://127.0.0.1", false},
                      UrlCase{"/oauth/authorize", false}, UrlCase{"", false},
                      UrlCase{"https://", false}, UrlCase{"https://host/ with space", false}));
