#include "platform/Gbk.h"

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
    // Stateless: a text cut inside a character must not leak into the next one.
    thread_local QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromLocal8Bit(gbk.data(), qsizetype(gbk.size()));
    return decoder.decode(QByteArrayView(gbk.data(), qsizetype(gbk.size())));
}

std::string ToGbk(const QString& text)
{
    thread_local QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return text.toLocal8Bit().toStdString();
    QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), size_t(bytes.size()));
}
