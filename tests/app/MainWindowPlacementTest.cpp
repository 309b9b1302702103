// The main window's placement: restored when the window is created, saved when it closes.
#include "app/Unit1.h"
#include "board/Board.h"
#include "board/qt/LineGrid.h"
#include "settings/qt/Placement.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

#include <QFile>
#include <QSettings>
#include <QTest>
#include <array>
#include <gtest/gtest.h>
#include <map>

namespace {

using Values = std::map<std::string, std::string>;

constexpr std::array<int, 8> kDesignWidths = {124, 108, 56, 76, 204, 83, 57, 62};
const QPoint kDesignPos(123, 168);

class MainWindowPlacementTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder boxes;
    RefusingPort refusing;
    QString storePath = QString::fromStdString(dir.path()) + QStringLiteral("/placement.ini");

    void SetUp() override
    {
        const QString path = storePath;
        SetPlacementStore([path] { return std::make_unique<QSettings>(path, QSettings::IniFormat); });
    }

    void TearDown() override
    {
        SetPlacementStore(nullptr);
        BoardBusy.store(0);
        CurConfig.Set(TagRunCfg());
    }

    std::unique_ptr<TForm1> MakeForm()
    {
        WriteLoopbackConfig(refusing.port());
        auto form = std::make_unique<TForm1>(WindowTiming());
        form->stopSettle = std::chrono::milliseconds(1);
        return form;
    }

    Values Stored() const
    {
        QSettings s(storePath, QSettings::IniFormat);
        Values v;
        for (const QString& key : s.allKeys())
            v[key.toStdString()] = s.value(key).toString().toStdString();
        return v;
    }
};

TEST_F(MainWindowPlacementTest, FirstRunKeepsTheDesignAndExitStoresAllTwelve)
{
    auto form = MakeForm();
    EXPECT_EQ(Stored(), (Values{{"WinX", "-10"}}));
    EXPECT_EQ(form->pos(), kDesignPos);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(form->LineGrid->columnWidth(i), kDesignWidths[size_t(i)]);

    form->move(210, 120);
    form->resize(700, 450);
    for (int i = 0; i < 8; ++i)
        form->LineGrid->setColumnWidth(i, 40 + i);
    form->Exit1->trigger();
    Values all{{"WinX", " 210"}, {"WinY", " 120"}, {"WinWidth", " 700"}, {"WinHeight", " 450"}};
    for (int i = 0; i < 8; ++i)
        all["GridWid" + std::to_string(i)] = "  4" + std::to_string(i);
    EXPECT_EQ(Stored(), all);

    auto next = MakeForm();
    EXPECT_EQ(next->pos(), QPoint(210, 120));
    EXPECT_EQ(next->size(), QSize(700, 450));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(next->LineGrid->columnWidth(i), 40 + i);
}

TEST_F(MainWindowPlacementTest, DesignSizeIsTheOuterSize)
{
    const struct {
        const char* what;
        Values stored;
        QRect outer;
    } cases[] = {
        {"first run", {}, {123, 168, 795, 528}},
        {"WinX ends the restore", {{"WinX", "  -5"}, {"WinWidth", " 600"}}, {123, 168, 795, 528}},
        {"only the width stored",
         {{"WinX", "  40"}, {"WinY", "  30"}, {"WinWidth", " 600"}, {"WinHeight", "  -1"}},
         {40, 30, 600, 528}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(storePath);
        {
            QSettings s(storePath, QSettings::IniFormat);
            for (const auto& [name, text] : c.stored)
                s.setValue(QString::fromStdString(name), QString::fromStdString(text));
        }
        auto form = MakeForm();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QTest::qWait(0);
        ASSERT_NE(form->frameGeometry().size(), form->size()) << "the platform draws no frame";
        EXPECT_EQ(form->frameGeometry(), c.outer);
    }
}

} // namespace
