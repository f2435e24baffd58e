// The line that says which file a failure concerns and why, built once for
// both programs: pelkon-cli prints it after its name, the window under the
// failure's message.
#pragma once

#include <exception>
#include <string>
#include <string_view>

// How a front end writes what a failure concerns. A terminal takes bytes as
// they are; the window decodes them as it decodes every path it shows.
struct TFailureWriting {
    // A file's path.
    std::string (*path)(std::string_view path);
    // An entry's name, escaped already as PrintableName does.
    std::string (*entryName)(std::string_view escapedName);
};
// The command line's: a path escaped as PrintableName does, bytes unchanged.
extern const TFailureWriting TerminalWriting;

// "PATH: reason" for a failure of a file, "NAME: reason" for one of an entry
// of an archive (the name escaped: it is bytes from the archive); empty when
// the failure names neither.
std::string FailureDetail(const std::exception& error,
                          const TFailureWriting& writing = TerminalWriting);
