#include "tool/send.h"

#include "link/serial_port.h"
#include "tool/console.h"

bool SendToUnit(const std::uint8_t* packet, std::uint32_t length) {
  if (WriteComPort(comHandle, packet, length)) {
    return true;
  }
  Say("COM Port write error\r\n");
  DiscardComPortOutput(comHandle);
  return false;
}
