#include "sim/fault_plan.h"

#include <climits>
#include <cstdlib>

namespace {

struct KindName {
  const char* name;
  FaultKind kind;
};

const KindName kKinds[] = {
    {"badcrc", FaultKind::kBadCrc},     {"flipdata", FaultKind::kFlipData},
    {"split", FaultKind::kSplit},       {"bytewise", FaultKind::kBytewise},
    {"drop", FaultKind::kDrop},         {"extra", FaultKind::kExtra},
    {"prefix", FaultKind::kPrefix},     {"delay", FaultKind::kDelay},
    {"truncate", FaultKind::kTruncate}, {"hangup", FaultKind::kHangup},
    {"garble", FaultKind::kGarble},     {"nostore", FaultKind::kNoStore},
    {"stale", FaultKind::kStale},
};

bool ParseNumber(const std::string& text, std::int32_t& value) {
  if (text.empty()) {
    return false;
  }
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || parsed < 0 || parsed > INT32_MAX) {
    return false;
  }
  value = static_cast<std::int32_t>(parsed);
  return true;
}

}  // namespace

const FaultRule* FaultPlan::Find(FaultKind kind, std::int32_t request) const {
  for (const FaultRule& rule : rules) {
    if (rule.kind == kind && request >= rule.first && request <= rule.last) {
      return &rule;
    }
  }
  return nullptr;
}

bool ParseFaultRule(const std::string& text, FaultRule& rule, std::string& error) {
  const std::size_t at = text.find('@');
  if (at == std::string::npos) {
    error = "fault '" + text + "' has no @request";
    return false;
  }
  const std::string name = text.substr(0, at);
  bool known = false;
  for (const KindName& entry : kKinds) {
    if (name == entry.name) {
      rule.kind = entry.kind;
      known = true;
    }
  }
  if (!known) {
    error = "unknown fault '" + name + "'";
    return false;
  }
  std::string range = text.substr(at + 1);
  rule.param = -1;
  const std::size_t colon = range.find(':');
  if (colon != std::string::npos) {
    if (!ParseNumber(range.substr(colon + 1), rule.param)) {
      error = "bad parameter in '" + text + "'";
      return false;
    }
    range = range.substr(0, colon);
  }
  bool ok;
  if (!range.empty() && range.back() == '+') {
    ok = ParseNumber(range.substr(0, range.size() - 1), rule.first);
    rule.last = INT32_MAX;
  } else if (const std::size_t dash = range.find('-'); dash != std::string::npos) {
    ok = ParseNumber(range.substr(0, dash), rule.first) &&
         ParseNumber(range.substr(dash + 1), rule.last);
  } else {
    ok = ParseNumber(range, rule.first);
    rule.last = rule.first;
  }
  if (!ok || rule.first < 1 || rule.last < rule.first) {
    error = "bad request range in '" + text + "'";
    return false;
  }
  return true;
}
