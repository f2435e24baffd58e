#include "archive/FailureText.h"

#include "archive/PrintableName.h"
#include "platform/Errors.h"

const TFailureWriting TerminalWriting = {
    PrintableName,
    [](std::string_view escapedName) { return std::string(escapedName); },
};

std::string FailureDetail(const std::exception& error, const TFailureWriting& writing) {
    const auto* file = dynamic_cast<const EFileError*>(&error);
    if (!file || file->Path().empty())
        return {};
    const std::string subject = file->NamesEntry() ? writing.entryName(PrintableName(file->Path()))
                                                   : writing.path(file->Path());
    return subject + ": " + file->Reason();
}
