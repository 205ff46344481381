#include "stack_call.h"

#include <cstring>

#if defined(_WIN32)
#define SEHOST_SYMBOL "_sehost_call_on_stack"
#else
#define SEHOST_SYMBOL "sehost_call_on_stack"
#endif

// sehost_call_on_stack(function, args, count, misalignment): copies the
// arguments onto a fresh frame whose address is `misalignment` past a 16-byte
// boundary, calls, and restores the stack whatever the callee did.
extern "C" uint32_t sehost_call_on_stack(const void* function, const uint32_t* args,
                                         unsigned count, unsigned misalignment);
__asm__(
    ".text\n"
    ".globl " SEHOST_SYMBOL "\n"
    SEHOST_SYMBOL ":\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 8(%ebp), %eax\n"       // function
    "  movl 12(%ebp), %esi\n"      // args
    "  movl 16(%ebp), %ecx\n"      // count
    "  leal 0(,%ecx,4), %edi\n"
    "  negl %edi\n"
    "  leal -64(%esp,%edi), %edi\n"
    "  andl $-16, %edi\n"
    "  addl 20(%ebp), %edi\n"      // misalignment
    "  movl %edi, %esp\n"
    "  xorl %edx, %edx\n"
    "1:\n"
    "  cmpl %ecx, %edx\n"
    "  jae 2f\n"
    "  movl (%esi,%edx,4), %edi\n"
    "  movl %edi, (%esp,%edx,4)\n"
    "  incl %edx\n"
    "  jmp 1b\n"
    "2:\n"
    "  call *%eax\n"
    "  leal -8(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");

namespace sehost {

uint32_t word(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

uint32_t call_cdecl(const void* function, std::initializer_list<uint32_t> args,
                    unsigned misalignment) {
  return sehost_call_on_stack(function, args.begin(), static_cast<unsigned>(args.size()),
                              misalignment & 12u);
}

}  // namespace sehost
