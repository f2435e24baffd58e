// Stopping a long command between two entries, at the user's word: the
// command asks its stop token before each entry (or each piece of a copy) and
// throws ECancelled when asked to stop. What was done before stays done, as
// after a failure at that entry; a compaction leaves the archive as it was.
#pragma once

#include "platform/Errors.h"

#include <stop_token>
#include <string>

// Not a failure: the user stopped the command. The core throws it bare; a
// front end may throw it again with what was done ("3 of 10 files added").
class ECancelled : public Exception {
public:
    explicit ECancelled(const std::string& done = "cancelled") : Exception(done) {}
};

// Throws ECancelled when `stop` has been asked to stop.
inline void StopIfAsked(const std::stop_token& stop) {
    if (stop.stop_requested())
        throw ECancelled();
}
