#include <gtest/gtest.h>

#include "tools/nsftool/Base64.h"

TEST(Base64, RoundTripsEveryLengthAndRefusesNonsense) {
  std::string bytes;
  for (int n = 0; n < 8; ++n) {
    EXPECT_EQ(nsftool::DecodeBase64(nsftool::EncodeBase64(bytes)), bytes) << n;
    bytes += static_cast<char>(0xF0 + n);
  }
  EXPECT_EQ(nsftool::EncodeBase64("%PDF-"), "JVBERi0=");
  EXPECT_EQ(nsftool::EncodeBase64("%PDF"), "JVBERg==");
  for (const char* bad : {"JVBERi0", "JVB=Ri0=", "JVBER!0=", "====", "JVBERi0=\n", "J==="})
    EXPECT_FALSE(nsftool::DecodeBase64(bad)) << bad;
}
