// The one place where a failure of a command turns into a message box. Nothing
// may let an exception cross Qt's event loop, so every handler of the editor
// runs inside Guarded().
#pragma once

#include <QString>

#include <exception>
#include <utility>

class QWidget;

// The text shown for a failure: the message with a full stop appended when its
// last character sorts after '.' in character-code order.
QString ErrorText(const QString& message);

// Shows the failure in the error box captioned "Pelkon", with the line that
// names the file under the message; the program carries on.
// Running out of memory is told in words, naming `operation` when given.
void ReportError(QWidget* parent, const std::exception& error, const QString& operation = {});
void ReportUnknownError(QWidget* parent);

// Runs `handler`, reporting whatever it throws.
template <typename Handler>
void Guarded(QWidget* parent, Handler&& handler, const QString& operation = {}) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        ReportError(parent, error, operation);
    } catch (...) {
        ReportUnknownError(parent);
    }
}
