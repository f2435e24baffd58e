#include "ui/FormMain.h"

#include "archive/ArchiveCommands.h"
#include "archive/Gta3Archive.h"
#include "history/SettingsLocation.h"
#include "sorting/SortFunctions.h"
#include "ui/DialogSeam.h"
#include "ui/EntryModel.h"
#include "ui/ErrorReporting.h"
#include "ui/FormAbout.h"
#include "ui/Icons.h"
#include "ui/PathText.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

std::unique_ptr<TGTA3Archive> CurrentArchive;

namespace {

const QString ApplicationTitle = QStringLiteral("Pelkon");
const QByteArray HistorySection = QByteArrayLiteral("history");

} // namespace

TfrmMain::TfrmMain(const QByteArrayList& arguments, const QString& settingsPath, QWidget* parent)
    : QMainWindow(parent), FSettingsOverride(settingsPath) {
    setWindowTitle(ApplicationTitle);
    setWindowIcon(ApplicationIcon());
    resize(485, 560);
    if (const QScreen* desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(29);
    ToolBar1->hide();

    FModel = new TEntryModel(CurrentArchive, this);
    lsvFileList = new TFileListView(FModel, this);
    lsvFileList->setObjectName(QStringLiteral("lsvFileList"));
    lsvFileList->installEventFilter(this);
    setCentralWidget(lsvFileList);
    FEntryList = std::make_unique<TEntryListAdapter>(*lsvFileList);
    connect(lsvFileList, &TFileListView::columnClicked, this,
            [this](int column) { Guarded(this, [&] { lsvFileListColumnClick(column); }); });

    QStatusBar* stbMain = statusBar();
    stbMain->setObjectName(QStringLiteral("stbMain"));

    History.setObjectName(QStringLiteral("History"));
    History.SetMaxItems(8);
    History.SetIfExistsPlaceFirst(true);
    connect(&History, &THistory::OnChange, this,
            [this] { Guarded(this, [&] { HistoryChange(); }); });

    CreateActions();
    CreateMenus();
    connect(lsvFileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmMain::UpdateActions);
    connect(FModel, &QAbstractItemModel::rowsRemoved, this, &TfrmMain::UpdateActions);
    connect(FModel, &QAbstractItemModel::rowsInserted, this, &TfrmMain::UpdateActions);

    FormCreate(arguments);
}

TfrmMain::~TfrmMain() {
    // The window owns the archive: a window that goes without being closed
    // still releases both files.
    CurrentArchive.reset();
}

void TfrmMain::FormCreate(const QByteArrayList& arguments) {
    CurrentCompare = CompareByName;
    SortDescending = false;
    QCoreApplication::setApplicationName(ApplicationTitle);
    // Each step reports its own failure, so an unreadable settings file does not
    // keep the archive on the command line from opening.
    Guarded(this, [&] { History.LoadFromFile(SettingsFileName(), HistorySection); });
    if (!arguments.isEmpty())
        Guarded(this, [&] { OpenArchive(arguments.first()); });
    UpdateActions();
}

void TfrmMain::FormClose() {
    Guarded(this, [&] { CloseArchive(); });
    Guarded(this, [&] { History.SaveToFile(SettingsFileName(), HistorySection); });
}

QString TfrmMain::SettingsFileName() const {
    if (!FSettingsOverride.isEmpty())
        return FSettingsOverride;
    return SettingsFilePath(QCoreApplication::applicationDirPath());
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // A failed save has been shown by now; the program ends all the same.
    FormClose();
    event->accept();
}

void TfrmMain::OpenArchive(const QByteArray& FileName) {
    CloseArchive();
    CurrentArchive = std::make_unique<TGTA3Archive>(FileName.toStdString(), false);
    ShowArchiveTitle();
    SortEntries(*CurrentArchive, CurrentCompare);
    FEntryList->setRowCount(CurrentArchive->Count());
    FEntryList->repaint();
    History.Add(FileName);
    UpdateActions();
}

void TfrmMain::CloseArchive() {
    FEntryList->setRowCount(0);
    FEntryList->repaint();
    CurrentArchive.reset();
    setWindowTitle(ApplicationTitle);
    UpdateActions();
}

void TfrmMain::ShowArchiveTitle() {
    setWindowTitle(ApplicationTitle + QStringLiteral(" - [") +
                   PathToText(QByteArray::fromStdString(CurrentArchive->FileName())) +
                   QStringLiteral("]"));
}

void TfrmMain::mniNewClick() {
    FileDialogOptions dlgSave;
    dlgSave.title = QStringLiteral("Create new archive");
    dlgSave.filter = QStringLiteral("GTA3 Archive (*.img);;All Files (*.*)");
    dlgSave.defaultSuffix = QStringLiteral("img");
    dlgSave.initialPath = FSavePath;
    const QString path = Dialogs().saveFile(this, dlgSave);
    if (path.isEmpty())
        return;
    FSavePath = path;
    CloseArchive();
    // The save dialog's choice of an existing name is the user's say-so to
    // empty that pair.
    CurrentArchive = CreatePair(TextToPath(path).toStdString(), true);
    ShowArchiveTitle();
    UpdateActions();
}

void TfrmMain::mniOpenClick() {
    FileDialogOptions dlgOpen;
    dlgOpen.filter = QStringLiteral("GTA3 Archive (*.img)");
    dlgOpen.initialPath = FOpenPath;
    const QStringList paths = Dialogs().openFiles(this, dlgOpen);
    if (paths.isEmpty() || paths.first().isEmpty())
        return;
    FOpenPath = paths.first();
    OpenArchive(TextToPath(FOpenPath));
}

void TfrmMain::mniExitClick() {
    close();
}

void TfrmMain::mniAboutClick() {
    TfrmAbout frmAbout(this);
    frmAbout.exec();
}

void TfrmMain::lsvFileListColumnClick(int column) {
    static constexpr TCompareFunc ByColumn[] = {CompareByName, CompareByType, CompareBySize};
    if (!CurrentArchive || column < 0 || column >= TEntryModel::ColumnCount)
        return;
    const TCompareFunc previous = CurrentCompare;
    CurrentCompare = ByColumn[column];
    SortDescending = CurrentCompare == previous ? !SortDescending : false;
    // The selection and the focused row stay on their entries, so a command
    // right after the click acts on what the user chose.
    FEntryList->reorderTable({}, [] { SortEntries(*CurrentArchive, CurrentCompare); });
    FEntryList->repaint();
}
