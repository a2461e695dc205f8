#include "trace/trace_intake.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

TEST(TraceIntake, OnlyTheFirstWaitingPieceWakesAndATakeCountsLineEnds) {
    TraceIntake intake;
    EXPECT_EQ(intake.Take().any, false);
    EXPECT_TRUE(intake.Post("a\n"));
    EXPECT_FALSE(intake.Post("b\nc\n"));
    const TraceIntake::Taken taken = intake.Take();
    EXPECT_TRUE(taken.any);
    EXPECT_EQ(taken.lineEnds, 3u);
    EXPECT_FALSE(taken.rewrite);
    EXPECT_EQ(intake.LinesTaken(), 3u);
    EXPECT_EQ(intake.Buffer().Lines().size(), 3u);
    EXPECT_TRUE(intake.Post("d\n"));  // the queue was emptied by the take
}

TEST(TraceIntake, AnOpenLineBeforeOrAfterAsksForARewrite) {
    TraceIntake intake;
    intake.Post("half");
    TraceIntake::Taken taken = intake.Take();
    EXPECT_TRUE(intake.OpenLine());
    EXPECT_TRUE(taken.rewrite);
    intake.Post(" line\n");
    taken = intake.Take();
    EXPECT_FALSE(intake.OpenLine());
    EXPECT_TRUE(taken.rewrite);  // it continued the open line
    intake.Post("whole\n");
    EXPECT_FALSE(intake.Take().rewrite);
}

TEST(TraceIntake, ClearDropsWhatWaitsAndWhatWasTaken) {
    TraceIntake intake;
    intake.Post("a\n");
    intake.Take();
    intake.Post("open");
    intake.Clear();
    EXPECT_FALSE(intake.Take().any);
    EXPECT_TRUE(intake.Buffer().Lines().empty());
    EXPECT_FALSE(intake.OpenLine());
    EXPECT_EQ(intake.LinesTaken(), 1u);  // a count since start, not of what is shown
}

}  // namespace
}  // namespace tarvu
