// The private folders into which entries dragged out of the list are
// extracted. A file manager answers a drop as soon as it has taken the list
// of files and copies them afterwards, so when a drag ends with a drop its
// folder may still be being read: it is kept until the window closes. A drag
// that nobody took leaves nothing to read, and its folder goes at once.
#pragma once

#include <QString>

#include <memory>
#include <vector>

class QTemporaryDir;

class TDragFolders {
public:
    TDragFolders();
    ~TDragFolders(); // removes every folder still kept
    TDragFolders(const TDragFolders&) = delete;
    TDragFolders& operator=(const TDragFolders&) = delete;

    // A new, empty folder that only this user can enter. Throws EFCreateError.
    QString Create();
    // Removes the folder and what is in it.
    void Remove(const QString& folder);

private:
    std::vector<std::unique_ptr<QTemporaryDir>> FFolders;
};
