#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tool/console.h"
#include "tool/port_list.h"
#include "tool/port_list_posix.h"

namespace {

// snprintf that says whether all of it fitted; a path cut short names nothing worth reading.
bool Format(char* out, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

bool Format(char* out, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(out, size, format, args);
  va_end(args);
  return length >= 0 && static_cast<std::size_t>(length) < size;
}

struct Name {
  char text[NAME_MAX + 1];
};

// The first line of a sysfs attribute, without its line end; "" when there is none.
void Attribute(const char* folder, const char* name, char* value, std::size_t size) {
  char path[PATH_MAX];
  value[0] = '\0';
  if (!Format(path, sizeof path, "%s/%s", folder, name)) {
    return;
  }
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    return;
  }
  if (std::fgets(value, static_cast<int>(size), file) == nullptr) {
    value[0] = '\0';
  }
  std::fclose(file);
  value[std::strcspn(value, "\r\n")] = '\0';
}

bool Exists(const char* folder, const char* name) {
  char path[PATH_MAX];
  return Format(path, sizeof path, "%s/%s", folder, name) && access(path, F_OK) == 0;
}

// The kernel's names for the UART types it reports (serial_core.h).
const char* UartName(int type) {
  switch (type) {
    case 1:
      return "8250";
    case 2:
      return "16450";
    case 3:
      return "16550";
    case 4:
      return "16550A";
    case 6:
      return "16650";
    case 7:
      return "16650V2";
    case 8:
      return "16750";
    case 10:
      return "16C950";
    case 11:
      return "16654";
    case 12:
      return "16850";
    case 14:
      return "NS16550A";
    default:
      return nullptr;
  }
}

// By the tty's number after its kind, so that ttyS2 comes before ttyS10.
int NaturalOrder(const void* a, const void* b) {
  const char* one = static_cast<const Name*>(a)->text;
  const char* other = static_cast<const Name*>(b)->text;
  const std::size_t oneKind = std::strcspn(one, "0123456789");
  const std::size_t otherKind = std::strcspn(other, "0123456789");
  const int kind = std::strncmp(one, other, oneKind < otherKind ? otherKind : oneKind);
  if (kind != 0) {
    return kind;
  }
  const long difference = std::atol(one + oneKind) - std::atol(other + otherKind);
  return difference < 0 ? -1 : difference > 0 ? 1 : 0;
}

// The stable name udev gave the tty, "/dev/serial/by-id/...", or its /dev name.
void StableName(const char* root, const char* tty, char* path, std::size_t size) {
  Format(path, size, "/dev/%s", tty);
  char folder[PATH_MAX];
  DIR* links =
      Format(folder, sizeof folder, "%s/dev/serial/by-id", root) ? opendir(folder) : nullptr;
  if (links == nullptr) {
    return;
  }
  while (const dirent* link = readdir(links)) {
    char from[PATH_MAX];
    char to[PATH_MAX];
    if (link->d_name[0] == '.' || !Format(from, sizeof from, "%s/%s", folder, link->d_name) ||
        realpath(from, to) == nullptr) {
      continue;
    }
    const char* base = std::strrchr(to, '/');
    if (base != nullptr && std::strcmp(base + 1, tty) == 0) {
      Format(path, size, "/dev/serial/by-id/%s", link->d_name);
      break;
    }
  }
  closedir(links);
}

// A USB adapter's identity, from the first folder above the tty's device that has one.
bool UsbIdentity(const char* ttyFolder, char* what, std::size_t size) {
  char device[PATH_MAX];
  char at[PATH_MAX + 16];
  if (!Format(at, sizeof at, "%s/device", ttyFolder) || realpath(at, device) == nullptr) {
    return false;
  }
  for (int up = 0; up < 8; ++up) {
    if (Exists(device, "idVendor")) {
      char vendor[16], product[16], maker[128], name[128], serial[128];
      Attribute(device, "idVendor", vendor, sizeof vendor);
      Attribute(device, "idProduct", product, sizeof product);
      Attribute(device, "manufacturer", maker, sizeof maker);
      Attribute(device, "product", name, sizeof name);
      Attribute(device, "serial", serial, sizeof serial);
      Format(what, size, "usb %s:%s%s%s%s%s%s%s", vendor, product, maker[0] ? ", " : "", maker,
             name[0] ? ", " : "", name, serial[0] ? ", serial " : "", serial);
      return true;
    }
    char* slash = std::strrchr(device, '/');
    if (slash == nullptr || slash == device) {
      return false;
    }
    *slash = '\0';
  }
  return false;
}

// One tty's line; false for a placeholder of a UART that is not there.
bool Describe(const char* root, const char* tty, char* line, std::size_t size) {
  char folder[PATH_MAX];
  if (!Format(folder, sizeof folder, "%s/sys/class/tty/%s", root, tty)) {
    return false;
  }
  if (std::strncmp(tty, "ttyS", 4) == 0) {
    char type[16], port[32], irq[16];
    Attribute(folder, "type", type, sizeof type);
    if (std::atoi(type) == 0) {
      return false;
    }
    Attribute(folder, "port", port, sizeof port);
    Attribute(folder, "irq", irq, sizeof irq);
    const char* uart = UartName(std::atoi(type));
    char kind[32];
    Format(kind, sizeof kind, uart ? "%s" : "uart type %s", uart ? uart : type);
    Format(line, size, "/dev/%s  COM%ld by default  %s%s%s%s%s", tty, std::atol(tty + 4) + 1, kind,
           port[0] ? ", port " : "", port, irq[0] ? ", irq " : "", irq);
    return true;
  }
  char path[PATH_MAX];
  StableName(root, tty, path, sizeof path);
  char what[512];
  if (!UsbIdentity(folder, what, sizeof what)) {
    char driverLink[PATH_MAX + 16];
    char driver[PATH_MAX];
    const char* base = Format(driverLink, sizeof driverLink, "%s/device/driver", folder) &&
                               realpath(driverLink, driver) != nullptr
                           ? std::strrchr(driver, '/')
                           : nullptr;
    Format(what, sizeof what, "%s%s", base ? "driver " : "serial device", base ? base + 1 : "");
  }
  Format(line, size, "/dev/%s  COMn=%s  %s", tty, path, what);
  return true;
}

}  // namespace

