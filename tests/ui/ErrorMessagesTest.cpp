// The window's failure messages: the program's message word for word, and
// under it the line that names the file (or the archive's entry) and the
// system's reason, as pelkon-cli prints it; paths shown as the window shows
// them everywhere, names from an archive escaped.
#include "ScriptedDialogs.h"
#include "WorkflowTestSupport.h"

#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "ui/ErrorReporting.h"

#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <functional>
#include <new>

namespace {

using Failure = std::function<void()>;

const std::string Img = "/home/modder/gta3/gta3.img";

// The failure of a read of the archive's data, told of the entry `name`.
Failure EntryFailure(const std::string& name) {
    return [name] {
        try {
            throw EReadError(Img);
        } catch (...) {
            RethrowNamingEntry(name);
        }
    };
}

} // namespace

Q_DECLARE_METATYPE(Failure)

class ErrorMessagesTest : public QObject {
    Q_OBJECT

private slots:
    void init() { dialogs = std::make_unique<ScriptedDialogs>(); }
    void cleanup() {
        dialogs.reset();
        faults::Reset();
    }

    void eachFailureNamesItsFileUnderTheMessage_data();
    void eachFailureNamesItsFileUnderTheMessage();
    void aFailedCommandNamesTheFileAndWhy();
    void theMessageBoxShowsNamesAsTheyAre();

private:
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void ErrorMessagesTest::eachFailureNamesItsFileUnderTheMessage_data() {
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("detail");
    const QString img = QString::fromStdString(Img);
    QTest::newRow("open") << Failure([] { throw EFOpenError(Img, ENOENT); })
                          << "Cannot open file " + img + "."
                          << img + ": Cannot open: No such file or directory";
    QTest::newRow("open, held by another program")
        << Failure([] { throw EFOpenError(Img, EWOULDBLOCK); }) << "Cannot open file " + img + "."
        << img + ": Cannot open: in use by another program";
    QTest::newRow("open, refused for a reason of ours")
        << Failure([] { throw EFOpenError(Img, "not a directory file of whole records"); })
        << "Cannot open file " + img + "."
        << img + ": Cannot open: not a directory file of whole records";
    QTest::newRow("create") << Failure([] { throw EFCreateError("/out/a.dff", EACCES); })
                            << "Cannot create file /out/a.dff."
                            << "/out/a.dff: Cannot create: Permission denied";
    QTest::newRow("read") << Failure([] { throw EReadError(Img, EIO); }) << "Stream read error."
                          << img + ": Input/output error";
    QTest::newRow("read past the end") << Failure([] { throw EReadError(Img); })
                                       << "Stream read error." << img + ": Stream read error";
    QTest::newRow("write") << Failure([] { throw EWriteError(Img, ENOSPC); })
                           << "Stream write error." << img + ": No space left on device";
    QTest::newRow("system") << Failure([] { throw EOSError(ENOSPC, Img); })
                            << "System Error.  Code: 28.\nNo space left on device."
                            << img + ": No space left on device";
    QTest::newRow("no file named")
        << Failure([] { throw EWriteError(); }) << "Stream write error." << QString();
    QTest::newRow("list") << Failure([] { throw EListError(7); }) << "List index out of bounds (7)"
                          << QString();
    QTest::newRow("the program's own") << Failure([] { throw Exception("a would be its own"); })
                                       << "a would be its own." << QString();
    QTest::newRow("out of memory")
        << Failure([] { throw std::bad_alloc(); }) << "Out of memory." << QString();
    // Paths are bytes: each part shows as UTF-8 where it is, else as Latin-1,
    // as the window shows every path; a backslash is part of a name.
    QTest::newRow("a path that is not UTF-8")
        << Failure([] { throw EFOpenError("/home/caf\xe9/a\\b.img", ENOENT); })
        << "Cannot open file /home/café/a\\b.img."
        << "/home/café/a\\b.img: Cannot open: No such file or directory";
    // A name from an archive is escaped as pelkon-cli escapes it.
    QTest::newRow("an entry's name with controls")
        << EntryFailure("evil\x1b[2J\x07.dff") << "Stream read error."
        << "evil\\x1b[2J\\x07.dff: Stream read error";
    QTest::newRow("an entry's name with a backslash")
        << EntryFailure("a\\x41.dff") << "Stream read error."
        << "a\\\\x41.dff: Stream read error";
    QTest::newRow("an entry's name in Latin-1")
        << EntryFailure("caf\xe9.dff") << "Stream read error."
        << "café.dff: Stream read error";
}

void ErrorMessagesTest::eachFailureNamesItsFileUnderTheMessage() {
    QFETCH(Failure, failure);
    QFETCH(QString, message);
    QFETCH(QString, detail);
    Guarded(nullptr, failure);
    QCOMPARE(dialogs->errors(), QStringList{message});
    QCOMPARE(dialogs->calls.last().title, QString("Pelkon"));
    QCOMPARE(dialogs->errorDetails, QStringList{detail});
}

void ErrorMessagesTest::aFailedCommandNamesTheFileAndWhy() {
    TestFolder folder;
    const QString img = folder.File("gta3.img");
    WriteArchive(img, {{"a.dff", 1}});
    WriteBytes(folder.File("b.txd"), Pattern(3000, 5));
    auto window = ShownWindow(folder, img);
    dialogs->openAnswers << QStringList{folder.File("b.txd")};
    faults::FailNthCall(1, ENOSPC, faults::Call::Write); // the disk is full
    ActionNamed(*window, "actAdd")->trigger();
    QVERIFY(faults::Fired());
    QCOMPARE(dialogs->errors(), QStringList{"Stream write error."});
    QCOMPARE(dialogs->errorDetails, QStringList{img + ": No space left on device"});
}

void ErrorMessagesTest::theMessageBoxShowsNamesAsTheyAre() {
    // A name that looks like markup is shown as typed, in the real box.
    dialogs.reset();
    QStringList shown;
    QList<Qt::TextFormat> formats;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            for (const QLabel* label : box->findChildren<QLabel*>())
                if (!label->text().isEmpty()) {
                    shown << label->text();
                    formats << label->textFormat();
                }
        if (modal)
            modal->close();
    });
    Guarded(nullptr, [] { throw EFOpenError("/m/<b>bold</b>.img", ENOENT); });
    QCOMPARE(formats, QList<Qt::TextFormat>(2, Qt::PlainText));
    shown.sort();
    QCOMPARE(shown, QStringList({"/m/<b>bold</b>.img: Cannot open: No such file or directory",
                                 "Cannot open file /m/<b>bold</b>.img."}));
}

QTEST_MAIN(ErrorMessagesTest)
#include "ErrorMessagesTest.moc"
