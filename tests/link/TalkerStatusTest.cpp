#include "link/TalkerStatus.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(TalkerStatusText, ExactTextsAndUnknown) {
    EXPECT_STREQ(talkerStatusText(kTalkerOk), "Operation was successful");
    EXPECT_STREQ(talkerStatusText(kTalkerCommError), "Error - Unknown Comm Error");
    EXPECT_STREQ(talkerStatusText(kTalkerNoResponse), "Talker did not respond");
    EXPECT_STREQ(talkerStatusText(kTalkerBadEcho), "Echo not received properly from talker");
    EXPECT_STREQ(talkerStatusText(kTalkerSearchNotFound), "The search byte was not found in the range");
    EXPECT_STREQ(talkerStatusText(kTalkerBreakpointExists), "Breakpoint set at location");
    EXPECT_STREQ(talkerStatusText(kTalkerTraceFailed), "Trace instruction command failed");
    for (TalkerStatus s : {24, -1, 1000, INT32_MIN, INT32_MAX})
        EXPECT_STREQ(talkerStatusText(s), "Unknown Error") << s;
    std::set<std::string> seen;
    for (TalkerStatus s = 0; s <= 23; ++s) {
        const std::string text = talkerStatusText(s);
        EXPECT_FALSE(text.empty());
        EXPECT_NE(text.back(), '.');
        EXPECT_TRUE(seen.insert(text).second) << s;
    }
}

} // namespace
