#include "app/HistoryControl.h"

#include "app/OverviewForm.h"
#include "settings/EventLog.h"
#include "settings/qt/Placement.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>

namespace {

constexpr char kEnabledKey[] = "History/Enabled";
constexpr char kPathKey[] = "History/Path";
constexpr char kKeepDaysKey[] = "History/KeepDays";
constexpr char kKeepMegabytesKey[] = "History/KeepMB";

} // namespace

QString HistoryFilePath()
{
    if (std::unique_ptr<QSettings> store = OpenPlacementStore()) {
        QString stored = store->value(QLatin1String(kPathKey)).toString();
        if (!stored.isEmpty())
            return stored;
    }
    // Named as the per-user store is (Halverdon/Quorvane), not after the application object's title:
    // ~/.local/share/Halverdon/Quorvane, %LOCALAPPDATA%\Halverdon\Quorvane.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Halverdon/Quorvane/history.sqlite3");
}

bool HistoryEnabled()
{
    if (std::unique_ptr<QSettings> store = OpenPlacementStore())
        return store->value(QLatin1String(kEnabledKey), false).toBool();
    return false;
}

THistoryControl::THistoryControl(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("HistoryControl"));
    KeepAction = new QAction(QStringLiteral("&Keep line history"), this);
    KeepAction->setObjectName(QStringLiteral("KeepHistory1"));
    KeepAction->setCheckable(true);
    LineHistoryAction = new QAction(QStringLiteral("Line &history..."), this);
    LineHistoryAction->setObjectName(QStringLiteral("LineHistory1"));
    LineHistoryAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(KeepAction, &QAction::toggled, this, &THistoryControl::SetEnabled);
}

void THistoryControl::StartIfEnabled()
{
    if (HistoryEnabled())
        SetEnabled(true);
}

THistoryControl::~THistoryControl()
{
    journal_.reset();
}

void THistoryControl::SetEnabled(bool on)
{
    {
        const QSignalBlocker quiet(KeepAction);
        KeepAction->setChecked(on);
    }
    if (on == Enabled())
        return;
    if (std::unique_ptr<QSettings> store = OpenPlacementStore()) {
        if (store->value(QLatin1String(kEnabledKey), false).toBool() != on)
            store->setValue(QLatin1String(kEnabledKey), on);
    }
    if (on)
        Start();
    else
        Stop();
}

void THistoryControl::Start()
{
    path_ = HistoryFilePath();
    stoppedText_.clear();
    QDir().mkpath(QFileInfo(path_).absolutePath());
    HistoryOptions options;
    options.path = path_.toUtf8().toStdString();
    if (std::unique_ptr<QSettings> store = OpenPlacementStore()) {
        const QByteArray days = store->value(QLatin1String(kKeepDaysKey)).toString().toUtf8();
        const QByteArray megabytes = store->value(QLatin1String(kKeepMegabytesKey)).toString().toUtf8();
        if (!ApplyHistoryRetention(options, std::string_view(days.constData(), size_t(days.size())),
                                   std::string_view(megabytes.constData(), size_t(megabytes.size()))))
            WriteLog(Format("Line history keeps %lld days and %lld MB: %s or %s in the per-user store is not a "
                            "whole number in range",
                            static_cast<long long>(options.keepFor.count() / 86400000),
                            static_cast<long long>(options.keepBytes >> 20), kKeepDaysKey, kKeepMegabytesKey));
    }
    if (AdjustOptions)
        AdjustOptions(options);
    journal_ = std::make_unique<HistoryJournal>(std::move(options));
    {
        const QSignalBlocker quiet(KeepAction);
        KeepAction->setChecked(true);
    }
    TellOverview();
    emit FileChanged(path_);
}

void THistoryControl::Stop()
{
    journal_.reset();
    path_.clear();
    stoppedText_.clear();
    TellOverview();
    emit FileChanged(QString());
}

void THistoryControl::Watch()
{
    if (!journal_ || !stoppedText_.isEmpty())
        return;
    const HistoryStatus status = journal_->Status();
    if (status.state != HistoryState::Stopped)
        return;
    stoppedText_ = QString::fromStdString(status.text);
    if (stoppedText_.isEmpty())
        stoppedText_ = QStringLiteral("Line history is off");
    TellOverview();
}

void THistoryControl::TellOverview()
{
    if (!overview_)
        return;
    overview_->SetHistoryFile(path_);
    overview_->SetHistoryText(stoppedText_);
}

void THistoryControl::AttachOverview(TOverviewForm* overview)
{
    overview_ = overview;
    // The tiles get a menu of their own: "Line history..." needs the tile under the pointer.
    overview->TileView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(overview->TileView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (!overview_)
            return;
        const int line = overview_->TileView->LineAt(at);
        QMenu menu(overview_->TileView);
        QAction* history = menu.addAction(line >= 0 ? QStringLiteral("Line %1 &history...").arg(line)
                                                    : QStringLiteral("Line &history..."));
        history->setObjectName(QStringLiteral("TileHistory1"));
        history->setEnabled(line >= 0);
        menu.addAction(KeepAction);
        if (menu.exec(overview_->TileView->mapToGlobal(at)) == history)
            emit LineHistoryAsked(line);
    });
    overview->TileView->installEventFilter(this);
    // Beside the tiles, the legend offers the keep item alone.
    overview->LegendPan->addAction(KeepAction);
    overview->LegendPan->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(overview, &QObject::destroyed, this, [this] { overview_ = nullptr; });
    TellOverview();
}

bool THistoryControl::eventFilter(QObject* watched, QEvent* event)
{
    if (overview_ && watched == overview_->TileView && event->type() == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int line = overview_->TileView->LineAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton && line >= 0) {
            emit LineHistoryAsked(line);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
