// Floats as bit patterns, for comparisons that tell -0 from +0 and one NaN
// from another.
//
// Values travel as uint32_t and reach memory only through memcpy: a float
// returned from a function comes back through the x87 stack on 32-bit x86,
// where a signalling NaN would be quietened on the way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace ringtest {

inline uint32_t bits_at(const float* where) {
  uint32_t pattern;
  std::memcpy(&pattern, where, sizeof pattern);
  return pattern;
}

inline void put_bits(float* where, uint32_t pattern) { std::memcpy(where, &pattern, sizeof pattern); }

inline uint32_t bits_of(float value) { return bits_at(&value); }

inline bool is_nan_bits(uint32_t pattern) {
  return (pattern & 0x7f800000u) == 0x7f800000u && (pattern & 0x007fffffu) != 0;
}

// "0x3f800000 (1)" for failure messages.
inline std::string describe_bits(uint32_t pattern) {
  float value;
  std::memcpy(&value, &pattern, sizeof value);
  char text[64];
  std::snprintf(text, sizeof text, "0x%08x (%.9g)", unsigned(pattern), double(value));
  return text;
}

// Patterns the tests use by name.
namespace fb {
constexpr uint32_t kPlusZero = 0x00000000u;
constexpr uint32_t kMinusZero = 0x80000000u;
constexpr uint32_t kOne = 0x3f800000u;
constexpr uint32_t kPlusInf = 0x7f800000u;
constexpr uint32_t kMinusInf = 0xff800000u;
constexpr uint32_t kQuietNaN = 0x7fc00000u;
constexpr uint32_t kDefaultNaN = 0xffc00000u;  // what x86 makes of an invalid operation
constexpr uint32_t kSmallestDenormal = 0x00000001u;
constexpr uint32_t kLargestDenormal = 0x007fffffu;
constexpr uint32_t kSmallestNormal = 0x00800000u;
constexpr uint32_t kLargestFinite = 0x7f7fffffu;
}  // namespace fb

}  // namespace ringtest
