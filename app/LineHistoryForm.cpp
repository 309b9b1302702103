#include "app/LineHistoryForm.h"

#include "board/qt/BoardColors.h"
#include "history/HistoryCsv.h"
#include "history/HistoryJournal.h"
#include "history/HistoryReader.h"
#include "platform/qt/Gbk.h"
#include "platform/qt/PlainText.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

constexpr char kGeometryKey[] = "LineHistory/Geometry";
constexpr int kMarksHeight = 20;
constexpr int kMinMarkSpacing = 64;
// The window follows the line while it is open; a week of one line reads in tens of ms.
constexpr int kRefreshMs = 5000;

QString Utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

// The table's rows: since, until, duration, status; gaps in grey italics with what they were.
class THistoryRowModel : public QAbstractTableModel {
public:
    THistoryRowModel(const THistoryLooks& looks, QObject* parent) : QAbstractTableModel(parent), looks_(looks) {}

    void Show(std::vector<HistoryRow> rows, LocalOffsetFn offset)
    {
        beginResetModel();
        rows_ = std::move(rows);
        offset_ = std::move(offset);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(rows_.size()); }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 4; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        static const char* const kHeaders[] = {"Since", "Until", "Duration", "Status"};
        return QLatin1String(kHeaders[section]);
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || size_t(index.row()) >= rows_.size())
            return {};
        const HistoryRow& row = rows_[size_t(index.row())];
        const bool gap = row.gap != HistoryGap::None;
        const auto look = looks_.find(row.state);
        switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
            case 0:
                return Utf8(HistoryMomentText(row.since, offset_));
            case 1:
                return row.current ? QStringLiteral("now") : Utf8(HistoryMomentText(row.until, offset_));
            case 2:
                return Utf8(HistoryDurationText(row.until - row.since));
            default:
                if (gap)
                    return QStringLiteral("(%1)").arg(Utf8(row.gapText));
                return look != looks_.end() ? look->second.text : QString();
            }
        case Qt::ForegroundRole:
            if (gap)
                return QColor(Qt::darkGray);
            if (index.column() == 3 && look != looks_.end())
                return look->second.fore;
            return {};
        case Qt::BackgroundRole:
            if (index.column() == 3 && !gap && look != looks_.end())
                return look->second.back;
            return {};
        case Qt::FontRole:
            if (gap) {
                QFont italic;
                italic.setItalic(true);
                return italic;
            }
            return {};
        default:
            return {};
        }
    }

private:
    const THistoryLooks& looks_;
    std::vector<HistoryRow> rows_;
    LocalOffsetFn offset_;
};

THistoryStrip::THistoryStrip(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Strip"));
    setMinimumHeight(kBarHeight + kMarksHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize THistoryStrip::sizeHint() const
{
    return {600, kBarHeight + kMarksHeight};
}

void THistoryStrip::Show(std::vector<HistorySpan> spans, int64_t from, int64_t until, const THistoryLooks* looks)
{
    spans_ = std::move(spans);
    from_ = from;
    until_ = until;
    looks_ = looks;
    update();
}

int THistoryStrip::XOf(int64_t t) const
{
    return HistoryXOf(t, from_, until_, width());
}

void THistoryStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect bar(0, 0, width(), kBarHeight);
    painter.fillRect(rect(), palette().window());
    if (until_ <= from_)
        return;
    // Nothing known: the whole bar a gap until spans say otherwise.
    painter.fillRect(bar, GapColor());
    for (const HistoryStripPiece& p : HistoryStripPieces(spans_, from_, until_, width())) {
        const HistorySpan& span = spans_[p.span];
        const QRect r(p.x0, 0, p.x1 - p.x0, kBarHeight);
        const auto look = looks_ ? looks_->find(span.state) : THistoryLooks::const_iterator();
        if (span.gap == HistoryGap::None && looks_ && look != looks_->end()) {
            painter.fillRect(r, look->second.back);
        } else {
            painter.fillRect(r, GapColor());
            painter.fillRect(r, QBrush(HatchColor(), Qt::BDiagPattern));
        }
    }
    // An outline, so a white state still shows where the bar ends.
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font());
    for (const HistoryTimeMark& m : HistoryTimeMarks(from_, until_, width(), kMinMarkSpacing, Offset)) {
        painter.drawLine(m.x, kBarHeight, m.x, kBarHeight + 4);
        const QString label = QString::fromStdString(m.label);
        const int w = metrics.horizontalAdvance(label);
        const int x = std::clamp(m.x - w / 2, 0, std::max(0, width() - w));
        painter.drawText(QRect(x, kBarHeight + 4, w, kMarksHeight - 4), Qt::AlignCenter, label);
    }
}

