#include "cli/Progress.h"

#include "archive/PrintableName.h"
#include "platform/Process.h"

#include <cstdio>
#include <string>

Progress::Progress(std::string_view verb, size_t total)
    : verb_(verb), total_(total), enabled_(total >= MinimumTotal && StandardErrorIsTerminal()) {}

Progress::~Progress() {
    if (drawn_)
        std::fputs("\r\033[K", stderr);
}

void Progress::Show(size_t done, std::string_view name) {
    if (!enabled_)
        return;
    auto now = std::chrono::steady_clock::now();
    if (drawn_ && done != total_ && now - lastDrawn_ < std::chrono::milliseconds(100))
        return;
    lastDrawn_ = now;
    drawn_ = true;
    std::string line = "\r\033[K" + std::string(verb_) + " " + std::to_string(done) + "/" +
                       std::to_string(total_) + ": " + PrintableName(name);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}
