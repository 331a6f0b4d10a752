#pragma once
// Marks the few symbols the host looks up by name in the module file. Everything else is hidden
// (the module is compiled with hidden visibility). Exported data is declared with this macro and
// defined on a separate line: g++ for Windows warns about an initialised `extern` declaration.

#if defined(_WIN32)
#define FW_EXPORT __declspec(dllexport)
#else
#define FW_EXPORT __attribute__((visibility("default")))
#endif