bool THistoryStrip::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const auto pieces = HistoryStripPieces(spans_, from_, until_, width());
        const int at = help->pos().y() < kBarHeight ? HistoryPieceAt(pieces, help->pos().x()) : -1;
        if (at < 0) {
            QToolTip::hideText();
            return true;
        }
        const HistorySpan& span = spans_[size_t(at)];
        QString what = QStringLiteral("(%1)").arg(Utf8(HistoryGapText(span)));
        if (span.gap == HistoryGap::None && looks_) {
            const auto look = looks_->find(span.state);
            what = look != looks_->end() ? look->second.text : QString();
        }
        const int64_t since = span.gap == HistoryGap::None && span.since < span.from ? span.since : span.from;
        QToolTip::showText(help->globalPos(),
                           PlainToolTip(QStringLiteral("%1\n%2 for %3")
                                            .arg(what, Utf8(HistoryMomentText(since, Offset)),
                                                 Utf8(HistoryDurationText(span.until - since)))),
                           this);
        return true;
    }
    return QWidget::event(event);
}

TLineHistoryForm::TLineHistoryForm(QWidget* parent) : TToolWindow(kGeometryKey, QSize(720, 520), parent)
{
    setObjectName(QStringLiteral("LineHistoryForm"));
    setWindowTitle(QStringLiteral("Line history"));
    NowMs = &SystemUtcMs;

    LineBox = new QSpinBox(this);
    LineBox->setObjectName(QStringLiteral("LineBox"));
    LineBox->setRange(0, 65535);
    auto* lineCaption = new QLabel(QStringLiteral("&Line:"), this);
    lineCaption->setBuddy(LineBox);
    RangeBox = new QComboBox(this);
    RangeBox->setObjectName(QStringLiteral("RangeBox"));
    for (const HistoryRange& r : kHistoryRanges)
        RangeBox->addItem(QLatin1String(r.label), QVariant::fromValue<qint64>(r.ms));
    auto* rangeCaption = new QLabel(QStringLiteral("&Over the last:"), this);
    rangeCaption->setBuddy(RangeBox);
    ExportButt = new QPushButton(QStringLiteral("&Export as CSV..."), this);
    ExportButt->setObjectName(QStringLiteral("ExportButt"));

    NoticeLab = new QLabel(this);
    NoticeLab->setObjectName(QStringLiteral("NoticeLab"));
    NoticeLab->setTextFormat(Qt::PlainText);
    NoticeLab->setWordWrap(true);
    NoticeLab->hide();
    Strip = new THistoryStrip(this);
    model_ = new THistoryRowModel(looks_, this);
    Table = new QTableView(this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setModel(model_);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->hide();
    Table->horizontalHeader()->setStretchLastSection(true);
    Table->setColumnWidth(0, 150);
    Table->setColumnWidth(1, 150);
    Table->setColumnWidth(2, 100);

    auto* top = new QHBoxLayout();
    top->addWidget(lineCaption);
    top->addWidget(LineBox);
    top->addSpacing(12);
    top->addWidget(rangeCaption);
    top->addWidget(RangeBox);
    top->addStretch(1);
    top->addWidget(ExportButt);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(NoticeLab);
    layout->addWidget(Strip);
    layout->addWidget(Table, 1);

    ChooseExportPath = [this](const QString& name) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export line history as CSV"), name,
                                            QStringLiteral("CSV files (*.csv);;All files (*)"));
    };
    refreshTimer_ = new QTimer(this);
    refreshTimer_->setInterval(kRefreshMs);
    connect(refreshTimer_, &QTimer::timeout, this, &TLineHistoryForm::Refresh);
    connect(LineBox, &QSpinBox::valueChanged, this, &TLineHistoryForm::Refresh);
    connect(RangeBox, &QComboBox::currentIndexChanged, this, &TLineHistoryForm::Refresh);
    connect(ExportButt, &QPushButton::clicked, this, &TLineHistoryForm::ExportClick);
}

TLineHistoryForm::~TLineHistoryForm() = default;

int TLineHistoryForm::Line() const
{
    return LineBox->value();
}

int64_t TLineHistoryForm::RangeMs() const
{
    return RangeBox->currentData().toLongLong();
}

void TLineHistoryForm::Open(int line)
{
    PlaceOnce();
    {
        const QSignalBlocker quiet(LineBox);
        LineBox->setValue(line);
    }
    Refresh();
    show();
    raise();
    activateWindow();
}

void TLineHistoryForm::SetFile(const QString& path)
{
    if (path == file_)
        return;
    file_ = path;
    if (isVisible())
        Refresh();
}

void TLineHistoryForm::showEvent(QShowEvent* event)
{
    refreshTimer_->start();
    TToolWindow::showEvent(event);
}

void TLineHistoryForm::hideEvent(QHideEvent* event)
{
    refreshTimer_->stop();
    TToolWindow::hideEvent(event);
}

void TLineHistoryForm::ShowNotice(const QString& text)
{
    NoticeLab->setText(text);
    NoticeLab->setVisible(!text.isEmpty());
}