int DescribeSerialPorts(const char* root, PortLine (&lines)[kMostPorts]) {
  char folder[PATH_MAX];
  DIR* ttys = Format(folder, sizeof folder, "%s/sys/class/tty", root) ? opendir(folder) : nullptr;
  if (ttys == nullptr) {
    return 0;
  }
  static Name names[4 * kMostPorts];
  std::size_t count = 0;
  while (const dirent* entry = readdir(ttys)) {
    char tty[PATH_MAX];
    // Virtual terminals and pseudo-terminals have no device behind them.
    if (entry->d_name[0] != '.' && Format(tty, sizeof tty, "%s/%s", folder, entry->d_name) &&
        Exists(tty, "device") && count < sizeof names / sizeof names[0]) {
      Format(names[count++].text, sizeof names[0].text, "%s", entry->d_name);
    }
  }
  closedir(ttys);
  std::qsort(names, count, sizeof names[0], NaturalOrder);
  int found = 0;
  for (std::size_t i = 0; i < count && found < kMostPorts; ++i) {
    if (Describe(root, names[i].text, lines[found].text, sizeof lines[found].text)) {
      ++found;
    }
  }
  return found;
}

void ListSerialPorts() {
  static PortLine lines[kMostPorts];
  const int found = DescribeSerialPorts("", lines);
  if (found == 0) {
    Say("No serial ports found\r\n");
  }
  for (int i = 0; i < found; ++i) {
    Say("%s\r\n", lines[i].text);
  }
}
