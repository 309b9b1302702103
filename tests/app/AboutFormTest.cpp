#include "app/Aboutunit.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "support/gui/LinuxOnly.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

const QString kWeb = QLatin1String(kWebAddress);
const QString kMail = QStringLiteral("mailto:") + QLatin1String(kSupportAddress);

class AboutFormTest : public ::testing::Test {
protected:
    std::vector<QString> opened;
    TForm2 form;

    void SetUp() override
    {
        SetUrlOpener([this](const QUrl& url) { opened.push_back(url.toString()); });
    }
    void TearDown() override { SetUrlOpener(nullptr); }

    QLabel* Label(const char* name) { return form.findChild<QLabel*>(QLatin1String(name)); }

    int RunModal(std::function<void()> drive)
    {
        QTimer::singleShot(0, [this, drive] {
            if (QTest::qWaitForWindowActive(&form))
                drive();
        });
        CloseStrayWindowsAfter(5000);
        return form.exec();
    }
};

TEST_F(AboutFormTest, DesignOfTheDialog)
{
    EXPECT_EQ(form.objectName(), QStringLiteral("Form2"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(form.size(), QSize(323, 139));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    const struct {
        const char* name;
        QRect geometry;
        const char* text; // UTF-8; null for the picture
    } components[] = {
        {"Image1", {22, 10, 47, 61}, nullptr},
        {"Label5", {19, 72, 59, 20}, "Mirrak"},
        {"Label2", {87, 17, 219, 13}, "Halverdon Telephony Platform Monitor"},
        {"VerLab", {146, 43, 45, 13}, "Ver1.13"},
        {"Label6", {106, 61, 145, 13}, "Halverdon Voice Systems 2019-2026"},
        {"Label8", {102, 76, 150, 13}, "support@halverdon.example"},
    };
    for (const auto& c : components) {
        SCOPED_TRACE(c.name);
        QLabel* label = Label(c.name);
        ASSERT_NE(label, nullptr);
        // The design's sizes, whatever the text needs in the fonts at hand: a wider text is cut.
        EXPECT_EQ(label->geometry(), c.geometry);
        if (c.text) {
            EXPECT_EQ(label->text(), QString::fromUtf8(c.text));
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
        }
    }
    EXPECT_EQ(form.Image1->size(), QSize(47, 61));
    EXPECT_EQ(form.Image1->pixmap().size(), QSize(47, 61));
    EXPECT_EQ(form.Label5->font().pixelSize(), 16);
    EXPECT_EQ(form.Panel1->geometry(), QRect(10, 98, 308, 2));
    EXPECT_EQ(form.EnterButt->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(form.EnterButt->geometry(), QRect(126, 107, 80, 25));
    EXPECT_EQ(form.EnterButt->font().pixelSize(), 12);
    EXPECT_TRUE(form.EnterButt->isDefault());
}

TEST_F(AboutFormTest, TextStyles)
{
    const QColor blue(0, 0, 255);
    const QColor black(0, 0, 0);
    const struct {
        QLabel* label;
        bool bold;
        bool underline;
        QColor colour;
        bool hand;
    } styles[] = {
        {form.Label5, true, true, blue, true},   {form.Label6, true, true, blue, true},
        {form.Label8, true, true, blue, true},   {form.Label2, true, false, black, false},
        {form.VerLab, true, false, blue, false},
    };
    for (const auto& s : styles) {
        SCOPED_TRACE(s.label->objectName().toStdString());
        EXPECT_EQ(s.label->font().bold(), s.bold);
        EXPECT_EQ(s.label->font().underline(), s.underline);
        EXPECT_EQ(s.label->palette().color(QPalette::WindowText), s.colour);
        EXPECT_EQ(s.label->cursor().shape() == Qt::PointingHandCursor, s.hand);
    }
    EXPECT_EQ(form.Image1->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(AboutFormTest, NameIsDrawnInGreekLettersInBlue)
{
    QUORVANE_LINUX_ONLY("under Wine the Greek name draws like the Latin one (no Greek glyphs in the font Wine picks)");
    // A screen reader reads the Latin word; the screen shows the letters the Symbol font shows for it.
    EXPECT_EQ(form.Label5->text(), QStringLiteral("Mirrak"));
    EXPECT_EQ(form.Label5->accessibleName(), QStringLiteral("Mirrak"));
    const QImage image = form.Label5->grab().toImage();
    // References drawn the plain way, in the same place and look.
    QLabel greek(QString(QChar(0x039C)) + QChar(0x03B9) + QChar(0x03C1) + QChar(0x03C1) + QChar(0x03B1) + QChar(0x03BA),
                 &form);
    greek.setFont(form.Label5->font());
    greek.setPalette(form.Label5->palette());
    greek.setAlignment(form.Label5->alignment());
    greek.setGeometry(form.Label5->geometry());
    QLabel latin(QStringLiteral("Mirrak"), &form);
    latin.setFont(form.Label5->font());
    latin.setPalette(form.Label5->palette());
    latin.setAlignment(form.Label5->alignment());
    latin.setGeometry(form.Label5->geometry());
    EXPECT_EQ(image, greek.grab().toImage());
    EXPECT_NE(image, latin.grab().toImage());
    // Letters, not only the underline: the underline lies below the middle of the label.
    int bluePixels = 0;
    for (int y = 0; y < image.height() / 2; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            bluePixels += c.blue() > 200 && c.red() < 80 && c.green() < 80;
        }
    }
    EXPECT_GT(bluePixels, 10);
}

TEST_F(AboutFormTest, HintsShowTheAddresses)
{
    for (QLabel* label : {form.Label5, form.Label6, form.Image1})
        EXPECT_EQ(label->toolTip(), kWeb) << label->objectName().toStdString();
    EXPECT_EQ(QUrl(kWeb).path(), QStringLiteral("/Mirrak"));
    EXPECT_EQ(form.Label8->toolTip(), kMail);
    EXPECT_TRUE(form.Label2->toolTip().isEmpty());
}

TEST_F(AboutFormTest, ClicksOpenTheWebPageOrTheMailProgram)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const struct {
        const char* name;
        std::vector<QString> expected;
    } clicks[] = {
        {"Image1", {kWeb}}, {"Label5", {kWeb}}, {"Label6", {kWeb}}, {"Label8", {kMail}}, {"Label2", {}}, {"VerLab", {}},
    };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.name);
        opened.clear();
        QTest::mouseClick(Label(c.name), Qt::LeftButton);
        EXPECT_EQ(opened, c.expected);
        // A right click is no click.
        opened.clear();
        QTest::mouseClick(Label(c.name), Qt::RightButton);
        EXPECT_TRUE(opened.empty());
    }
    EXPECT_TRUE(form.isVisible());
}

TEST_F(AboutFormTest, EnterEscAndTheButtonClose)
{
    const struct {
        const char* how;
        std::function<void()> close;
    } ways[] = {
        {"Enter", [this] { QTest::keyClick(&form, Qt::Key_Return); }},
        {"Esc", [this] { QTest::keyClick(&form, Qt::Key_Escape); }},
        {"button", [this] { QTest::mouseClick(form.EnterButt, Qt::LeftButton); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        bool visibleBefore = false;
        RunModal([&] {
            visibleBefore = form.isVisible();
            way.close();
        });
        EXPECT_TRUE(visibleBefore);
        EXPECT_FALSE(form.isVisible());
    }
    EXPECT_TRUE(opened.empty());
}

} // namespace
