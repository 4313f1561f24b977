#include "tool/send.h"

#include "link/serial_port.h"
#include "tool/console.h"
#include "tool/trace.h"

bool SendToUnit(const std::uint8_t* packet, std::uint32_t length) {
  if (TracedWriteComPort(comHandle, packet, length)) {
    return true;
  }
  Say("COM Port write error\r\n");
  TracedDiscardComPortOutput(comHandle);
  return false;
}
