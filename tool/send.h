#pragma once

#include <cstdint>

// Writes a packet to the unit. A write the line does not take is reported where it happens,
// and what is still queued is thrown away; false tells the caller to end its step.
bool SendToUnit(const std::uint8_t* packet, std::uint32_t length);
