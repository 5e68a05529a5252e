// The relay as the command line names it: USER:PASSWORD@HOST[:PORT].
#include <gtest/gtest.h>

#include "session/net/ice_bridge.h"

namespace {

TEST(IceRelay, ReadsUserPasswordHostAndPort) {
    IceRelay r;
    std::string why;
    ASSERT_TRUE(parse_ice_relay("whirlbat:s3cret:x@127.0.0.1:3479", &r, &why)) << why;
    EXPECT_EQ(r.user, "whirlbat");
    EXPECT_EQ(r.password, "s3cret:x");
    EXPECT_EQ(r.ip, 0x7f000001u);
    EXPECT_EQ(r.port, 3479);
}

TEST(IceRelay, PortIs3478UnlessGiven) {
    IceRelay r;
    std::string why;
    ASSERT_TRUE(parse_ice_relay("a:b@127.0.0.2", &r, &why)) << why;
    EXPECT_EQ(r.ip, 0x7f000002u);
    EXPECT_EQ(r.port, 3478);
}

TEST(IceRelay, BadTextIsOneLine) {
    for (const char* bad : {"", "relay.example", "user@127.0.0.1", ":pass@127.0.0.1", "a:b@", "a:b@127.0.0.1:0",
                            "a:b@127.0.0.1:70000", "a:b@127.0.0.1:x"}) {
        IceRelay r;
        std::string why;
        EXPECT_FALSE(parse_ice_relay(bad, &r, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
        EXPECT_EQ(why.find('\n'), std::string::npos) << bad;
    }
}

}  // namespace
