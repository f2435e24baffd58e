#include "ui/ErrorReporting.h"

#include "archive/FailureText.h"
#include "ui/DialogSeam.h"
#include "ui/NameText.h"
#include "ui/PathText.h"

#include <new>

namespace {

const QString ApplicationTitle = QStringLiteral("Pelkon");

// Paths and names as the window shows them everywhere, in UTF-8.
const TFailureWriting WindowWriting = {
    [](std::string_view path) {
        return PathToText(QByteArray(path.data(), static_cast<qsizetype>(path.size())))
            .toStdString();
    },
    [](std::string_view escapedName) { return NameToText(escapedName).toStdString(); },
};

// The line under the message that names the file (or the archive's entry)
// that failed and the system's reason; empty when there is none.
QString FailureDetailText(const std::exception& error) {
    return QString::fromStdString(FailureDetail(error, WindowWriting));
}

} // namespace

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
        Dialogs().showError(parent, ApplicationTitle, ErrorText(text), {});
        return;
    }
    // Messages carry paths as host bytes; PathToText keeps every byte visible.
    Dialogs().showError(parent, ApplicationTitle, ErrorText(PathToText(error.what())),
                        FailureDetailText(error));
}

void ReportUnknownError(QWidget* parent) {
    Dialogs().showError(parent, ApplicationTitle, ErrorText(QStringLiteral("Unknown error")), {});
}
