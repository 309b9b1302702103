#include "AlertScene.h"
#include "link/Link.h"

#include <gtest/gtest.h>

namespace {

TEST(AlertSampleTest, ALineIsTheIndexOfItsStatusOrWhatItIsNot)
{
    AlertScene scene;
    scene.MakeBoard(5);
    scene.Set(0, "Talking");
    scene.Set(1, "Idle");
    scene.Set(2, "Other");
    scene.now += 1s;
    scene.Set(3, "Talking");
    TagStatusSet set{{"Idle", "Talking"}};
    TagBoardSample sample;
    {
        BoardLock lock(scene.board->Lock);
        SampleBoard(*scene.board, set, sample);
    }
    EXPECT_EQ(sample.Board, scene.board.get());
    EXPECT_EQ(sample.Created, kT0);
    EXPECT_EQ(sample.Status, (std::vector<uint8_t>{1, 0, kOtherStatus, 1, kUnwritten}));
    EXPECT_EQ(sample.Since, (std::vector<BoardTime>{kT0, kT0, kT0, kT0 + 1s, kT0}));
}

TEST(AlertSampleTest, ACellWrittenEmptyLaterIsNotUnwritten)
{
    AlertScene scene;
    scene.MakeBoard(1);
    scene.Set(0, "Talking");
    scene.now += 1s;
    scene.Set(0, "");
    TagBoardSample sample;
    {
        BoardLock lock(scene.board->Lock);
        SampleBoard(*scene.board, TagStatusSet{{"Talking"}}, sample);
    }
    EXPECT_EQ(sample.Status, (std::vector<uint8_t>{kOtherStatus}));
}

TEST(AlertSampleTest, TheLinkSaysSinceWhenItsAnswerIsOverdue)
{
    SharedConfig config;
    LinkTiming timing;
    timing.answerOverdue = 30s;
    TagTcpConnection link{config, timing, NoConnect{}};
    const int64_t sent = 1'000'000;
    link.connected = true;
    link.pollSentAt = sent;
    link.lastAnswerAt = sent - 5'000;

    TagLinkSample sample = SampleLink(&link, kT0, sent + 30'000);
    EXPECT_TRUE(sample.Connected);
    EXPECT_EQ(sample.Session, &link);
    EXPECT_EQ(sample.LastAnswerAt, sent - 5'000);
    EXPECT_FALSE(sample.OverdueSince) << "not past the limit";

    sample = SampleLink(&link, kT0, sent + 45'000);
    ASSERT_TRUE(sample.OverdueSince);
    EXPECT_EQ(*sample.OverdueSince, kT0 - 15s);

    link.connected = false;
    sample = SampleLink(&link, kT0, sent + 45'000);
    EXPECT_FALSE(sample.Connected);
    EXPECT_FALSE(sample.OverdueSince);

    sample = SampleLink(nullptr, kT0, sent);
    EXPECT_FALSE(sample.Connected);
    EXPECT_EQ(sample.Session, nullptr);
}

} // namespace
