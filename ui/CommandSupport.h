// What the command bodies share: the busy cursor, the progress dialog set up
// for a batch, and paths in the host's encoding.
#pragma once

#include "archive/UndoHistory.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;
class TfrmProgress;

// The hourglass for the whole program while a command works; restored on
// every path.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// A progress dialog with its first line, at 0 of `maximum`, already on screen.
std::unique_ptr<TfrmProgress> ShowProgress(QWidget* owner, const QString& line1, int maximum);

// The status bar's notice of what failed after a command's change was whole
// (the core's warnings): "COMMAND: WARNING; OUTCOME", the warnings one after
// another; empty when there are none. Told there, not in an error box.
QString WarningsNotice(const QString& command, const std::vector<std::string>& warnings,
                       const QString& outcome);

// The Undo or Redo item's caption (`verb`, "&Undo" or "&Redo"), named after
// the command it works on: "&Undo Delete 3 Entries", "&Redo Rename"; the verb
// alone when there is none.
QString UndoCaption(const QString& verb, std::optional<TUndoCommand> command, size_t count);

// A path as Qt's dialogs and drops give it, as the bytes of the file it names.
std::string HostPath(const QString& path);
std::vector<std::string> HostPaths(const QStringList& paths);
