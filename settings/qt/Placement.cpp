#include "settings/qt/Placement.h"

#include "common/MonitorView.h"
#include "platform/qt/Gbk.h"
#include "settings/Config.h"

#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QTableView>
#include <QWidget>
#include <algorithm>
#include <optional>
#include <string>

namespace {

PlacementStore storeFactory;

// The values are read as the platform's registry would hand them over: into an 80-byte buffer that
// also holds the terminating NUL.
constexpr size_t kValueBufSize = 80;
constexpr int kStoredColumns = 8;

std::unique_ptr<QSettings> NativeStore()
{
    // Named here rather than taken from the application object, whose names serve other purposes.
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halverdon"),
                                       QStringLiteral("Quorvane"));
}

void ShowSettingsError(const char* text)
{
    ShowMessage({text, std::string(), MsgIcon::None});
}

std::unique_ptr<QSettings> MakeStore()
{
    return storeFactory ? storeFactory() : NativeStore();
}

// Opens the store with full access, creating it when it does not exist yet.
std::unique_ptr<QSettings> OpenStore()
{
    std::unique_ptr<QSettings> store = OpenPlacementStore();
    if (!store)
        ShowSettingsError("Error creating/opening the key");
    return store;
}

// The value's data as text, whatever type the store reports; nothing when it is missing or would
// not fit the buffer.
std::optional<std::string> QueryText(QSettings& store, const QString& name)
{
    const QVariant v = store.value(name);
    if (!v.isValid())
        return std::nullopt;
    std::string data;
    switch (v.metaType().id()) {
    case QMetaType::QByteArray: {
        const QByteArray bytes = v.toByteArray();
        data.assign(bytes.constData(), size_t(bytes.size()));
        break;
    }
    case QMetaType::QStringList: {
        // A text with commas comes back as a list; the registry would give its first string.
        const QStringList parts = v.toStringList();
        for (const QString& part : parts)
            data += ToGbk(part) + '\0';
        break;
    }
    default:
        if (!v.canConvert<QString>())
            return std::nullopt;
        data = ToGbk(v.toString());
        break;
    }
    if (data.size() + 1 > kValueBufSize)
        return std::nullopt;
    if (size_t nul = data.find('\0'); nul != std::string::npos)
        data.resize(nul);
    return data;
}

void WriteNumber(QSettings& store, const QString& name, int number)
{
    store.setValue(name, QString::asprintf("%4d", number));
}

QString ColumnValueName(int column)
{
    return QString::asprintf("GridWid%d", column);
}

// The stored size is the window's outer size, but a window that has not been shown yet has no frame
// to measure. Its size is then set as if there were none, and corrected once the first measure of
// the frame is known; otherwise the window would grow by its frame at every start.
class FrameFit : public QObject {
public:
    explicit FrameFit(QWidget& window) : QObject(&window), window_(window)
    {
        setObjectName(QStringLiteral("PlacementFrameFit"));
        window.installEventFilter(this);
    }

    static FrameFit* Of(QWidget& window)
    {
        return window.findChild<FrameFit*>(QStringLiteral("PlacementFrameFit"), Qt::FindDirectChildrenOnly);
    }

    // A side not given keeps the size already waiting for it.
    void Want(std::optional<int> width, std::optional<int> height)
    {
        if (width)
            width_ = width;
        if (height)
            height_ = height;
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &window_)
            return false;
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
            if (window_.isVisible() && window_.frameGeometry().size() != window_.size())
                Finish(true);
            break;
        case QEvent::Hide:
        case QEvent::Close:
            Finish(false);
            break;
        default:
            break;
        }
        return false;
    }

    void Finish(bool apply)
    {
        window_.removeEventFilter(this);
        setObjectName(QString()); // no longer found as the fit that waits
        if (apply)
            ResizeOuter(window_, width_, height_);
        deleteLater();
    }

    static void ResizeOuter(QWidget& window, std::optional<int> width, std::optional<int> height)
    {
        const QSize frame = window.frameGeometry().size() - window.size();
        window.resize(width ? std::max(0, *width - frame.width()) : window.width(),
                      height ? std::max(0, *height - frame.height()) : window.height());
    }

