#include "ui/ErrorReporting.h"

#include "ui/DialogSeam.h"
#include "ui/PathText.h"

#include <new>

namespace {
const QString ApplicationTitle = QStringLiteral("Pelkon");
}

QString ErrorText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void ReportError(QWidget* parent, const std::exception& error, const QString& operation) {
    // The library's own word for running out of memory means nothing to a user.
    if (dynamic_cast<const std::bad_alloc*>(&error)) {
        const QString text = operation.isEmpty()
                                 ? QStringLiteral("Out of memory")
                                 : QStringLiteral("Out of memory in %1").arg(operation);
        Dialogs().showError(parent, ApplicationTitle, ErrorText(text));
        return;
    }
    // Messages carry paths as host bytes; PathToText keeps every byte visible.
    Dialogs().showError(parent, ApplicationTitle, ErrorText(PathToText(error.what())));
}

void ReportUnknownError(QWidget* parent) {
    Dialogs().showError(parent, ApplicationTitle, ErrorText(QStringLiteral("Unknown error")));
}
