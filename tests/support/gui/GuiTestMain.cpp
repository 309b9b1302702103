// main() for the GUI tests: one QApplication on Qt's offscreen platform (unless the caller chose
// another, e.g. xcb under Xvfb for a screenshot), watched for event loops run under a board lock.
#include "support/gui/GuiTestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BoardLockEventGuard guard;
    app.installEventFilter(&guard);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
