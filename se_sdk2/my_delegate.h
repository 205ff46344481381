// my_delegate: a pointer to a member function of SEModule_base, held as the
// two 32-bit words that GCC uses for it on i386.
//
//   code word        the function's address for a non-virtual member, or
//                    1 + the byte offset of its virtual-table slot; 0 for none
//   adjustment word  the byte adjustment of the object pointer; 0 for members
//                    reached through single inheritance
//
// The host calls RawPointer() of a processing function as a plain cdecl
// function with the object first, so processing functions must be
// non-virtual members (a virtual one gives an odd small number, no address).
#pragma once

#include <cstdint>
#include <cstring>

template <typename MemberFunction>
class my_delegate {
  static_assert(sizeof(MemberFunction) == 8,
                "a pointer to member function is two 32-bit words");

 public:
  my_delegate(MemberFunction function) {  // NOLINT: converting on purpose
    std::memcpy(this, &function, sizeof function);
  }
  // A delegate rebuilt from a code word alone, as it comes back in an
  // EV_RUN_DELAYED event.
  explicit my_delegate(void* code_word) : m_code(code_word), m_adjust(0) {}

  void* RawPointer() const { return m_code; }
  int32_t Adjustment() const { return m_adjust; }

  MemberFunction Function() const {
    MemberFunction function;
    std::memcpy(&function, this, sizeof function);
    return function;
  }

  // Pointer-to-member equality: the same code word, and the same adjustment
  // unless there is no function at all.
  bool operator==(const my_delegate& other) const {
    return m_code == other.m_code && (m_code == nullptr || m_adjust == other.m_adjust);
  }
  bool operator!=(const my_delegate& other) const { return !(*this == other); }

 private:
  void* m_code;
  int32_t m_adjust;
};
