#include "ui/ErrorReporting.h"

#include "ui/DialogSeam.h"
#include "ui/PathText.h"

namespace {
const QString ApplicationTitle = QStringLiteral("Pelkon");
}

QString ErrorText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void ReportError(QWidget* parent, const std::exception& error) {
    // Messages carry paths as host bytes; PathToText keeps every byte visible.
    Dialogs().showError(parent, ApplicationTitle, ErrorText(PathToText(error.what())));
}

void ReportUnknownError(QWidget* parent) {
    Dialogs().showError(parent, ApplicationTitle, ErrorText(QStringLiteral("Unknown error")));
}
