// quorvane-history-picture: the line history window as the README shows it, drawn offscreen from a
// journal of one busy hour (written on a fake clock, so the picture is the same at every run).
//
//   QT_QPA_PLATFORM=offscreen quorvane-history-picture OUT.png
#include "app/LineHistoryForm.h"
#include "board/Board.h"
#include "common/HistorySink.h"
#include "support/HistoryRig.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <cstdio>
#include <random>

using namespace std::chrono_literals;

namespace {

struct Status {
    const char* text;
    int fore;
    int back;
    int minSeconds;
    int maxSeconds;
};
// A call centre line's round: idle, ringing, talking (sometimes recorded), hang-up.
const Status kIdle{"Idle", 2, 15, 40, 300};
const Status kRinging{"Ringing", 0, 14, 4, 20};
const Status kTalking{"Talking", 15, 1, 50, 420};
const Status kRecording{"Recording", 15, 4, 30, 200};
const Status kHangUp{"Hang-up", 0, 7, 2, 6};

constexpr int kLines = 64;
constexpr int kLine = 12;

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvane-history-picture OUT.png\n");
        return 2;
    }
    const QString out = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString work = QDir::tempPath() + QStringLiteral("/quorvane-history-picture");
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    QDir::setCurrent(work);

    int64_t now = 0;
    {
        HistoryRig rig;
        std::mt19937 random(5);
        const auto hold = [&](const Status& s) {
            rig.Status(kLines, kLine, s.text, s.fore, s.back);
            rig.Advance(std::chrono::seconds(std::uniform_int_distribution<int>(s.minSeconds, s.maxSeconds)(random)));
        };
        const int64_t start = rig.Wall();
        bool down = false;
        while (rig.Wall() - start < int64_t(3600) * 1000) {
            hold(kIdle);
            hold(kRinging);
            hold(std::uniform_int_distribution<int>(0, 3)(random) == 0 ? kRecording : kTalking);
            hold(kHangUp);
            // Once, about 40 minutes in, the link to the server is down for three minutes.
            if (!down && rig.Wall() - start > int64_t(40) * 60 * 1000) {
                down = true;
                History()->LinkChanged(false);
                rig.Advance(3min);
                History()->LinkChanged(true);
            }
        }
        hold(kIdle);
        now = rig.Wall();
        rig.Flush();
    }
    DestroyBoard();

    TLineHistoryForm form;
    form.NowMs = [now] { return now; };
    form.resize(760, 460);
    form.SetFile(work + QStringLiteral("/history.sqlite3"));
    form.Open(kLine);
    QApplication::processEvents();
    const bool saved = form.grab().toImage().save(out);
    form.hide();
    QDir::setCurrent(QDir::tempPath());
    QDir(work).removeRecursively();
    if (!saved) {
        std::fprintf(stderr, "quorvane-history-picture: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