void TLineHistoryForm::Refresh()
{
    setWindowTitle(QStringLiteral("Line %1 history").arg(Line()));
    const int64_t until = NowMs();
    const int64_t from = until - RangeMs();
    std::vector<HistorySpan> spans;
    looks_.clear();
    const auto show = [&](const QString& notice) {
        ShowNotice(notice);
        Strip->Offset = Offset;
        Strip->Show(spans, from, until, &looks_);
        model_->Show(HistoryRows(spans, until), Offset);
        ExportButt->setEnabled(notice.isEmpty());
        shownUntil_ = until;
    };
    if (file_.isEmpty())
        return show(QStringLiteral("Line history is off. Turn it on with \"Keep line history\" in the context "
                                   "menu of the grid or of the line overview."));
    if (!QFileInfo::exists(file_))
        return show(QStringLiteral("No line history has been kept yet in %1.").arg(QDir::toNativeSeparators(file_)));
    // Opened for each refresh: short read-only reads beside the journal's writer.
    HistoryReader reader;
    std::string error;
    if (!reader.Open(file_.toUtf8().toStdString(), error))
        return show(QStringLiteral("The line history cannot be read: %1").arg(Utf8(error)));
    if (!reader.LineSpans(Line(), from, until, spans)) {
        spans.clear();
        return show(QStringLiteral("The line history cannot be read: %1").arg(Utf8(reader.Error())));
    }
    for (const HistorySpan& s : spans) {
        if (s.gap != HistoryGap::None || looks_.contains(s.state))
            continue;
        if (const HistoryStateText* state = reader.State(s.state))
            looks_[s.state] = {ToQColor(TColor(state->fore)), ToQColor(TColor(state->back)), FromGbk(state->text)};
    }
    show(QString());
}

bool TLineHistoryForm::ExportClick()
{
    const int64_t until = shownUntil_ != 0 ? shownUntil_ : NowMs();
    const int64_t from = until - RangeMs();
    const QString name = QStringLiteral("line-%1-history-%2.csv")
                             .arg(Line())
                             .arg(QDateTime::fromMSecsSinceEpoch(until).toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path = ChooseExportPath ? ChooseExportPath(name) : QString();
    if (path.isEmpty())
        return false;
    QString error;
    if (ExportHistoryCsv(file_, Line(), from, until, path, error))
        return true;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Export line history as CSV"), error, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return false;
}

bool ExportHistoryCsv(const QString& history, int line, int64_t from, int64_t until, const QString& target,
                      QString& error)
{
    const QString where = QDir::toNativeSeparators(target);
    HistoryReader reader;
    std::string why;
    if (history.isEmpty() || !QFileInfo::exists(history)) {
        error = QStringLiteral("The line history could not be written to %1: no line history has been kept").arg(where);
        return false;
    }
    if (!reader.Open(history.toUtf8().toStdString(), why)) {
        error = QStringLiteral("The line history could not be written to %1: %2").arg(where, Utf8(why));
        return false;
    }
    // Written beside the target and renamed over it when whole: a failure leaves no partial file.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("The line history could not be written to %1: %2").arg(where, file.errorString());
        return false;
    }
    // With a byte order mark, as the board's export: a spreadsheet on Windows reads UTF-8 by it.
    bool written = file.write("\xEF\xBB\xBF", 3) == 3;
    const bool read = written && HistoryCsv(
                                     reader, line, from, until,
                                     [&](std::string_view piece) {
                                         written =
                                             file.write(piece.data(), qint64(piece.size())) == qint64(piece.size());
                                         return written;
                                     },
                                     why);
    if (!read || !written || !file.commit()) {
        const QString reason = !written || read ? file.errorString() : Utf8(why);
        file.cancelWriting();
        error = QStringLiteral("The line history could not be written to %1: %2").arg(where, reason);
        return false;
    }
    return true;
}

bool AskHistoryExport(QWidget* parent, int64_t& from, int64_t& until, QString& path)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("HistoryExportDialog"));
    dialog.setWindowTitle(QStringLiteral("Export line history as CSV"));
    const QDateTime now = QDateTime::currentDateTime();
    auto* fromEdit = new QDateTimeEdit(now.addDays(-1), &dialog);
    auto* untilEdit = new QDateTimeEdit(now, &dialog);
    for (QDateTimeEdit* edit : {fromEdit, untilEdit}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        edit->setCalendarPopup(true);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("&From:"), fromEdit);
    form->addRow(QStringLiteral("&Until:"), untilEdit);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    from = fromEdit->dateTime().toMSecsSinceEpoch();
    until = untilEdit->dateTime().toMSecsSinceEpoch();
    if (until <= from)
        std::swap(from, until);
    const QString name = QStringLiteral("line-history-%1.csv").arg(now.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    path = QFileDialog::getSaveFileName(parent, QStringLiteral("Export line history as CSV"), name,
                                        QStringLiteral("CSV files (*.csv);;All files (*)"));
    return !path.isEmpty();
}
