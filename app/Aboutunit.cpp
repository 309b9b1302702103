#include "app/Aboutunit.h"
#include "app/Design.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>

TForm2* Form2 = nullptr;

namespace {

UrlOpener urlOpener;

void OpenUrl(const QString& target)
{
    const QUrl url(target);
    if (urlOpener)
        urlOpener(url);
    else
        QDesktopServices::openUrl(url);
}

// A label that reports a click of the left mouse button.
class TClickLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
            onClick();
        QLabel::mouseReleaseEvent(event);
    }
};

// The name in the Symbol font's letters: that font draws these Latin letters as Greek ones, so the
// Greek letters are drawn directly instead of relying on the font being installed.
QString SymbolFontText(const QString& latin)
{
    static const struct {
        char16_t latin;
        char16_t greek;
    } map[] = {{u'M', u'\u039C'}, {u'i', u'\u03B9'}, {u'r', u'\u03C1'}, {u'a', u'\u03B1'}, {u'k', u'\u03BA'}};
    QString text = latin;
    for (QChar& c : text) {
        for (const auto& m : map) {
            if (c == QChar(m.latin))
                c = QChar(m.greek);
        }
    }
    return text;
}

// A label whose text is the Latin word, as a screen reader reads it, drawn as the Symbol font would
// show it.
class TSymbolLabel : public TClickLabel {
public:
    using TClickLabel::TClickLabel;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        style()->drawItemText(&p, contentsRect(), int(alignment()), palette(), isEnabled(), SymbolFontText(text()),
                              foregroundRole());
    }
};

template <typename Label = TClickLabel>
QLabel* MakeLabel(const char* objectName, const QString& text, const QRect& geometry, QWidget* parent,
                  std::function<void()> onClick = nullptr)
{
    TClickLabel* label = new Label(parent);
    label->setObjectName(QLatin1String(objectName));
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setGeometry(geometry);
    label->onClick = std::move(onClick);
    return label;
}

void SetLook(QLabel* label, const QColor& colour, bool bold, bool underline)
{
    QFont font = label->font();
    font.setBold(bold);
    font.setUnderline(underline);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

void SetLinkLook(QLabel* label)
{
    SetLook(label, QColor(0, 0, 255), true, true);
    label->setCursor(Qt::PointingHandCursor);
}

// A 47 x 61 picture in the 16-colour palette: a desk telephone's handset over its keypad.
QPixmap ProductPicture()
{
    QPixmap pixmap(47, 61);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    // Handset.
    p.setBrush(QColor(0, 0, 128));
    p.drawRoundedRect(3, 2, 40, 10, 4, 4);
    p.drawRect(5, 10, 8, 6);
    p.drawRect(33, 10, 8, 6);
    // Body.
    p.setBrush(QColor(128, 128, 128));
    p.drawRoundedRect(2, 16, 42, 43, 3, 3);
    p.setBrush(QColor(0, 128, 128));
    p.drawRect(7, 20, 32, 8);
    // Keypad: three keys by four.
    p.setBrush(QColor(192, 192, 192));
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 3; ++col)
            p.drawRect(9 + 10 * col, 31 + 7 * row, 7, 5);
    }
    return pixmap;
}

} // namespace

void SetUrlOpener(UrlOpener opener)
{
    urlOpener = std::move(opener);
}

TForm2::TForm2(QWidget* parent) : TDesignDialog("Form2", "About", QSize(323, 139), parent)
{
    const auto web = [this] { Label5Click(); };
    Image1 = MakeLabel("Image1", QString(), QRect(22, 10, 47, 61), this, web);
    Image1->setPixmap(ProductPicture());
    Image1->setCursor(Qt::PointingHandCursor);

    Label5 = MakeLabel<TSymbolLabel>("Label5", QStringLiteral("Mirrak"), QRect(19, 72, 59, 20), this, web);
    Label5->setAccessibleName(Label5->text());
    QFont symbol = Label5->font();
    symbol.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("DejaVu Serif"), QStringLiteral("Serif")});
    symbol.setPixelSize(16);
    Label5->setFont(symbol);
    SetLinkLook(Label5);

    Label2 = MakeLabel("Label2", QStringLiteral("Halverdon Telephony Platform Monitor"), QRect(87, 17, 219, 13), this);
    SetLook(Label2, QColor(0, 0, 0), true, false);
    VerLab = MakeLabel("VerLab", QStringLiteral("Ver1.13"), QRect(146, 43, 45, 13), this);
    SetLook(VerLab, QColor(0, 0, 255), true, false);
    Label6 =
        MakeLabel("Label6", QStringLiteral("Halverdon Voice Systems 2019-2026"), QRect(106, 61, 145, 13), this, web);
    SetLinkLook(Label6);
    Label8 =
        MakeLabel("Label8", QLatin1String(kSupportAddress), QRect(102, 76, 150, 13), this, [this] { Label8Click(); });
    SetLinkLook(Label8);
    Label8->setToolTip(QStringLiteral("mailto:") + QLatin1String(kSupportAddress));

    Panel1 = MakeRule("Panel1", QRect(10, 98, 308, 2), this);

    EnterButt = new QPushButton(QString::fromUtf8("确定"), this);
    EnterButt->setObjectName(QStringLiteral("EnterButt"));
    EnterButt->setGeometry(126, 107, 80, 25);
    QFont song = EnterButt->font();
    song.setFamilies({QString::fromUtf8("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    song.setPixelSize(12);
    EnterButt->setFont(song);
    // Enter presses it as the default button; Esc closes the dialog the same way.
    EnterButt->setDefault(true);
    connect(EnterButt, &QPushButton::clicked, this, &TForm2::EnterButtClick);

    FormCreate();
}

void TForm2::FormCreate()
{
    for (QLabel* label : {Label5, Label6, Image1})
        label->setToolTip(QLatin1String(kWebAddress));
}

void TForm2::Label5Click()
{
    OpenUrl(QLatin1String(kWebAddress));
}

void TForm2::Label8Click()
{
    OpenUrl(QStringLiteral("mailto:") + QLatin1String(kSupportAddress));
}

void TForm2::EnterButtClick()
{
    close();
}
