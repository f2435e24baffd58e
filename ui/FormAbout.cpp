#include "ui/FormAbout.h"

#include "ui/DialogSeam.h"
#include "ui/ErrorReporting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#if !defined(PELKON_INSTALLED_README) || !defined(PELKON_SOURCE_README)
#error "PELKON_INSTALLED_README and PELKON_SOURCE_README must name the README"
#endif

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About..."));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    Label1 = new QLabel(QStringLiteral("GTA3 Pelkon " PELKON_VERSION), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);

    Label2 = new QLabel(QStringLiteral("Pelkon developers"), this);
    Label2->setObjectName(QStringLiteral("Label2"));

    // Without a README to open the line stays empty rather than show a dead link.
    Label3 = new QLabel(HomePage().toString(), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    if (!Label3->text().isEmpty()) {
        Label3->setStyleSheet(QStringLiteral("color: blue; text-decoration: underline;"));
        Label3->setCursor(Qt::PointingHandCursor);
        Label3->installEventFilter(this);
    }

    Button1 = new QPushButton(QStringLiteral("&Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button1->setFixedSize(75, 25);
    connect(Button1, &QPushButton::clicked, this, &TfrmAbout::Button1Click);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(3);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Label3);
    layout->addSpacing(24);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize); // the box cannot be resized

    Button1->setFocus();
}

QUrl TfrmAbout::HomePage(const QString& executableFolder) {
    const QDir folder(executableFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                 : executableFolder);
    // Installed, the README stands at a fixed place from the executable's folder,
    // whatever the prefix; from a build tree nothing is there, and the source
    // tree's README is the program's.
    for (const QString& readme : {folder.filePath(QStringLiteral(PELKON_INSTALLED_README)),
                                  QStringLiteral(PELKON_SOURCE_README)})
        if (QFileInfo(readme).isFile())
            return QUrl::fromLocalFile(QDir::cleanPath(readme));
    return {};
}

void TfrmAbout::keyPressEvent(QKeyEvent* event) {
    // Escape does not close the box: the Ok button has no cancel role.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label3 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Guarded(this, [&] { Label3Click(); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::Button1Click() {
    reject();
}

void TfrmAbout::Label3Click() {
    Dialogs().openUrl(this, HomePage());
}
