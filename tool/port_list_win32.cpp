#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tool/console.h"
#include "tool/port_list.h"

// The ports the system's serial drivers registered, each with the path the tool opens and the
// driver's own name for it:
//   COM3  \\.\COM3  \Device\Serial2
void ListSerialPorts() {
  std::vector<std::pair<std::string, std::string>> ports;  // COMn, the driver's device name
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    for (DWORD index = 0;; ++index) {
      char name[256];
      DWORD nameLength = sizeof name;
      BYTE data[256] = {};
      DWORD dataLength = sizeof data - 1;
      DWORD type = 0;
      const LONG result =
          RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
      if (result == ERROR_NO_MORE_ITEMS) {
        break;
      }
      if (result == ERROR_SUCCESS && type == REG_SZ) {
        ports.emplace_back(reinterpret_cast<const char*>(data), name);
      }
    }
    RegCloseKey(key);
  }
  std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) {
    return std::atoi(a.first.c_str() + 3) < std::atoi(b.first.c_str() + 3);
  });
  if (ports.empty()) {
    Say("No serial ports found\r\n");
  }
  for (const auto& [com, device] : ports) {
    Say("%s  \\\\.\\%s  %s\r\n", com.c_str(), com.c_str(), device.c_str());
  }
}
