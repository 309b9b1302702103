#include "platform/qt/Gbk.h"

#include "platform/GbkText.h"

#include <QStringDecoder>
#include <QStringEncoder>

QString FromGbk(std::string_view gbk)
{
    // Plain ASCII is by far the common case and needs no decoder.
    bool ascii = true;
    for (char c : gbk) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(gbk.data(), qsizetype(gbk.size()));
    // Stateless: a text cut inside a character must not leak into the next one. Qt builds without
    // ICU have no GBK codec; the core's conversion then stands in, whatever the system's code page.
    thread_local QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromStdU16String(GbkToUtf16(gbk));
    return decoder.decode(QByteArrayView(gbk.data(), qsizetype(gbk.size())));
}

std::string ToGbk(const QString& text)
{
    thread_local QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())));
    QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), size_t(bytes.size()));
}
