#include "UrlEncoder.h"

#include <gtest/gtest.h>

TEST(UrlEncoder, EscapesExactlyTheTwentyReservedCharacters) {
    EXPECT_EQ(CUrlEncoder::EncodeText("a b&c/d"), "a%20b%26c%2Fd");
    EXPECT_EQ(CUrlEncoder::EncodeText("10~_-.x"), "10~_-.x");
    EXPECT_EQ(CUrlEncoder::EncodeText(" !#$%&'()*+,/:;=?@[]"),
              "%20%21%23%24%25%26%27%28%29%2A%2B%2C%2F%3A%3B%3D%3F%40%5B%5D");
    // Everything else passes through, including UTF-8 and control bytes.
    const std::string untouched = "\"<>\\^`{|}\t\x01\xC3\xA9\xFF";
    EXPECT_EQ(CUrlEncoder::EncodeText(untouched), untouched);
}

TEST(UrlEncoder, EncodeStartsFromAnEmptyOutputEachTime) {
    CUrlEncoder encoder;
    encoder.SetInput("a b");
    EXPECT_EQ(encoder.Encode(), "a%20b");
    EXPECT_EQ(encoder.Encode(), "a%20b");
}

TEST(FormValueEncode, KeepsUnreservedAndEscapesEverythingElse) {
    EXPECT_EQ(FormValueEncode("abcXYZ019-._~"), "abcXYZ019-._~");
    EXPECT_EQ(FormValueEncode("s3cr&t=x+y z"), "s3cr%26t%3Dx%2By%20z");
    EXPECT_EQ(FormValueEncode("\r\n\xC3\xA9"), "%0D%0A%C3%A9");
}