private:
    QWidget& window_;
    std::optional<int> width_;
    std::optional<int> height_;
};

} // namespace

void SetOuterSize(QWidget& window, std::optional<int> width, std::optional<int> height)
{
    if (!width && !height)
        return;
    FrameFit* fit = FrameFit::Of(window);
    if (!fit && !window.isVisible())
        fit = new FrameFit(window);
    if (fit)
        fit->Want(width, height);
    FrameFit::ResizeOuter(window, width, height);
}

void SetPlacementStore(PlacementStore store)
{
    storeFactory = std::move(store);
}

std::unique_ptr<QSettings> OpenPlacementStore()
{
    std::unique_ptr<QSettings> store = MakeStore();
    // QSettings finds a missing ']' when it opens the file, but other damage (lines without '=')
    // only when it reads the values; reading the keys here makes it look at everything.
    if (store)
        store->allKeys();
    // A store file that cannot be parsed (a section header without its ']', junk, a file cut off)
    // would be reported at every start and every close and never written again. It is emptied
    // instead: every value in it then counts as missing, the restore writes the defaults back as
    // for any missing value, and the next close writes a clean store. A file that cannot be
    // written stays as it is and is reported by the caller. The fresh object is needed because QSettings
    // goes on reporting the first error it met.
    if (store && store->status() == QSettings::FormatError && store->isWritable()) {
        const QString path = store->fileName();
        store.reset();
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.close();
        store = MakeStore();
    }
    // isWritable() also creates the folders of a file-based store.
    if (!store || store->status() != QSettings::NoError || !store->isWritable())
        return nullptr;
    return store;
}

int ReadOrCreateValue(QSettings& store, const char* name, const char* defaultText, int& value)
{
    const QString key = QLatin1String(name);
    if (std::optional<std::string> text = QueryText(store, key)) {
        value = LeadingInt(text->c_str());
        return 0;
    }
    store.setValue(key, QLatin1String(defaultText));
    store.sync();
    if (store.status() != QSettings::NoError) {
        ShowSettingsError("Error RegSetValueEx");
        return -1;
    }
    value = LeadingInt(defaultText);
    return 0;
}

int SavePlacement(QWidget& window, QTableView& grid)
{
    std::unique_ptr<QSettings> store = OpenStore();
    if (!store)
        return 0;
    const QRect outer = window.frameGeometry();
    WriteNumber(*store, QStringLiteral("WinX"), outer.x());
    WriteNumber(*store, QStringLiteral("WinY"), outer.y());
    WriteNumber(*store, QStringLiteral("WinWidth"), outer.width());
    WriteNumber(*store, QStringLiteral("WinHeight"), outer.height());
    for (int i = 0; i < kStoredColumns; ++i)
        WriteNumber(*store, ColumnValueName(i), grid.columnWidth(i));
    store->sync();
    return 1;
}

int RestorePlacement(QWidget& window, QTableView& grid)
{
    std::unique_ptr<QSettings> store = OpenStore();
    if (!store)
        return 0;
    // A value whose default could not be written yields no number and is skipped. The default of
    // WinX would have ended the restore, so that failure ends it too.
    int number = -1;
    if (ReadOrCreateValue(*store, "WinX", "-10", number) != 0 || number < -4)
        return 0;
    window.move(number, window.pos().y());
    if (ReadOrCreateValue(*store, "WinY", "-1", number) == 0)
        window.move(window.pos().x(), number);

    std::optional<int> width;
    std::optional<int> height;
    if (ReadOrCreateValue(*store, "WinWidth", "-1", number) == 0 && number >= 0)
        width = number;
    if (ReadOrCreateValue(*store, "WinHeight", "-1", number) == 0 && number >= 0)
        height = number;
    SetOuterSize(window, width, height);

    for (int i = 0; i < kStoredColumns; ++i) {
        const QByteArray name = ColumnValueName(i).toLatin1();
        if (ReadOrCreateValue(*store, name.constData(), "-1", number) == 0 && number >= 0)
            grid.setColumnWidth(i, number);
    }
    return 1;
}
