#include "settings/qt/Placement.h"

#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "support/gui/LinuxOnly.h"

#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using Values = std::map<std::string, std::string>;
using Widths = std::array<int, 8>;

constexpr Widths kDesignWidths = {124, 108, 56, 76, 204, 83, 57, 62};
const QPoint kDesignPos(123, 168);
const QSize kDesignSize(795, 528);

// A store format whose writes always fail, for the boxes shown when a default cannot be written.
bool ReadPlain(QIODevice& device, QSettings::SettingsMap& map)
{
    for (const QByteArray& line : device.readAll().split('\n')) {
        if (const qsizetype eq = line.indexOf('='); eq > 0)
            map.insert(QString::fromLatin1(line.left(eq)), QString::fromLatin1(line.mid(eq + 1)));
    }
    return true;
}

bool FailWrite(QIODevice&, const QSettings::SettingsMap&)
{
    return false;
}

QSettings::Format FailingFormat()
{
    static const QSettings::Format format = QSettings::registerFormat(QStringLiteral("failing"), ReadPlain, FailWrite);
    return format;
}

// All twelve values as SavePlacement would write them.
Values All(const char* x, const char* y, const char* w, const char* h, const std::array<const char*, 8>& cols)
{
    Values v{{"WinX", x}, {"WinY", y}, {"WinWidth", w}, {"WinHeight", h}};
    for (int i = 0; i < 8; ++i)
        v["GridWid" + std::to_string(i)] = cols[size_t(i)];
    return v;
}

const std::array<const char*, 8> kStoredCols = {"  30", "  31", "  32", "  33", "  34", "  35", "  36", "  37"};
constexpr Widths kStoredWidths = {30, 31, 32, 33, 34, 35, 36, 37};

Values With(Values v, const std::string& name, const char* text)
{
    if (text)
        v[name] = text;
    else
        v.erase(name);
    return v;
}

class PlacementTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder boxes;
    QString storePath = QString::fromStdString(dir.path()) + QStringLiteral("/placement.ini");
    QWidget window;
    QTableWidget* grid = new QTableWidget(5, 8, &window);

    void SetUp() override
    {
        UseStore(storePath, QSettings::IniFormat);
        window.move(kDesignPos);
        window.resize(kDesignSize);
        for (int i = 0; i < 8; ++i)
            grid->setColumnWidth(i, kDesignWidths[size_t(i)]);
    }

    void TearDown() override { SetPlacementStore(nullptr); }

    static void UseStore(const QString& path, QSettings::Format format)
    {
        SetPlacementStore([path, format] { return std::make_unique<QSettings>(path, format); });
    }

    void Store(const Values& values)
    {
        QSettings s(storePath, QSettings::IniFormat);
        for (const auto& [name, text] : values)
            s.setValue(QString::fromStdString(name), QString::fromStdString(text));
    }

    Values Stored() const
    {
        QSettings s(storePath, QSettings::IniFormat);
        Values v;
        for (const QString& key : s.allKeys())
            v[key.toStdString()] = s.value(key).toString().toStdString();
        return v;
    }

    Widths Columns() const
    {
        Widths w{};
        for (int i = 0; i < 8; ++i)
            w[size_t(i)] = grid->columnWidth(i);
        return w;
    }
};

struct RestoreCase {
    const char* name;
    Values stored;
    int result;
    QPoint pos;
    QSize size;
    Widths cols;
    Values after;
};

const Values kAllStored = All("  40", "  50", " 600", " 400", kStoredCols);
const Values kDefaultsAfterWinXWinY = All("  10", "  -1", "-1", "-1", {"-1", "-1", "-1", "-1", "-1", "-1", "-1", "-1"});
const std::string k79 = "300" + std::string(76, 'x');
const std::string k80 = "300" + std::string(77, 'x');

