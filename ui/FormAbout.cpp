#include "ui/FormAbout.h"

#include "ui/DialogSeam.h"
#include "ui/ErrorReporting.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#ifndef PELKON_README_PATH
#error "PELKON_README_PATH must name the installed README"
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

    Label3 = new QLabel(HomePage().toString(), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setStyleSheet(QStringLiteral("color: blue; text-decoration: underline;"));
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->installEventFilter(this);

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

QUrl TfrmAbout::HomePage() {
    return QUrl::fromLocalFile(QStringLiteral(PELKON_README_PATH));
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
