// A one-line progress display on standard error, shown only when standard
// error is a terminal and the run is long enough to be worth watching.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

class Progress {
public:
    Progress(std::string_view verb, size_t total);
    ~Progress(); // clears the line, so that a message after it starts clean
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Shows "verb done/total: name"; redrawn at most a few times a second.
    void Show(size_t done, std::string_view name);

private:
    static constexpr size_t MinimumTotal = 10;

    std::string_view verb_;
    size_t total_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDrawn_{};
};
