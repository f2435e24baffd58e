#include "ui/FormMain.h"

#include "archive/ArchiveCommands.h"
#include "archive/Gta3Archive.h"
#include "history/SettingsFile.h"
#include "history/SettingsLocation.h"
#include "sorting/SortFunctions.h"
#include "ui/BackgroundCheck.h"
#include "ui/CommandSupport.h"
#include "ui/DialogSeam.h"
#include "ui/DragFolders.h"
#include "ui/EntryModel.h"
#include "ui/ErrorReporting.h"
#include "ui/FormAbout.h"
#include "ui/Icons.h"
#include "ui/JobRunner.h"
#include "ui/PathText.h"
#include "ui/StatusPanel.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

std::unique_ptr<TGTA3Archive> CurrentArchive;

namespace {

const QString ApplicationTitle = QStringLiteral("Pelkon");
const QByteArray HistorySection = QByteArrayLiteral("history");

} // namespace

TfrmMain::TfrmMain(const QByteArrayList& arguments, const QString& settingsPath, QWidget* parent)
    : QMainWindow(parent), FSettingsFile(settingsPath) {
    setWindowTitle(ApplicationTitle);
    setWindowIcon(ApplicationIcon());
    resize(485, 560);
    if (const QScreen* desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(29);
    ToolBar1->hide();

    // The filter field stands above the list, which fills the rest.
    auto* listArea = new QWidget(this);
    auto* listLayout = new QVBoxLayout(listArea);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    edtFilter = new QLineEdit(listArea);
    edtFilter->setObjectName(QStringLiteral("edtFilter"));
    edtFilter->setPlaceholderText(
        QStringLiteral("Filter (Ctrl+F): part of a name, or a pattern such as *.txd"));
    edtFilter->setClearButtonEnabled(true);
    edtFilter->installEventFilter(this);
    listLayout->addWidget(edtFilter);
    FModel = new TEntryModel(CurrentArchive, this);
    lsvFileList = new TFileListView(FModel, listArea);
    lsvFileList->setObjectName(QStringLiteral("lsvFileList"));
    lsvFileList->installEventFilter(this);
    listLayout->addWidget(lsvFileList);
    setCentralWidget(listArea);
    setTabOrder(lsvFileList, edtFilter);
    lsvFileList->setFocus(); // typing at start searches the list, as before
    FEntryList = std::make_unique<TEntryListAdapter>(*lsvFileList);
    connect(lsvFileList, &TFileListView::columnClicked, this,
            [this](int column) { Guarded(this, [&] { lsvFileListColumnClick(column); }); });
    connect(edtFilter, &QLineEdit::textChanged, this, &TfrmMain::edtFilterChange);
    // A drop is answered first; the import runs once the drag is over.
    connect(lsvFileList, &TFileListView::filesDropped, this, &TfrmMain::lsvFileListDrop,
            Qt::QueuedConnection);
    connect(lsvFileList, &TFileListView::dragOutRequested, this, &TfrmMain::lsvFileListDragOut);

    QStatusBar* stbMain = statusBar();
    stbMain->setObjectName(QStringLiteral("stbMain"));
    FStatus = std::make_unique<TStatusPanel>(stbMain);
    FCheck = new TBackgroundCheck(CurrentArchive, this);
    connect(FCheck, &TBackgroundCheck::Finished, this, &TfrmMain::UpdateStatus);
    FDragFolders = std::make_unique<TDragFolders>();
    FJobs = new TJobRunner(TJobRunner::TMode::Worker, this);
    connect(FJobs, &TJobRunner::RunningChanged, this, &TfrmMain::JobRunningChanged);

    History.setObjectName(QStringLiteral("History"));
    History.SetMaxItems(8);
    History.SetIfExistsPlaceFirst(true);
    connect(&History, &THistory::OnChange, this,
            [this] { Guarded(this, [&] { HistoryChange(); }); });

    CreateActions();
    CreateMenus();
    connect(lsvFileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmMain::UpdateWindow);
    connect(FModel, &QAbstractItemModel::rowsRemoved, this, &TfrmMain::UpdateWindow);
    connect(FModel, &QAbstractItemModel::rowsInserted, this, &TfrmMain::UpdateWindow);

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
    if (FSettingsFile.isEmpty())
        FSettingsFile = SettingsFilePath(QCoreApplication::applicationDirPath());
    // Each step reports its own failure, so an unreadable settings file does not
    // keep the archive on the command line from opening.
    Guarded(this, [&] {
        try {
            History.LoadFromFile(FSettingsFile, HistorySection);
        } catch (const ESettingsFileTooLarge&) {
            FSaveHistory = false;
            throw;
        }
    });
    if (!arguments.isEmpty())
        Guarded(
            this, [&] { OpenArchive(arguments.first()); }, QStringLiteral("Open"));
    UpdateWindow();
}

void TfrmMain::FormClose() {
    Guarded(this, [&] { CloseArchive(); });
    if (FSaveHistory)
        Guarded(this, [&] { History.SaveToFile(FSettingsFile, HistorySection); });
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (JobRunning()) {
        // The window closes once the command has stopped at its next entry.
        event->ignore();
        if (!FCloseAfterJob &&
            Dialogs().confirm(this, QStringLiteral("Confirm"),
                              QStringLiteral("A command is still running. Cancel it and close?"))) {
            FCloseAfterJob = true;
            if (JobRunning())
                FJobs->Cancel();
            else // it ended while the question was asked
                QTimer::singleShot(0, this, &QWidget::close);
        }
        return;
    }
    // A failed save has been shown by now; the program ends all the same.
    FormClose();
    event->accept();
}

bool TfrmMain::JobRunning() const {
    return FJobs->Running();
}

void TfrmMain::JobRunningChanged() {
    if (JobRunning()) {
        FModel->Freeze();
        FCheck->SetHeld(true);
        UpdateActions();
        return;
    }
    FModel->Thaw();
    FCheck->SetHeld(false);
    if (FCloseAfterJob) // once the command's handler has returned
        QTimer::singleShot(0, this, &QWidget::close);
}

void TfrmMain::OpenArchive(const QByteArray& FileName) {
    CloseArchive();
    CurrentArchive = std::make_unique<TGTA3Archive>(FileName.toStdString(), false);
    ShowArchiveTitle();
    FEntryList->setRowCount(CurrentArchive->Count());
    FModel->sortBy(CurrentCompare, SortDescending);
    FEntryList->repaint();
    // The dead space and the problems are counted once the window shows the
    // archive, so opening takes no longer for them and asks nothing.
    FCheck->Start(lsvFileList->viewport());
    History.Add(FileName);
    UpdateActions();
}

void TfrmMain::CloseArchive() {
    FEntryList->setRowCount(0);
    FEntryList->repaint();
    edtFilter->clear(); // the next archive shows every entry
    FCheck->Discard();
    FStatus->SetNotice({});
    FUndo.Clear();
    CurrentArchive.reset();
    setWindowTitle(ApplicationTitle);
    UpdateActions();
}

void TfrmMain::ShowArchiveTitle() {
    // A single file says so; a pair is what the title has always shown.
    setWindowTitle(
        ApplicationTitle + QStringLiteral(" - [") +
        PathToText(QByteArray::fromStdString(CurrentArchive->FileName())) + QStringLiteral("]") +
        (CurrentArchive->Kind() == TArchiveKind::SingleFile ? QStringLiteral(" (single file)")
                                                            : QString()));
}

TArchiveKind KindChosen(const QString& filter, TArchiveKind otherwise) {
    if (filter == SingleFileArchiveFilter())
        return TArchiveKind::SingleFile;
    return filter == PairArchiveFilter() ? TArchiveKind::Pair : otherwise;
}

void TfrmMain::mniNewClick() {
    FileDialogOptions dlgSave = SaveArchiveOptions(QStringLiteral("Create new archive"), FSavePath);
    QString chosen;
    dlgSave.chosenFilter = &chosen;
    const QString path = Dialogs().saveFile(this, dlgSave);
    if (path.isEmpty())
        return;
    FSavePath = path;
    CloseArchive();
    // The save dialog's choice of an existing name is the user's say-so to
    // replace that archive.
    const TArchiveKind kind = KindChosen(chosen, TArchiveKind::Pair);
    TNewPair created = CreateArchive(HostPath(path), kind, true);
    CurrentArchive = std::move(created.Archive);
    FStatus->SetNotice(WarningsNotice(QStringLiteral("New"), created.Warnings,
                                      kind == TArchiveKind::Pair
                                          ? QStringLiteral("the new pair is in place")
                                          : QStringLiteral("the new archive is in place")));
    ShowArchiveTitle();
    FCheck->Start();
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
    FModel->sortBy(CurrentCompare, SortDescending);
    FEntryList->repaint();
}
