// Cost of loading the recent-files history at start, as the window does, from
// settings files of hostile shapes.
//
//   settings_bench [FOLDER]
//       makes each file in a fresh folder under FOLDER (default $TMPDIR or
//       /tmp), loads the history from it in a child process with an address
//       space of at most 4 GiB, and prints the wall time of the load, the
//       child's peak resident memory and what the load gave. About 130 MB of
//       disk for the largest file.
#include "history/History.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr qint64 MiB = 1024 * 1024;

// Writes `header` and then `line` repeated until the file holds `size` bytes.
bool MakeFile(const QString& path, const QByteArray& header, const QByteArray& line, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block;
    while (!line.isEmpty() && block.size() < MiB)
        block += line;
    if (file.write(header) != header.size())
        return false;
    for (qint64 written = header.size(); written < size && !block.isEmpty();) {
        const qint64 part = std::min<qint64>(block.size(), size - written);
        if (file.write(block.constData(), part) != part)
            return false;
        written += part;
    }
    return file.flush();
}

// Loads the history from `path` in a child and prints what it cost.
void MeasureLoad(const char* title, const QString& path) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return;
    const pid_t child = fork();
    if (child == 0) {
        // The old reader took about 110 bytes a line: keep it from taking the machine.
        const rlimit cap{4 * 1024 * MiB, 4 * 1024 * MiB};
        setrlimit(RLIMIT_AS, &cap);
        std::string outcome;
        QElapsedTimer timer;
        timer.start();
        try {
            THistory history;
            history.SetMaxItems(8);
            history.LoadFromFile(path, "history");
            outcome = std::to_string(history.Count()) + " paths";
        } catch (const std::bad_alloc&) {
            outcome = "out of memory";
        } catch (const std::exception& error) {
            outcome = error.what();
        }
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        char line[1024];
        const int length = std::snprintf(line, sizeof line, "%-32s %8.3f s %9.1f MiB  %s\n", title,
                                         seconds, static_cast<double>(usage.ru_maxrss) / 1024.0,
                                         outcome.substr(0, 200).c_str());
        if (length > 0 && write(pipeEnds[1], line, static_cast<size_t>(length)) < 0)
            _exit(1);
        _exit(0);
    }
    close(pipeEnds[1]);
    char buffer[1024];
    ssize_t got = 0;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        std::fwrite(buffer, 1, static_cast<size_t>(got), stdout);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::printf("%-32s the child ended abnormally (status %d)\n", title, status);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QTemporaryDir folder(base.isEmpty() ? QString() : base + "/settings_bench-XXXXXX");
    if (!folder.isValid()) {
        std::fprintf(stderr, "settings_bench: cannot make a folder\n");
        return 1;
    }
    const QString path = folder.filePath("Pelkon.ini");
    std::printf("%-32s %10s %13s  %s\n", "settings file", "load", "peak memory", "result");

    struct Case {
        const char* title;
        QByteArray header;
        QByteArray line;
        qint64 size;
    };
    const QByteArray eightPaths = "[history]\r\n0=/games/gta3/models/gta3.img\r\n"
                                  "1=/games/gta3/models/gta3.img\r\n2=/a.img\r\n3=/b.img\r\n"
                                  "4=/c.img\r\n5=/d.img\r\n6=/e.img\r\n7=/f.img\r\n";
    const Case cases[] = {
        {"eight paths (308 bytes)", eightPaths, "", eightPaths.size()},
        {"20 MB of line breaks", "", "\n", 20 * 1000 * 1000},
        {"100 MB of line breaks", "", "\n", 100 * 1000 * 1000},
        {"5 MB [history] section", "[history]\r\n", "x=/games/gta3/models/gta3.img\r\n",
         5 * 1000 * 1000},
        {"1 MiB [history] section", "[history]\r\n", "x=/games/gta3/models/gta3.img\r\n", MiB},
        {"1 MiB of CR", "", "\r", MiB},
    };
    for (const Case& c : cases) {
        if (!MakeFile(path, c.header, c.line, c.size)) {
            std::fprintf(stderr, "settings_bench: cannot write %s\n", qPrintable(path));
            return 1;
        }
        MeasureLoad(c.title, path);
    }
    return 0;
}
