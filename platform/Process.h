// What the program asks of the system about itself, where each system has its
// own call: its process number and whether another runs, randomness, a lower priority for a helper
// thread, and its command line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The running process's number.
long ProcessNumber();
// Whether a process numbered `pid` runs on this machine (of any user).
bool ProcessRuns(long pid);
// Fills `buffer` with `size` bytes from the system's random source; false
// when there is none.
bool FillRandom(void* buffer, size_t size);
// Puts the calling thread behind the window's thread for the processor,
// without starving it on a busy machine. A hint: failures are ignored.
void LowerThreadPriority() noexcept;
// Whether standard error is a terminal (on Windows a console; the NUL device
// is none), where a progress line may be redrawn.
bool StandardErrorIsTerminal();
// For a windowed program about to answer on standard output (--help): on
// Windows, where such a program has no console, the console it was started
// from, if any, when its output is not redirected. Nothing elsewhere.
void AnswerInParentConsole();
// The program's arguments after its name. On Windows they are read from the
// system's UTF-16 command line and given as UTF-8, like every path inside
// the program; standard output and error there write bytes as they are
// (binary mode), as on Linux.
std::vector<std::string> ProgramArguments(int argc, char** argv);
