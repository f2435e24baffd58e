// Windows' error codes as the error numbers the rest of the program knows
// (EEXIST, ENOSPC, EWOULDBLOCK for a file another program holds...), so a
// failure reads the same, and is handled the same, on every system.
// Internal to the file layer.
#pragma once

// The error number for a Windows error code (GetLastError()); EIO for a code
// the table does not know.
int ErrorNumberFromWindows(unsigned long code);
// The same for the calling thread's last Windows error.
int LastErrorNumber();
