#include "ui/NumberText.h"

#include "archive/ArchiveCheck.h"

#include <QLocale>

QString CountText(uint64_t n) {
    return QLocale().toString(static_cast<qulonglong>(n));
}

QString CountText(uint64_t n, const QString& one, const QString& many) {
    return CountText(n) + u' ' + (n == 1 ? one : many);
}

QString SizeText(uint64_t bytes, TSizeForm form) {
    if (form == TSizeForm::Exact || bytes < 1024)
        return CountText(bytes, QStringLiteral("byte"), QStringLiteral("bytes"));
    return QLocale().formattedDataSize(static_cast<qint64>(bytes), 1);
}

QString DeadSpaceShare(uint64_t deadBytes, uint64_t dataLength, TSizeForm form) {
    return QStringLiteral("%1 (%2%)")
        .arg(SizeText(deadBytes, form),
             QLocale().toString(DeadSpacePercent(deadBytes, dataLength), 'f', 1));
}
