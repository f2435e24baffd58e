// A scripted stand-in for the editor's dialogs: each call takes the next queued
// answer of its kind and records what was asked. A call with no answer queued
// fails the test instead of waiting on a real dialog.
#pragma once

#include "ui/DialogSeam.h"

#include <QList>
#include <QQueue>

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

struct DialogCall {
    QString kind; // "openFiles", "saveFile", "chooseFolder", "showError", "confirm", "inputBox",
                  // "openUrl", "showInformation", "showFindings", "dragFiles"
    QString title;
    QString text; // message, prompt, proposed text or URL
    FileDialogOptions options;
    int maxLength = 0;
};

class ScriptedDialogs : public IDialogs {
public:
    ScriptedDialogs() { SetDialogs(this); }
    ~ScriptedDialogs() override { SetDialogs(nullptr); }

    QQueue<QStringList> openAnswers;
    QQueue<QString> saveAnswers;
    // The file types chosen in save dialogs that ask; none: the one preselected.
    QQueue<QString> filterAnswers;
    QQueue<QString> folderAnswers;
    QQueue<bool> confirmAnswers;
    QQueue<QString> inputAnswers;
    QQueue<Qt::DropAction> dragAnswers;
    // Runs while a drag is on, as the receiver would (reading the files).
    std::function<void(const QStringList& files)> duringDrag;
    QList<DialogCall> calls;
    QStringList lastFindings; // of the last findings list shown
    QStringList lastDragged;  // the files of the last drag
    QStringList errorDetails; // of each error shown: the line under its message

    QStringList errors() const {
        QStringList texts;
        for (const auto& call : calls)
            if (call.kind == "showError")
                texts << call.text;
        return texts;
    }
    int count(const QString& kind) const {
        int n = 0;
        for (const auto& call : calls)
            n += call.kind == kind;
        return n;
    }

    QStringList openFiles(QWidget*, const FileDialogOptions& options) override {
        calls.append({"openFiles", options.title, {}, options, 0});
        return take(openAnswers, "openFiles");
    }
    QString saveFile(QWidget*, const FileDialogOptions& options) override {
        calls.append({"saveFile", options.title, {}, options, 0});
        if (options.chosenFilter)
            *options.chosenFilter = !filterAnswers.isEmpty() ? filterAnswers.dequeue()
                                    : !options.selectedFilter.isEmpty()
                                        ? options.selectedFilter
                                        : options.filter.section(QStringLiteral(";;"), 0, 0);
        return take(saveAnswers, "saveFile");
    }
    QString chooseFolder(QWidget*, const QString& prompt) override {
        calls.append({"chooseFolder", {}, prompt, {}, 0});
        return take(folderAnswers, "chooseFolder");
    }
    void showError(QWidget*, const QString& caption, const QString& text,
                   const QString& detail) override {
        calls.append({"showError", caption, text, {}, 0});
        errorDetails << detail;
    }
    bool confirm(QWidget*, const QString& title, const QString& text) override {
        calls.append({"confirm", title, text, {}, 0});
        return take(confirmAnswers, "confirm");
    }
    QString inputBox(QWidget*, const QString& caption, const QString& prompt,
                     const QString& proposed, int maxLength) override {
        calls.append({"inputBox", caption, proposed, {}, maxLength});
        Q_UNUSED(prompt);
        lastPrompt = prompt;
        return take(inputAnswers, "inputBox");
    }
    void openUrl(QWidget*, const QUrl& url) override {
        calls.append({"openUrl", {}, url.toString(), {}, 0});
    }
    void showInformation(QWidget*, const QString& caption, const QString& text) override {
        calls.append({"showInformation", caption, text, {}, 0});
    }
    void showFindings(QWidget*, const QString& caption, const QString& summary,
                      const QStringList& findings) override {
        calls.append({"showFindings", caption, summary, {}, 0});
        lastFindings = findings;
    }
    Qt::DropAction dragFiles(QWidget*, const QList<QUrl>& urls) override {
        calls.append({"dragFiles", {}, {}, {}, 0});
        lastDragged.clear();
        for (const QUrl& url : urls)
            lastDragged << url.toLocalFile();
        if (duringDrag)
            duringDrag(lastDragged);
        return take(dragAnswers, "dragFiles");
    }

    QString lastPrompt;

private:
    template <typename T> T take(QQueue<T>& queue, const char* kind) {
        if (queue.isEmpty())
            qFatal("ScriptedDialogs: no answer queued for %s", kind);
        return queue.dequeue();
    }
};
