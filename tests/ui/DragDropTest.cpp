// Drag and drop on the entry list: files dropped from a file manager run
// Import and Replace; drags the list does not take; selected entries dragged
// out are extracted into a private folder, which goes as soon as nobody can
// still be reading it.
#include "ScriptedDialogs.h"
#include "WorkflowTestSupport.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QtTest>

namespace {

QMimeData* UrlsOf(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << (path.contains("://") ? QUrl(path) : QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

// Drags `data` onto the list's middle as a file manager does; returns whether
// the list took it.
bool DropOnList(TfrmMain& window, const QMimeData* data,
                Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
    QWidget* target = window.fileList()->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, offered, data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, offered, data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &move);
    QDropEvent drop(at, offered, data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    QCoreApplication::processEvents(); // the import runs once the drop is answered
    return move.isAccepted() && drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

// Presses on the first selected row and moves the mouse far enough to start a
// drag; the scripted drag answers.
void DragSelectedRows(TfrmMain& window) {
    TFileListView* list = window.fileList();
    QWidget* viewport = list->viewport();
    const QPoint from =
        list->visualRect(list->model()->index(list->firstSelectedRow(), 0)).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    // The first move makes it a drag, the next one far enough away starts it.
    QTest::mouseMove(viewport, from + QPoint(2, 0));
    QTest::mouseMove(viewport, from + QPoint(QApplication::startDragDistance() + 10, 5));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, from);
}

QStringList Leftovers(const QString& tmp) {
    return QDir(tmp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

class DragDropTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder = std::make_unique<TestFolder>();
        dialogs = std::make_unique<ScriptedDialogs>();
        // Drag folders are made where the tests can see them.
        QVERIFY(QDir(folder->Path()).mkdir("tmp"));
        tmp = folder->File("tmp");
        qputenv("TMPDIR", QFile::encodeName(tmp));
    }
    void cleanup() {
        dialogs.reset();
        qunsetenv("TMPDIR");
    }

    void droppedFilesAreImportedAndReplace();
    void dropsTheListDoesNotTake_data();
    void dropsTheListDoesNotTake();
    void dragOutExtractsIntoAPrivateFolder_data();
    void dragOutExtractsIntoAPrivateFolder();
    void dragOutRefusesAHostileName();

private:
    std::unique_ptr<TfrmMain> Window(const std::vector<TestEntry>& entries) {
        WriteArchive(folder->File("gta3.img"), entries);
        return ShownWindow(*folder, folder->File("gta3.img"));
    }

    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
    QString tmp;
};

void DragDropTest::droppedFilesAreImportedAndReplace() {
    auto window = Window({{"infernus.dff", 1}, {"infernus.txd", 2}, {"cheetah.dff", 1}});
    QVERIFY(QDir(folder->Path()).mkdir("mods"));
    const QStringList files = {folder->File("mods/infernus.dff"), folder->File("mods/infernus.txd"),
                               folder->File("mods/addon.dff")};
    for (int i = 0; i < files.size(); ++i)
        WriteBytes(files[i], Pattern(3000 + i, i));

    std::unique_ptr<QMimeData> data(UrlsOf(files));
    QVERIFY(DropOnList(*window, data.get()));

    QVERIFY(dialogs->errors().isEmpty());
    QCOMPARE(ColumnTexts(*window),
             QStringList({"addon.dff", "cheetah.dff", "infernus.dff", "infernus.txd"}));
    QCOMPARE(SelectedNames(*window), QStringList({"infernus.dff", "infernus.txd"}));
    const QList<DirRecord> records = ReadRecords(folder->File("gta3.dir"));
    const QByteArray img = ReadBytes(folder->File("gta3.img"));
    QCOMPARE(RecordData(img, records[0]), Sectors(Pattern(3000, 0)));
    QCOMPARE(RecordData(img, records[1]), Sectors(Pattern(3001, 1)));
    QCOMPARE(records[3].name, QByteArray("addon.dff"));
    QCOMPARE(NoticeText(*window), QString("Import and Replace: 2 replaced, 1 added"));
}

void DragDropTest::dropsTheListDoesNotTake_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a web address") << "web";
    QTest::newRow("a missing file") << "missing";
    QTest::newRow("text, no files") << "text";
    QTest::newRow("a move only") << "move";
    QTest::newRow("the list's own rows, dragged back") << "own";
    QTest::newRow("no archive open") << "closed";
}

void DragDropTest::dropsTheListDoesNotTake() {
    QFETCH(QString, kind);
    auto window = Window({{"a.dff", 1}});
    WriteBytes(folder->File("a.dff"), Pattern(100, 1));
    QVERIFY(QDir(folder->Path()).mkdir("sub"));
    const QByteArray imgBefore = ReadBytes(folder->File("gta3.img"));
    const QString file = folder->File("a.dff");
    std::unique_ptr<QMimeData> data;
    Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    if (kind == "folder")
        data.reset(UrlsOf({file, folder->File("sub")}));
    else if (kind == "web")
        data.reset(UrlsOf({file, "https://example.com/a.dff"}));
    else if (kind == "missing")
        data.reset(UrlsOf({folder->File("gone.dff")}));
    else if (kind == "text") {
        data = std::make_unique<QMimeData>();
        data->setText(file);
    } else
        data.reset(UrlsOf({file}));
    if (kind == "move")
        offered = Qt::MoveAction;

    bool taken = false;
    if (kind == "own") {
        // While a drag of the list's rows is on, they come back as files of
        // the drag's folder; taking them would import each entry over itself.
        SelectRows(*window, {0});
        dialogs->dragAnswers << Qt::IgnoreAction;
        dialogs->duringDrag = [&](const QStringList& dragged) {
            std::unique_ptr<QMimeData> own(UrlsOf(dragged));
            taken = DropOnList(*window, own.get());
        };
        DragSelectedRows(*window);
        QCOMPARE(dialogs->count("dragFiles"), 1);
    } else if (kind == "closed") {
        ActionNamed(*window, "actClose")->trigger();
        QVERIFY(!window->fileList()->acceptDrops());
        taken = DropOnList(*window, data.get(), offered);
        QVERIFY(dialogs->calls.isEmpty());
        return;
    } else {
        taken = DropOnList(*window, data.get(), offered);
    }
    QVERIFY(!taken);
    QCOMPARE(ReadBytes(folder->File("gta3.img")), imgBefore);
    QCOMPARE(ColumnTexts(*window), QStringList{"a.dff"});
    QVERIFY(dialogs->errors().isEmpty());
}

void DragDropTest::dragOutExtractsIntoAPrivateFolder_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("progressShown");
    QTest::newRow("dropped") << int(Qt::CopyAction) << 2 << false;
    QTest::newRow("nobody took it") << int(Qt::IgnoreAction) << 2 << false;
    QTest::newRow("many entries") << int(Qt::CopyAction) << 20 << true;
}

void DragDropTest::dragOutExtractsIntoAPrivateFolder() {
    QFETCH(int, answer);
    QFETCH(int, selected);
    QFETCH(bool, progressShown);
    std::vector<TestEntry> entries;
    for (int i = 0; i < 24; ++i)
        entries.push_back({QString("e%1.txd").arg(10 + i).toStdString(), uint32_t(1 + i % 3)});
    auto window = Window(entries);
    QList<int> rows;
    for (int i = 0; i < selected; ++i)
        rows << 3 + i;
    SelectRows(*window, rows);

    QStringList seen;
    QFile::Permissions access;
    bool whole = true;
    dialogs->dragAnswers << Qt::DropAction(answer);
    dialogs->duringDrag = [&](const QStringList& files) {
        seen = files;
        access = QFileInfo(QFileInfo(files.first()).path()).permissions();
        for (const QString& file : files) {
            const int i = QFileInfo(file).baseName().mid(1).toInt() - 10;
            whole &= ReadBytes(file) == QByteArray(qsizetype(1 + i % 3) * 2048, char('A' + i));
        }
    };
    ProgressRecorder progress;
    DragSelectedRows(*window);

    QVERIFY(dialogs->errors().isEmpty());
    QCOMPARE(seen.size(), selected);
    QCOMPARE(QFileInfo(seen.first()).fileName(), QString("e13.txd"));
    QVERIFY(whole);
    QCOMPARE(access & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther),
             QFile::Permissions());
    QCOMPARE(!progress.frames.isEmpty(), progressShown);
    // Only a drag that nobody took can be cleaned up at once: a file manager
    // copies after it has answered the drop.
    const bool dropped = answer != Qt::IgnoreAction;
    QCOMPARE(QFile::exists(seen.first()), dropped);
    QCOMPARE(Leftovers(tmp).size(), dropped ? 1 : 0);
    window.reset();
    QVERIFY(Leftovers(tmp).isEmpty());
}

void DragDropTest::dragOutRefusesAHostileName() {
    auto window = Window({{"a.txd", 1}, {"../escaped.txd", 1}});
    SelectRows(*window, {0, 1});
    DragSelectedRows(*window);

    QCOMPARE(dialogs->count("dragFiles"), 0);
    // Told by the entry's name: the private folder is nothing the user knows.
    QCOMPARE(dialogs->errors(), QStringList{"Cannot create file ../escaped.txd."});
    QCOMPARE(
        dialogs->errorDetails,
        QStringList{"../escaped.txd: Cannot create: the entry's name is not a safe file name"});
    QVERIFY(Leftovers(tmp).isEmpty());
    QVERIFY(!QFile::exists(folder->File("escaped.txd")));
}

QTEST_MAIN(DragDropTest)
#include "DragDropTest.moc"
