/* A library that loads but is no module: it exports neither of the two
   functions a host looks for. */
#if defined(_WIN32)
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
int not_a_module_answer(void) { return 42; }
