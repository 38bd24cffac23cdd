#include <gtest/gtest.h>

#include "TestHost.h"

using testhost::Host;

TEST(Record, ShapeAfterMain) {
    Host host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 8);
    EXPECT_EQ(e->numParams, 30);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, 0x19);
    EXPECT_EQ(e->uniqueID, 0x68766C51);
    testhost::dispatch(e, effClose);
}
