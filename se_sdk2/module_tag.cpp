// The constant text "SE_MODULE" that every module library carries first in
// its read-only data. No code refers to it; this object is linked first so
// that its .rdata leads the section.
#if defined(_WIN32)
__asm__(".section .rdata,\"dr\"\n\t.asciz \"SE_MODULE\"\n\t.text");
#else
__asm__(".section .rodata\n\t.asciz \"SE_MODULE\"\n\t.text");
#endif
