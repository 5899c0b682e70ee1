// Gate kinds: the integer code of every recorded operation and its names.
#pragma once

#include <cstdint>

namespace velorin {

using GateKind = int32_t;

namespace kind {
inline constexpr GateKind kH = 1, kX = 2, kI = 3, kId = 4, kT = 5, kS = 6, kTdg = 7, kSdg = 8,
                          kSX = 9, kSXdg = 10, kP = 11, kR = 12, kRV = 13, kRX = 14, kRY = 15,
                          kRZ = 16, kU = 17, kY = 18, kZ = 19, kCX = 20, kCY = 21, kCZ = 22,
                          kCH = 23, kCXAlt = 24, kCP = 25, kCRX = 26, kCRY = 27, kCRZ = 28,
                          kCS = 29, kCSdg = 30, kCSX = 31, kCU = 32, kDCX = 33, kECR = 34,
                          kISwap = 35, kRXX = 36, kRYY = 37, kRZX = 38, kRZZ = 39, kSwap = 40,
                          kMeasure = 41, kBarrierAlt = 42, kBarrier = 43, kReset = 44,
                          kCSwap = 45, kCU1 = 46, kCU3 = 47, kU1 = 48, kU2 = 49, kCCX = 50,
                          kCCZ = 51, kUnnamed = 52, kComposite = 53, kU0 = 54, kDelay = 55,
                          kCT = 56;
}  // namespace kind

struct GateKindEntry {
  GateKind kind;
  const char* qasm_name;
  const char* label;
};

inline constexpr int kGateKindCount = 56;
extern const GateKindEntry kGateKindTable[kGateKindCount];

inline bool IsBarrier(GateKind k) { return k == kind::kBarrier || k == kind::kBarrierAlt; }

}  // namespace velorin