const RestoreCase kRestoreCases[] = {
    {"FirstRunCreatesOnlyWinX", {}, 0, kDesignPos, kDesignSize, kDesignWidths, {{"WinX", "-10"}}},
    {"AllStoredAreApplied", kAllStored, 1, {40, 50}, {600, 400}, kStoredWidths, kAllStored},
    {"WinXMinus4IsApplied",
     With(kAllStored, "WinX", "  -4"),
     1,
     {-4, 50},
     {600, 400},
     kStoredWidths,
     With(kAllStored, "WinX", "  -4")},
    {"WinXMinus5EndsBeforeAnythingIsCreated",
     {{"WinX", "  -5"}},
     0,
     kDesignPos,
     kDesignSize,
     kDesignWidths,
     {{"WinX", "  -5"}}},
    {"WinXMinus5LeavesStoredValuesUnapplied", With(kAllStored, "WinX", "  -5"), 0, kDesignPos, kDesignSize,
     kDesignWidths, With(kAllStored, "WinX", "  -5")},
    {"WinYMinus1IsApplied",
     {{"WinX", "  10"}, {"WinY", "  -1"}},
     1,
     {10, -1},
     kDesignSize,
     kDesignWidths,
     kDefaultsAfterWinXWinY},
    {"WinYFarNegativeIsApplied",
     With(kAllStored, "WinY", "-300"),
     1,
     {40, -300},
     {600, 400},
     kStoredWidths,
     With(kAllStored, "WinY", "-300")},
    {"WidthZeroIsAppliedHeightMinus1IsNot",
     With(With(kAllStored, "WinWidth", "   0"), "WinHeight", "  -1"),
     1,
     {40, 50},
     {0, 528},
     kStoredWidths,
     With(With(kAllStored, "WinWidth", "   0"), "WinHeight", "  -1")},
    {"GridWid3Minus1KeepsColumn3",
     With(kAllStored, "GridWid3", "  -1"),
     1,
     {40, 50},
     {600, 400},
     {30, 31, 32, 76, 34, 35, 36, 37},
     With(kAllStored, "GridWid3", "  -1")},
    {"TrailingLettersAreIgnored",
     With(kAllStored, "WinWidth", "200px"),
     1,
     {40, 50},
     {200, 400},
     kStoredWidths,
     With(kAllStored, "WinWidth", "200px")},
    {"NoDigitsGiveZero",
     With(kAllStored, "WinHeight", "abc"),
     1,
     {40, 50},
     {600, 0},
     kStoredWidths,
     With(kAllStored, "WinHeight", "abc")},
    {"BlanksAndSignBeforeDigits",
     With(kAllStored, "GridWid0", "   +62"),
     1,
     {40, 50},
     {600, 400},
     {62, 31, 32, 33, 34, 35, 36, 37},
     With(kAllStored, "GridWid0", "   +62")},
    {"SeventyNineBytesAreRead",
     With(kAllStored, "WinWidth", k79.c_str()),
     1,
     {40, 50},
     {300, 400},
     kStoredWidths,
     With(kAllStored, "WinWidth", k79.c_str())},
    {"EightyBytesAreReplacedByTheDefault",
     With(kAllStored, "WinWidth", k80.c_str()),
     1,
     {40, 50},
     {795, 400},
     kStoredWidths,
     With(kAllStored, "WinWidth", "-1")},
    {"LongWinXIsReplacedAndEndsTheRestore", With(kAllStored, "WinX", k80.c_str()), 0, kDesignPos, kDesignSize,
     kDesignWidths, With(kAllStored, "WinX", "-10")},
    {"DeletedWinHeightComesBack",
     With(kAllStored, "WinHeight", nullptr),
     1,
     {40, 50},
     {600, 528},
     kStoredWidths,
     With(kAllStored, "WinHeight", "-1")},
};

class RestoreRules : public PlacementTest, public ::testing::WithParamInterface<RestoreCase> {};

