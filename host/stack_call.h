// Calls into a module the way any host may: as a caller-cleans function with
// 32-bit arguments, on a stack aligned to 16 bytes or deliberately not.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace sehost {

// Calls `function(args...)` with the stack pointer at the call instruction
// `misalignment` bytes (0, 4, 8 or 12) past a 16-byte boundary, and returns
// what the function left in EAX. Floats are passed as their bit pattern.
uint32_t call_cdecl(const void* function, std::initializer_list<uint32_t> args,
                    unsigned misalignment);

inline uint32_t word(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}
uint32_t word(float value);
inline uint32_t word(long value) { return static_cast<uint32_t>(value); }
inline uint32_t word(int value) { return static_cast<uint32_t>(value); }

}  // namespace sehost
