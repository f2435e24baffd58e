// The editor's entry: one window, opened on the archive named on the command line.
#include "ui/FormMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("pelkon"));
    TfrmMain frmMain(QApplication::arguments().mid(1));
    frmMain.show();
    return QApplication::exec();
}
