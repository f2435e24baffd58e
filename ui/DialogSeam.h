// Every modal dialog and shell call of the editor goes through IDialogs, so that
// tests can install a scripted implementation and never wait on a real dialog.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <Qt>

class QWidget;

struct FileDialogOptions {
    QString title;         // empty: the system's default title
    QString filter;        // Qt filter string, e.g. "GTA3 Archive (*.img)"
    QString defaultSuffix; // added when the typed name has none
    QString initialPath;   // the path chosen last in this dialog
    bool mustExist = false;
    bool multiple = false;
    QString selectedFilter;          // the filter chosen at first; empty: the first one
    QString* chosenFilter = nullptr; // when given, receives the filter the user chose
};

// The file types of a new archive: a pair's data file, and a single file.
QString PairArchiveFilter();
QString SingleFileArchiveFilter();
// A save dialog for a new archive's data file (".img" added when none is
// typed), offering both kinds of archive.
FileDialogOptions SaveArchiveOptions(const QString& title, const QString& initialPath);

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // Open dialog; an empty list means cancelled.
    virtual QStringList openFiles(QWidget* parent, const FileDialogOptions& options) = 0;
    // Save dialog; an empty string means cancelled.
    virtual QString saveFile(QWidget* parent, const FileDialogOptions& options) = 0;
    // Folder picker; an empty string means cancelled.
    virtual QString chooseFolder(QWidget* parent, const QString& prompt) = 0;
    // Error message box with one OK button: the message, and under it, when
    // not empty, the line that names the file and the reason.
    virtual void showError(QWidget* parent, const QString& caption, const QString& text,
                           const QString& detail) = 0;
    // Information message box with one OK button.
    virtual void showInformation(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A list of findings under a summary line, with one OK button.
    virtual void showFindings(QWidget* parent, const QString& caption, const QString& summary,
                              const QStringList& findings) = 0;
    // Yes/No question, Yes the default, Escape answers No. True for Yes.
    virtual bool confirm(QWidget* parent, const QString& title, const QString& text) = 0;
    // Text input box; OK returns the field's text, Cancel returns `proposed` unchanged.
    virtual QString inputBox(QWidget* parent, const QString& caption, const QString& prompt,
                             const QString& proposed, int maxLength) = 0;
    // Asks the desktop to open a web address.
    virtual void openUrl(QWidget* parent, const QUrl& url) = 0;
    // Drags the files at `urls` from `source` until the user drops or gives up;
    // returns what the receiver did with them (IgnoreAction: nothing).
    virtual Qt::DropAction dragFiles(QWidget* source, const QList<QUrl>& urls) = 0;
};

// The dialogs in use: the real ones unless a test installed others.
IDialogs& Dialogs();
// Installs `replacement` (not owned); nullptr restores the real dialogs.
void SetDialogs(IDialogs* replacement);
