// Which device stands for a COM port on POSIX systems.
#pragma once

#include <cstddef>

// \\.\COMn names the device in the variable COMn when set, else /dev/ttyS<n-1>, the usual
// Linux numbering; a path without "COM" is taken as it is. `buffer` holds a built name.
const char* DeviceFor(const char* devicePath, char* buffer, std::size_t size);
