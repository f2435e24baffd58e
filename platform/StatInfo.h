// What the file layer reads out of the system's struct stat. Internal to the
// file layer.
#pragma once

#include "platform/FileStream.h"

#include <sys/stat.h>

inline TFileInfo InfoOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_size),
            static_cast<uint32_t>(info.st_mode & 07777),
            info.st_uid,
            info.st_gid,
            static_cast<uint64_t>(info.st_dev),
            static_cast<uint64_t>(info.st_ino),
            static_cast<uint64_t>(info.st_nlink)};
}