TEST_P(RestoreRules, AppliesAndCreatesAsStored)
{
    const RestoreCase& c = GetParam();
    Store(c.stored);
    EXPECT_EQ(RestorePlacement(window, *grid), c.result);
    EXPECT_EQ(window.pos(), c.pos);
    EXPECT_EQ(window.size(), c.size);
    EXPECT_EQ(Columns(), c.cols);
    EXPECT_EQ(Stored(), c.after);
    EXPECT_TRUE(boxes.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Placement, RestoreRules, ::testing::ValuesIn(kRestoreCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(PlacementTest, SaveWritesTheTwelveValuesFormattedFourWide)
{
    window.move(-4, 7);
    window.resize(1024, 62);
    grid->setColumnWidth(7, 1024);
    grid->setColumnWidth(2, 35);
    EXPECT_EQ(SavePlacement(window, *grid), 1);
    EXPECT_EQ(Stored(),
              All("  -4", "   7", "1024", "  62", {" 124", " 108", "  35", "  76", " 204", "  83", "  57", "1024"}));
    EXPECT_TRUE(boxes.messages().empty());
}

TEST_F(PlacementTest, SavedPlacementComesBack)
{
    window.move(31, 42);
    window.resize(640, 480);
    for (int i = 0; i < 8; ++i)
        grid->setColumnWidth(i, 30 + 3 * i);
    ASSERT_EQ(SavePlacement(window, *grid), 1);

    QWidget other;
    other.move(kDesignPos);
    other.resize(kDesignSize);
    QTableWidget otherGrid(5, 8);
    ASSERT_EQ(RestorePlacement(other, otherGrid), 1);
    EXPECT_EQ(other.pos(), QPoint(31, 42));
    EXPECT_EQ(other.size(), QSize(640, 480));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(otherGrid.columnWidth(i), 30 + 3 * i);
}

TEST_F(PlacementTest, ValueHoldingAListIsReadAsItsFirstText)
{
    Store(With(kAllStored, "WinWidth", nullptr));
    // Written by hand, a comma makes the value a list.
    WriteFile(storePath.toStdString(), ReadFile(storePath.toStdString()) + "\nWinWidth=250px, 300\n");
    ASSERT_EQ(RestorePlacement(window, *grid), 1);
    EXPECT_EQ(window.width(), 250);
}

TEST_F(PlacementTest, StoreThatCannotBeOpenedShowsOneBoxAndChangesNothing)
{
    // A folder that cannot be created, whatever the user's rights: its parent is a file.
    WriteFile(dir.path() + "/blocker", "x");
    UseStore(QString::fromStdString(dir.path()) + QStringLiteral("/blocker/placement.ini"), QSettings::IniFormat);
    window.move(5, 6);

    EXPECT_EQ(RestorePlacement(window, *grid), 0);
    EXPECT_EQ(SavePlacement(window, *grid), 0);
    EXPECT_EQ(window.pos(), QPoint(5, 6));
    EXPECT_EQ(window.size(), kDesignSize);
    EXPECT_EQ(Columns(), kDesignWidths);
    EXPECT_EQ(ReadFile(dir.path() + "/blocker"), "x");
    const auto messages = boxes.messages();
    ASSERT_EQ(messages.size(), 2u);
    for (const TagMessage& m : messages) {
        EXPECT_EQ(m.text, "Error creating/opening the key");
        EXPECT_EQ(m.caption, "");
        EXPECT_EQ(m.icon, MsgIcon::None);
    }
}

// Store files that QSettings cannot parse. Each is repaired as a store whose values are all missing.
struct DamagedStore {
    const char* name;
    std::string bytes;
};

const DamagedStore kDamagedStores[] = {
    {"HeaderWithoutItsBracket", "[General\nWinX=  40\nWinY=  50\n"},
    {"BinaryJunk", std::string("\xDE\xAD\xBE\xEF\0\x13\x37\x42\xFF\xFF\xFF\xFF", 12)},
    {"CutOffInASectionHeader", "[General]\nWinX=  40\nWinY=  50\n[Gen"},
    {"LineWithoutEquals", "[General]\nWinX=  40\nWinY\n"},
};

class DamagedStoreTest : public PlacementTest, public ::testing::WithParamInterface<DamagedStore> {
protected:
    void SetUp() override
    {
        PlacementTest::SetUp();
        ASSERT_EQ(FreshStatus(GetParam().bytes), QSettings::FormatError);
        WriteFile(storePath.toStdString(), GetParam().bytes);
    }

    // How a later run of the program finds the file. QSettings reports a parse error only when it
    // reads a file for the first time in the process, so the bytes are looked at under a new name:
    // a look at the store itself would also hide its damage from the code under test.
    QSettings::Status FreshStatus(const std::string& bytes)
    {
        const std::string probe = dir.path() + "/probe-" + std::to_string(++probes_) + ".ini";
        WriteFile(probe, bytes);
        QSettings settings(QString::fromStdString(probe), QSettings::IniFormat);
        settings.allKeys(); // some damage is found only once the values are read
        return settings.status();
    }
    bool Parses() { return FreshStatus(ReadFile(storePath.toStdString())) == QSettings::NoError; }

    // Places the window and the grid as kAllStored has them and saves: a clean store results.
    void SaveTheStoredPlacement()
    {
        window.move(40, 50);
        window.resize(600, 400);
        for (int i = 0; i < 8; ++i)
            grid->setColumnWidth(i, kStoredWidths[size_t(i)]);
        EXPECT_EQ(SavePlacement(window, *grid), 1);
        EXPECT_EQ(Stored(), kAllStored);
        EXPECT_TRUE(Parses());
    }

private:
    int probes_ = 0;
};

TEST_P(DamagedStoreTest, RestoreTakesEveryValueAsMissingAndTheCloseWritesACleanStore)
{
    EXPECT_EQ(RestorePlacement(window, *grid), 0); // the default of WinX ends it, as on a first run
    EXPECT_EQ(window.pos(), kDesignPos);
    EXPECT_EQ(window.size(), kDesignSize);
    EXPECT_EQ(Columns(), kDesignWidths);
    EXPECT_EQ(Stored(), (Values{{"WinX", "-10"}}));
    EXPECT_TRUE(Parses());

    SaveTheStoredPlacement();

    QWidget next;
    auto* nextGrid = new QTableWidget(5, 8, &next);
    EXPECT_EQ(RestorePlacement(next, *nextGrid), 1);
    EXPECT_EQ(next.pos(), QPoint(40, 50));
    EXPECT_EQ(nextGrid->columnWidth(7), 37);
    EXPECT_TRUE(boxes.messages().empty());
}

TEST_P(DamagedStoreTest, CloseAloneWritesACleanStore)
{
    SaveTheStoredPlacement();
    EXPECT_TRUE(boxes.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Placement, DamagedStoreTest, ::testing::ValuesIn(kDamagedStores),
                         [](const auto& param) { return std::string(param.param.name); });

// A store that truly cannot be written keeps the box: here a folder nobody may write to, with a
// damaged store in it, and one without any. Root writes there regardless, so the test runs as nobody.
TEST_F(PlacementTest, ReadOnlyFolderKeepsTheBoxAndItsStoreUntouched)
{
    QUORVANE_LINUX_ONLY("a read-only folder does not stop writes to the files in it on Windows");
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(dir.path()) / "read-only";
    const std::string damaged = "[General\nWinX=  40\n";
    for (bool withStore : {true, false}) {
        SCOPED_TRACE(withStore ? "damaged store" : "no store");
        const fs::path store = folder / "placement.ini";
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all);
        fs::remove(store);
        if (withStore) {
            WriteFile(store.string(), damaged);
            fs::permissions(store, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        }
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        UseStore(QString::fromStdString(store.string()), QSettings::IniFormat);
        const size_t boxesBefore = boxes.messages().size();
        {
            Unprivileged nobody;
            if (!nobody.active())
                GTEST_SKIP() << nobody.why();
            EXPECT_EQ(RestorePlacement(window, *grid), 0);
            EXPECT_EQ(SavePlacement(window, *grid), 0);
        }
        EXPECT_EQ(window.pos(), kDesignPos);
        EXPECT_EQ(Columns(), kDesignWidths);
        const auto messages = boxes.messages();
        ASSERT_EQ(messages.size(), boxesBefore + 2);
        EXPECT_EQ(messages.back().text, "Error creating/opening the key");
        if (withStore)
            EXPECT_EQ(ReadFile(store.string()), damaged);
        else
            EXPECT_FALSE(fs::exists(store));
        fs::permissions(folder, fs::perms::owner_all);
    }
}

TEST_F(PlacementTest, ToolsOpenTheSameStoreAndNoBoxWhenItCannotBeOpened)
{
    {
        std::unique_ptr<QSettings> store = OpenPlacementStore();
        ASSERT_TRUE(store);
        store->setValue(QStringLiteral("Overview/Column"), 4);
    }
    // The tools' group and the placement live side by side without touching each other.
    ASSERT_EQ(SavePlacement(window, *grid), 1);
    ASSERT_EQ(RestorePlacement(window, *grid), 1);
    Values values = Stored();
    EXPECT_EQ(values["Overview/Column"], "4");
    values.erase("Overview/Column");
    EXPECT_EQ(values.size(), 12u);

    WriteFile(dir.path() + "/blocker", "x");
    UseStore(QString::fromStdString(dir.path()) + QStringLiteral("/blocker/placement.ini"), QSettings::IniFormat);
    EXPECT_FALSE(OpenPlacementStore());
    EXPECT_TRUE(boxes.messages().empty());
}

TEST_F(PlacementTest, UnwritableDefaultForWinXEndsTheRestoreAfterOneBox)
{
    WriteFile(storePath.toStdString(), "");
    UseStore(storePath, FailingFormat());
    EXPECT_EQ(RestorePlacement(window, *grid), 0);
    EXPECT_EQ(window.pos(), kDesignPos);
    const auto messages = boxes.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error RegSetValueEx");
    EXPECT_EQ(messages[0].caption, "");
    EXPECT_EQ(messages[0].icon, MsgIcon::None);
}

TEST_F(PlacementTest, UnwritableDefaultsAreSkippedAndStoredValuesStillApplied)
{
    WriteFile(storePath.toStdString(), "WinX=  10\nWinWidth= 300\nGridWid5=  99\n");
    UseStore(storePath, FailingFormat());
    EXPECT_EQ(RestorePlacement(window, *grid), 1);
    // WinY could not be created: the top edge keeps its designed place rather than taking -1.
    EXPECT_EQ(window.pos(), QPoint(10, kDesignPos.y()));
    EXPECT_EQ(window.size(), QSize(300, kDesignSize.height()));
    EXPECT_EQ(Columns(), (Widths{124, 108, 56, 76, 204, 99, 57, 62}));
    // One box for each value that had to be created: WinY, WinHeight and seven columns.
    EXPECT_EQ(boxes.messages().size(), 9u);
}

TEST_F(PlacementTest, ReadOrCreateValueLeavesTheNumberAloneWhenTheDefaultCannotBeWritten)
{
    WriteFile(storePath.toStdString(), "Present=  77\n");
    QSettings store(storePath, FailingFormat());
    int value = 1234;
    EXPECT_EQ(ReadOrCreateValue(store, "Missing", "-1", value), -1);
    EXPECT_EQ(value, 1234);
    EXPECT_EQ(ReadOrCreateValue(store, "Present", "-1", value), 0);
    EXPECT_EQ(value, 77);
    ASSERT_EQ(boxes.messages().size(), 1u);
}

TEST_F(PlacementTest, ReadOrCreateValueWritesTheDefaultTextAsGiven)
{
    QSettings store(storePath, QSettings::IniFormat);
    int value = 0;
    EXPECT_EQ(ReadOrCreateValue(store, "Fresh", "  -7x", value), 0);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(Stored(), (Values{{"Fresh", "  -7x"}}));
}

TEST_F(PlacementTest, OuterSizeIsKeptWhenTheWindowGetsItsFrame)
{
    Store(All("  50", "  60", " 600", " 400", kStoredCols));
    ASSERT_EQ(RestorePlacement(window, *grid), 1);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(0);
    ASSERT_NE(window.frameGeometry().size(), window.size()) << "the platform draws no frame";
    EXPECT_EQ(window.frameGeometry(), QRect(50, 60, 600, 400));

    // Saved and restored again, the window does not grow by its frame.
    ASSERT_EQ(SavePlacement(window, *grid), 1);
    EXPECT_EQ(Stored().at("WinWidth"), " 600");
    EXPECT_EQ(Stored().at("WinHeight"), " 400");

    Store(With(With(Stored(), "WinWidth", " 500"), "WinHeight", " 300"));
    ASSERT_EQ(RestorePlacement(window, *grid), 1);
    EXPECT_EQ(window.frameGeometry().size(), QSize(500, 300));
}

#ifdef _WIN32
// The registry as the Windows API hands it over, not as QSettings reads it back: each value's type
// and its bytes. Missing values are left out.
std::map<std::string, std::pair<DWORD, std::string>> RegistryValues(const std::vector<std::string>& names)
{
    std::map<std::string, std::pair<DWORD, std::string>> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Halverdon\\Quorvane", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (const std::string& name : names) {
        DWORD type = 0;
        std::array<char, 80> data{};
        DWORD size = DWORD(data.size());
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS)
            values[name] = {type, std::string(data.data(), size)};
    }
    RegCloseKey(key);
    return values;
}

void DeleteRegistryKey()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Halverdon\\Quorvane");
}

TEST_F(PlacementTest, NativeStoreOnWindowsIsTheRegistryWithFourWideTexts)
{
    DeleteRegistryKey();
    SetPlacementStore(nullptr);
    window.move(-4, 7);
    window.resize(1024, 62);
    grid->setColumnWidth(2, 35);
    ASSERT_EQ(SavePlacement(window, *grid), 1);

    std::vector<std::string> names = {"WinX", "WinY", "WinWidth", "WinHeight"};
    for (int i = 0; i < 8; ++i)
        names.push_back("GridWid" + std::to_string(i));
    const auto values = RegistryValues(names);
    const QRect outer = window.frameGeometry();
    const std::map<std::string, std::string> expected = {
        {"WinX", "  -4"},
        {"WinY", "   7"},
        {"WinWidth", QString::asprintf("%4d", outer.width()).toStdString()},
        {"WinHeight", QString::asprintf("%4d", outer.height()).toStdString()},
        {"GridWid0", " 124"},
        {"GridWid1", " 108"},
        {"GridWid2", "  35"},
        {"GridWid3", "  76"},
        {"GridWid4", " 204"},
        {"GridWid5", "  83"},
        {"GridWid6", "  57"},
        {"GridWid7", "  62"}};
    ASSERT_EQ(values.size(), expected.size());
    for (const auto& [name, text] : expected) {
        SCOPED_TRACE(name);
        EXPECT_EQ(values.at(name).first, DWORD(REG_SZ));
        // REG_SZ data holds its terminating NUL.
        EXPECT_EQ(values.at(name).second, text + std::string(1, '\0'));
    }

    // And what the registry holds comes back.
    QWidget other;
    QTableWidget otherGrid(5, 8);
    ASSERT_EQ(RestorePlacement(other, otherGrid), 1);
    EXPECT_EQ(otherGrid.columnWidth(2), 35);
    EXPECT_EQ(other.frameGeometry().size(), outer.size());
    DeleteRegistryKey();
}
#else
TEST_F(PlacementTest, NativeStoreIsHalverdonQuorvane)
{
    const QString root = QString::fromStdString(dir.path()) + QStringLiteral("/native");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root);
    SetPlacementStore(nullptr);
    EXPECT_EQ(RestorePlacement(window, *grid), 0);
    QSettings written(root + QStringLiteral("/Halverdon/Quorvane.conf"), QSettings::IniFormat);
    EXPECT_EQ(written.allKeys(), QStringList{QStringLiteral("WinX")});
    EXPECT_EQ(written.value(QStringLiteral("WinX")).toString(), QStringLiteral("-10"));
}
#endif

} // namespace
