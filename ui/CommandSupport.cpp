#include "ui/CommandSupport.h"

#include "ui/FormProgress.h"
#include "ui/NameText.h"
#include "ui/NumberText.h"
#include "ui/PathText.h"

#include <QApplication>

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

std::unique_ptr<TfrmProgress> ShowProgress(QWidget* owner, const QString& line1, int maximum) {
    auto progress = std::make_unique<TfrmProgress>(owner);
    progress->SetLine1(line1);
    progress->SetPosition(0);
    progress->SetMax(maximum);
    progress->ShowNow(); // the bar at 0 is on screen before the first file is touched
    return progress;
}

QString WarningsNotice(const QString& command, const std::vector<std::string>& warnings,
                       const QString& outcome) {
    QStringList lines;
    for (const std::string& warning : warnings)
        lines << command + QStringLiteral(": ") + NameToText(warning) + QStringLiteral("; ") +
                     outcome;
    return lines.join(u'\n');
}

std::string HostPath(const QString& path) {
    return TextToPath(path).toStdString();
}

std::vector<std::string> HostPaths(const QStringList& paths) {
    std::vector<std::string> hostPaths;
    hostPaths.reserve(static_cast<size_t>(paths.size()));
    for (const QString& path : paths)
        hostPaths.push_back(HostPath(path));
    return hostPaths;
}

QString UndoCaption(const QString& verb, std::optional<TUndoCommand> command, size_t count) {
    if (!command)
        return verb;
    QString what;
    switch (*command) {
    case TUndoCommand::Add:
        what = QStringLiteral("Add ") +
               CountText(count, QStringLiteral("File"), QStringLiteral("Files"));
        break;
    case TUndoCommand::Import:
        what = QStringLiteral("Import and Replace ") +
               CountText(count, QStringLiteral("File"), QStringLiteral("Files"));
        break;
    case TUndoCommand::Delete:
        what = QStringLiteral("Delete ") +
               CountText(count, QStringLiteral("Entry"), QStringLiteral("Entries"));
        break;
    case TUndoCommand::Rename:
        what = QStringLiteral("Rename");
        break;
    }
    return verb + u' ' + what;
}
