#pragma once
// A fixture for the tests of the main window's tools: the real TForm1 shown and active, its session
// idle against a refusing loopback port, its timer stopped so the test plays the ticks, and boards
// published by hand as a running session would have them.

#include "app/Unit1.h"
#include "board/Board.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <utility>

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Runs before the window is made (for example to point the placement store elsewhere).
    virtual void BeforeWindow() {}

    // A board of `lines` lines laid out in `groups` groups, published as CurBoard.
    TagMonitor* Publish(int lines, int groups = 1);

    // The grid cells selected, and those of a line, as (column, grid row).
    std::set<std::pair<int, int>> Selected() const;
    static std::set<std::pair<int, int>> CellsOfLine(int line, int groups);

    ScratchDir dir;
    MessageRecorder boxes;
    RefusingPort refusing;
    std::unique_ptr<TForm1> form;
};
