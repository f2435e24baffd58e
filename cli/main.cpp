// pelkon-cli: the archive engine from the command line.
#include "cli/Dispatch.h"
#include "platform/Process.h"

int main(int argc, char** argv) {
    return RunCommandLine(ProgramArguments(argc, argv));
}
