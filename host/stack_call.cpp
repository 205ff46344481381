#include "stack_call.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#define SEHOST_SYMBOL "_sehost_call_on_stack"
#else
#define SEHOST_SYMBOL "sehost_call_on_stack"
#endif

// sehost_call_on_stack(function, args, count, misalignment, imbalance):
// copies the arguments onto a fresh frame whose address is `misalignment`
// past a 16-byte boundary, calls, stores in *imbalance how far the callee
// moved the stack pointer (0 for a caller-cleans function), and restores the
// stack whatever the callee did.
extern "C" uint32_t sehost_call_on_stack(const void* function, const uint32_t* args,
                                         unsigned count, unsigned misalignment,
                                         int32_t* imbalance);
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
    "  movl %esp, %esi\n"         // callee-saved: the stack pointer at the call
    "  call *%eax\n"
    "  movl %esp, %edx\n"
    "  subl %esi, %edx\n"
    "  movl 24(%ebp), %ecx\n"
    "  movl %edx, (%ecx)\n"
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
  int32_t imbalance = 0;
  const uint32_t result = sehost_call_on_stack(
      function, args.begin(), static_cast<unsigned>(args.size()), misalignment & 12u, &imbalance);
  if (imbalance != 0) {
    // A callee that pops its own arguments is not caller-cleans: a real host
    // would now run on a corrupted stack.
    std::fprintf(stderr, "stand-in host: the function at %p moved the stack by %d bytes\n",
                 function, int(imbalance));
    std::abort();
  }
  return result;
}

}  // namespace sehost
