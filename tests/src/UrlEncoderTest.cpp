#include "UrlEncoder.h"

#include <gtest/gtest.h>

TEST(FormValueEncode, KeepsUnreservedAndEscapesEverythingElse) {
    EXPECT_EQ(FormValueEncode("abcXYZ019-._~"), "abcXYZ019-._~");
    EXPECT_EQ(FormValueEncode("s3cr&t=x+y z"), "s3cr%26t%3Dx%2By%20z");
    EXPECT_EQ(FormValueEncode("\r\n\xC3\xA9\"<>\\^`{|}"),
              "%0D%0A%C3%A9%22%3C%3E%5C%5E%60%7B%7C%7D");
}
