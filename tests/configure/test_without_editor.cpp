// A module built with HALVORINE_EDITOR=OFF, loaded as a host loads it: it
// does not claim an editor, answers the editor requests with 0 and touches
// nothing they pass, and is otherwise the same effect.
#include <gtest/gtest.h>

#include "TestHost.h"

using testhost::dispatch;

TEST(ModuleWithoutEditor, ClaimsNoEditorAndRefusesItsRequests) {
    testhost::Host host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->flags, effFlagsCanMono | effFlagsCanReplacing);

    ERect unchanged{};
    ERect* rect = &unchanged;
    EXPECT_EQ(dispatch(e, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, &unchanged);
    int parent = 0;
    EXPECT_EQ(dispatch(e, effEditOpen, 0, 0, &parent), 0);
    EXPECT_EQ(dispatch(e, effEditIdle), 0);
    EXPECT_EQ(dispatch(e, effEditClose), 0);

    // Programs and parameters, which refresh an editor when there is one.
    EXPECT_EQ(dispatch(e, effSetProgram, 0, 2), 0);
    EXPECT_EQ(dispatch(e, effGetProgram), 2);
    e->setParameter(e, 5, 0.25f);
    EXPECT_EQ(e->getParameter(e, 5), 0.25f);
    dispatch(e, effClose);
}
