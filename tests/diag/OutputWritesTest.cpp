// The expected output states the push buttons build their writes from: laid over the shown states by
// every write not yet confirmed, given up when a write fails, and confirmed only by a poll after it.
#include "app/OutputWrites.h"
#include "comm/CommunicationTask.h"
#include <gtest/gtest.h>

TEST(OutputWrites, WritesLieOverTheShownStatesUntilAPollAfterThemConfirmsThem) {
    TOutputWrites writes;
    TCommunicationTask first, second;
    EXPECT_EQ(writes.Expected(0, 1), 1);
    writes.Queued(&first, {{0, 0}, {1, 1}});
    writes.Queued(&second, {{1, 0}});
    EXPECT_EQ(writes.Expected(0, 1), 0);
    EXPECT_EQ(writes.Expected(1, 1), 0); // the latest write counts
    EXPECT_EQ(writes.Expected(2, 1), 1);

    // A poll before any write was sent confirms nothing.
    writes.Polled(0, 8);
    EXPECT_EQ(writes.Expected(0, 1), 0);
    // Only what was sent before the poll goes; the other write still counts.
    writes.Sent(&first, true);
    writes.Polled(0, 8);
    EXPECT_EQ(writes.Expected(0, 1), 1);
    EXPECT_EQ(writes.Expected(1, 1), 0);
    // A poll of other outputs does not confirm it.
    writes.Sent(&second, true);
    writes.Polled(2, 2);
    EXPECT_FALSE(writes.Empty());
    writes.Polled(1, 1);
    EXPECT_TRUE(writes.Empty());
}

TEST(OutputWrites, AFailedWriteIsForgottenAndASentTaskAddressMatchesOnlyAWaitingWrite) {
    TOutputWrites writes;
    TCommunicationTask task;
    writes.Queued(&task, {{3, 1}});
    writes.Sent(&task, false);
    EXPECT_TRUE(writes.Empty());
    EXPECT_EQ(writes.Expected(3, 0), 0);

    // The same address for the next write: its report must not fall on the one already sent.
    writes.Queued(&task, {{3, 1}});
    writes.Sent(&task, true);
    writes.Queued(&task, {{3, 0}});
    writes.Sent(&task, false);
    EXPECT_EQ(writes.Expected(3, 0), 1);
    writes.Polled(3, 1);
    EXPECT_TRUE(writes.Empty());
    writes.Queued(&task, {{3, 1}});
    writes.Clear();
    EXPECT_TRUE(writes.Empty());
}
