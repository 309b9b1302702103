#include "app/Configunit.h"
#include "app/Design.h"

#include "platform/qt/Gbk.h"
#include "settings/Config.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

TConfigForm* ConfigForm = nullptr;

namespace {

// An edit box with its label three pixels above it; the label's access key moves the focus to it.
QLineEdit* MakeLabelledEdit(const char* objectName, const char* label, const QRect& geometry, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(objectName));
    edit->setGeometry(geometry);
    auto* caption = new QLabel(QLatin1String(label), parent);
    caption->setObjectName(QLatin1String(objectName) + QStringLiteral("Label"));
    caption->setBuddy(edit);
    caption->adjustSize();
    caption->move(geometry.left(), geometry.top() - 3 - caption->height());
    return edit;
}

// A 32 x 32 picture in the 16-colour palette: a monitor showing a few coloured lines.
QPixmap SettingsIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(2, 3, 27, 20);
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(5, 6, 21, 14);
    const QColor lines[] = {QColor(0, 255, 0), QColor(255, 255, 0), QColor(0, 255, 255)};
    for (int i = 0; i < 3; ++i)
        p.fillRect(8, 9 + 4 * i, 6 + 4 * i, 2, lines[i]);
    p.setBrush(QColor(128, 128, 128));
    p.drawRect(13, 23, 5, 3);
    p.drawRect(8, 26, 15, 3);
    return pixmap;
}

int32_t IntOf(const QLineEdit* edit)
{
    return LeadingInt(ToGbk(edit->text()).c_str());
}

} // namespace

TConfigForm::TConfigForm(QWidget* parent) : TDesignDialog("ConfigForm", "Configure", QSize(397, 261), parent)
{
    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(SettingsIcon());
    Image2->setGeometry(8, 3, 32, 32);
    Panel2 = MakeRule("Panel2", QRect(44, 7, 349, 2), this);

    // Created in their tab order, which is also the order the focus moves in.
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(227, 230, 75, 21);
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(314, 230, 75, 21);
    AddrEdit = MakeLabelledEdit("AddrEdit", "&IP Addr or Server Name:", QRect(51, 32, 333, 21), this);
    PortEdit = MakeLabelledEdit("PortEdit", "&Port:", QRect(51, 76, 119, 21), this);
    DelayEdit = MakeLabelledEdit("DelayEdit", "&Delay(Sec.):", QRect(51, 143, 119, 21), this);
    GroupNumEdit = MakeLabelledEdit("GroupNumEdit", "&Group Num:", QRect(51, 185, 119, 21), this);
    GroupNumEdit->setText(QStringLiteral("1"));
    Panel1 = MakeRule("Panel1", QRect(7, 222, 386, 2), this);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, AddrEdit);
    setTabOrder(AddrEdit, PortEdit);
    setTabOrder(PortEdit, DelayEdit);
    setTabOrder(DelayEdit, GroupNumEdit);

    connect(Button1, &QPushButton::clicked, this, &TConfigForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TConfigForm::Button2Click);
    FormCreate();
}

void TConfigForm::FormCreate()
{
    LoadConfig(CurConfig);
    const TagRunCfg cfg = CurConfig.Get();
    AddrEdit->setText(FromGbk(cfg.ServerIp));
    PortEdit->setText(QString::number(cfg.ServerPort));
    DelayEdit->setText(QString::number(cfg.SleepSec));
    GroupNumEdit->setText(QString::number(cfg.ColGroupNum));
}

void TConfigForm::Button1Click()
{
    TagRunCfg cfg = CurConfig.Get();
    cfg.ServerIp = ToGbk(AddrEdit->text());
    cfg.ServerPort = IntOf(PortEdit);
    // The worker pauses SleepSec seconds and the grid divides by ColGroupNum: values the rest of
    // the program cannot use are brought into range here rather than refused.
    cfg.SleepSec = std::max(0, IntOf(DelayEdit));
    cfg.ColGroupNum = std::clamp(IntOf(GroupNumEdit), kMinColGroups, kMaxColGroups);
    CurConfig.Set(cfg);
    SaveConfig(CurConfig);
    accept();
}

void TConfigForm::Button2Click()
{
    reject();
}
