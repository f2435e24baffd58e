#include "ui/NameText.h"

#include <QFile>
#include <QStringDecoder>

QString NameToText(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string TextToName(const QString& text) {
    return HostNameBytes(text).toStdString();
}

QByteArray HostNameBytes(const QString& text) {
#ifdef Q_OS_WIN
    return text.toUtf8();
#else
    return QFile::encodeName(text);
#endif
}

QString HostNameText(const QByteArray& bytes) {
#ifdef Q_OS_WIN
    return QString::fromUtf8(bytes);
#else
    return QFile::decodeName(bytes);
#endif
}
