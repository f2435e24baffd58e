// The main window's status bar: what the open archive holds, what the list
// shows and selects, the data file's size and dead space, and the problems the
// check found, all kept up to date; and, on a line above them until the next
// command, the result of the last command that has one to tell.
#pragma once

#include "archive/ArchiveCheck.h"

#include <QString>

#include <cstdint>
#include <optional>

class QLabel;
class QStatusBar;

struct TArchiveState {
    int entries = 0; // in the archive
    int rows = 0;    // in the list
    bool filtered = false;
    int selected = 0;
    std::optional<uint64_t> dataLength; // none when the system cannot tell
    std::optional<TCheckSummary> check; // none while it is counted, or unknown
    bool checkPending = false;
    bool singleFile = false; // the archive is one file, not a pair
};

class TStatusPanel {
public:
    explicit TStatusPanel(QStatusBar* bar);

    // No archive is open: the bar is empty.
    void ShowClosed();
    void Show(const TArchiveState& state);
    // The result of the last command; empty clears it.
    void SetNotice(const QString& text);

private:
    QLabel* lblNotice;
    QLabel* lblProblems;
    QLabel* lblStatus; // counts
    QLabel* lblSpace;  // the data file's size and dead space
};
