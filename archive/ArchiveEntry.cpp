#include "archive/ArchiveEntry.h"

#include "archive/NameFold.h"
#include "platform/FileSystem.h"

bool IsSafeFileNameAnywhere(std::string_view displayName) {
    return !displayName.empty() && displayName != "." && displayName != ".." &&
           displayName.find('/') == std::string_view::npos;
}

bool IsSafeWindowsFileName(std::string_view displayName) {
    if (!IsSafeFileNameAnywhere(displayName) || displayName.back() == '.' ||
        displayName.back() == ' ')
        return false;
    for (char c : displayName)
        if (static_cast<unsigned char>(c) < 32 ||
            std::string_view(R"(\:<>"|?*)").find(c) != std::string_view::npos)
            return false;
    // A device name stays one with any extension, and with blanks before it.
    std::string_view base = displayName.substr(0, displayName.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (SameText(base, device))
            return false;
    if (base.size() >= 4 && (StartsWithText(base, "COM") || StartsWithText(base, "LPT"))) {
        const std::string_view number = base.substr(3);
        // COM0-9 and LPT0-9, and the superscript digits 1, 2 and 3 in UTF-8.
        if ((number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
            number == "\xC2\xB2" || number == "\xC2\xB3")
            return false;
    }
    return true;
}

bool IsSafeFileName(std::string_view displayName) {
#ifdef _WIN32
    return IsSafeWindowsFileName(displayName);
#else
    return IsSafeFileNameAnywhere(displayName);
#endif
}

std::string_view EntryNameFromPath(std::string_view path) {
    return FileNameOf(path);
}
