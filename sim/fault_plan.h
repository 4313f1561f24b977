// What a simulated unit does wrong, and when. Requests are the read and write requests the
// unit receives, numbered from 1 over the unit's whole life (a retry is a new request).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class FaultKind {
  kBadCrc,    // the response's CRC is wrong
  kFlipData,  // one bit of the response's payload is flipped, CRC left as it was
  kSplit,     // the response comes in two parts, `param` ms apart (default 150)
  kBytewise,  // the response comes byte by byte, `param` ms apart (default 2)
  kDrop,      // no response at all
  kExtra,     // `param` bytes appended to the response (default 1)
  kPrefix,    // `param` bytes sent before the response's preamble (default 1)
  kDelay,     // the response comes `param` ms late
  kTruncate,  // the last `param` bytes of the response are never sent (default: half of it)
  kHangup,    // the line is hung up on receiving the request
  kGarble,    // type letters and header bytes are nonsense, the CRC right for them
  kNoStore,   // a write request is acknowledged as usual, but its data are not stored
  kStale,     // a read request is answered with the data of the segment before it (for the
              // first segment, the one after it), under a right CRC
};

struct FaultRule {
  FaultKind kind;
  std::int32_t first;  // first request it applies to
  std::int32_t last;   // last one, inclusive
  std::int32_t param;  // -1: the kind's default
};

struct FaultPlan {
  std::vector<FaultRule> rules;
  std::int32_t quietFrom = 1;          // Quiet is ignored before this attempt
  std::int32_t noiseBeforeAnswer = 0;  // the first K answers to Quiet come after noise
  std::int32_t noiseAtStart = 0;       // bytes of noise sent when a tool opens the line
  std::int32_t extraAfterAnswer = 0;   // the first K answers to Quiet have a byte too many

  // The rule of `kind` that applies to `request`, or nullptr.
  const FaultRule* Find(FaultKind kind, std::int32_t request) const;
};

// Parses "kind@N", "kind@N+" (N and every later request), "kind@N-M", each with an optional
// ":param". Returns false and sets `error` on a malformed rule.
bool ParseFaultRule(const std::string& text, FaultRule& rule, std::string& error);
