#include <gtest/gtest.h>

#include "AuthInfo.h"
#include "BrowseErrors.h"
#include "DeviceRecords.h"

// The layouts themselves are pinned by static_asserts in the headers; these
// check the values that peers rely on.
TEST(BrowseErrors, SnmpErrorStatusMapsBelowMinusHundred) {
    EXPECT_EQ(-102, HlpSnmpError(2));
    EXPECT_EQ(-100, HlpSnmpError(0));
}

TEST(ServerAddress, DiscoveredServersUsePort1549) {
    EXPECT_EQ(0x06, kDiscoveredServerTcpPort >> 8);
    EXPECT_EQ(0x0D, kDiscoveredServerTcpPort & 0xFF);
}
