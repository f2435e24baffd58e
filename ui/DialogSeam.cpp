#include "ui/DialogSeam.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDrag>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

void ApplyFileOptions(QFileDialog& dialog, const FileDialogOptions& options) {
    if (!options.title.isEmpty())
        dialog.setWindowTitle(options.title);
    if (!options.filter.isEmpty())
        dialog.setNameFilter(options.filter); // the first filter is preselected
    if (!options.selectedFilter.isEmpty())
        dialog.selectNameFilter(options.selectedFilter);
    dialog.setDefaultSuffix(options.defaultSuffix);
    if (!options.initialPath.isEmpty())
        dialog.selectFile(options.initialPath);
}

// Messages carry names from archives and the disk: a name that looks like
// markup is shown as it is, never rendered.
void PlainMessage(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    for (QLabel* label : box.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
}

class RealDialogs final : public IDialogs {
public:
    QStringList openFiles(QWidget* parent, const FileDialogOptions& options) override {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (!options.mustExist)
            dialog.setFileMode(QFileDialog::AnyFile); // a typed name is let through
        else
            dialog.setFileMode(options.multiple ? QFileDialog::ExistingFiles
                                                : QFileDialog::ExistingFile);
        ApplyFileOptions(dialog, options);
        if (dialog.exec() != QDialog::Accepted)
            return {};
        return dialog.selectedFiles();
    }

    QString saveFile(QWidget* parent, const FileDialogOptions& options) override {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        ApplyFileOptions(dialog, options);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        if (options.chosenFilter)
            *options.chosenFilter = dialog.selectedNameFilter();
        return dialog.selectedFiles().first();
    }

    QString chooseFolder(QWidget* parent, const QString& prompt) override {
        return QFileDialog::getExistingDirectory(parent, prompt, QString(),
                                                 QFileDialog::ShowDirsOnly);
    }

    void showError(QWidget* parent, const QString& caption, const QString& text,
                   const QString& detail) override {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
        box.setInformativeText(detail);
        PlainMessage(box);
        box.exec();
    }

    void showInformation(QWidget* parent, const QString& caption, const QString& text) override {
        QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
        PlainMessage(box);
        box.exec();
    }

    void showFindings(QWidget* parent, const QString& caption, const QString& summary,
                      const QStringList& findings) override {
        QDialog dialog(parent);
        dialog.setWindowTitle(caption);
        auto* layout = new QVBoxLayout(&dialog);
        auto* headline = new QLabel(summary, &dialog);
        headline->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(headline);
        if (!findings.isEmpty()) {
            // One finding a line, selectable so that it can be copied into a report.
            auto* list = new QPlainTextEdit(&dialog);
            list->setReadOnly(true);
            list->setLineWrapMode(QPlainTextEdit::NoWrap);
            list->setPlainText(findings.join(u'\n'));
            layout->addWidget(list);
            dialog.resize(640, 360);
        }
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        layout->addWidget(buttons);
        dialog.exec();
    }

    bool confirm(QWidget* parent, const QString& title, const QString& text) override {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                        parent);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }

    QString inputBox(QWidget* parent, const QString& caption, const QString& prompt,
                     const QString& proposed, int maxLength) override {
        QInputDialog dialog(parent);
        dialog.setWindowTitle(caption);
        dialog.setLabelText(prompt);
        dialog.setInputMode(QInputDialog::TextInput);
        if (auto* field = dialog.findChild<QLineEdit*>())
            field->setMaxLength(maxLength);
        dialog.setTextValue(proposed);
        if (auto* field = dialog.findChild<QLineEdit*>())
            field->selectAll(); // typing replaces the proposed text
        if (dialog.exec() != QDialog::Accepted)
            return proposed;
        return dialog.textValue();
    }

    void openUrl(QWidget*, const QUrl& url) override { QDesktopServices::openUrl(url); }

    Qt::DropAction dragFiles(QWidget* source, const QList<QUrl>& urls) override {
        auto* data = new QMimeData; // the drag owns it
        data->setUrls(urls);
        QDrag drag(source);
        drag.setMimeData(data);
        // The entries stay in the archive: what the receiver gets is a copy.
        return drag.exec(Qt::CopyAction, Qt::CopyAction);
    }
};

RealDialogs realDialogs;
IDialogs* installed = nullptr;

} // namespace

IDialogs& Dialogs() {
    return installed ? *installed : realDialogs;
}

void SetDialogs(IDialogs* replacement) {
    installed = replacement;
}

QString PairArchiveFilter() {
    return QStringLiteral("GTA3 Archive (*.img)");
}

QString SingleFileArchiveFilter() {
    return QStringLiteral("Single-file Archive, VER2 (*.img)");
}

FileDialogOptions SaveArchiveOptions(const QString& title, const QString& initialPath) {
    FileDialogOptions options;
    options.title = title;
    options.filter = PairArchiveFilter() + QStringLiteral(";;") + SingleFileArchiveFilter() +
                     QStringLiteral(";;All Files (*.*)");
    options.defaultSuffix = QStringLiteral("img");
    options.initialPath = initialPath;
    return options;
}
