// What the library does as a loaded module, apart from its exports.
#include "cuda_brelmont.h"

// Read by NVIDIA's driver on systems with switchable graphics: run this process's CUDA work on the NVIDIA GPU.
extern "C" {
CUDA_BRELMONT_API int NvOptimusEnablementCuda = 1;
}

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The library has no per-thread state, so it needs no thread attach or detach notifications. C linkage: the
// C runtime's entry point calls DllMain by that name.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
#endif
