// The editor's entry: one window, opened on the archive named on the command line.
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "ui/FormMain.h"

#include <QApplication>
#include <QByteArrayList>

#include <cstring>
#include <string_view>

namespace {

const char* const Help =
    "Usage: pelkon [ARCHIVE]\n"
    "Opens a window on the GTA3 archive pair ARCHIVE, the path of its data\n"
    "file (usually .img; the directory file .dir lies beside it), or on no\n"
    "archive. Further arguments are ignored. Qt's own options, such as\n"
    "-platform or -style, are taken by Qt before ARCHIVE is looked for.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "The archives opened last are listed under File, Reopen. They are kept in\n"
    "Pelkon.ini beside the program when that file is there and its folder is\n"
#ifdef _WIN32
    "writable, otherwise in %APPDATA%\\Pelkon\\Pelkon.ini.\n";
#else
    "writable, otherwise in $XDG_CONFIG_HOME/Pelkon/Pelkon.ini\n"
    "(~/.config/Pelkon/Pelkon.ini by default).\n";
#endif

// Writes an answer to standard output; 1 when it could not be written whole.
int Answer(std::string_view text) {
    try {
        WriteStandardOutput(text);
        return 0;
    } catch (const Exception&) {
        return 1;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before Qt starts, so they need no display.
    if (argc > 1 && argv[1][0] == '-')
        AnswerInParentConsole();
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
        return Answer(Help);
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0)
        return Answer("pelkon " PELKON_VERSION "\n");

    QApplication application(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("io.github.pelkon.Pelkon"));
    // Qt has taken its own options out of argv. The rest are kept as bytes:
    // QApplication::arguments() decodes them as UTF-8, which loses any other byte.
    QByteArrayList arguments;
#ifdef Q_OS_WIN
    // Windows' argv is in the ANSI code page; Qt reads the UTF-16 command
    // line, and paths are UTF-8 inside the program.
    for (const QString& argument : QCoreApplication::arguments().mid(1))
        arguments << argument.toUtf8();
#else
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
#endif
    TfrmMain frmMain(arguments);
    frmMain.show();
    return QApplication::exec();
}
