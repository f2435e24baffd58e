// pelkon-cli: the archive engine from the command line.
#include "cli/Dispatch.h"

int main(int argc, char** argv) {
    return RunCommandLine({argv + 1, argv + argc});
}
