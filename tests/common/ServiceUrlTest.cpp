#include "ServiceUrl.h"

#include <gtest/gtest.h>

TEST(ServiceUrl, AllowsHttpsAnywhereAndHttpOnlyToThisMachine) {
    for (const char* url : {"https://test-api.service.hmrc.gov.uk", "http://127.0.0.1:8787",
                            "HTTPS://api.service.hmrc.gov.uk/oauth/authorize?x=1",
                            "http://localhost:8787/x", "http://[::1]:8787"})
        EXPECT_TRUE(calvenor::IsAllowedServiceUrl(url)) << url;
    for (const char* url :
         {"http://test-api.service.hmrc.gov.uk", "http://127.0.0.1.evil.example",
          "http://localhost.evil.example:80", "http://evil@127.0.0.1", "ftp://127.0.0.1",
          "/oauth/authorize", "https://", "https://host/ with space"})
        EXPECT_FALSE(calvenor::IsAllowedServiceUrl(url)) << url;
}
