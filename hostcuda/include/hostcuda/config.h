/* hostcuda: visibility of the stand-in runtime's own symbols. */
#ifndef HOSTCUDA_CONFIG_H
#define HOSTCUDA_CONFIG_H

#if defined(_WIN32)
#  if defined(HOSTCUDA_BUILDING)
#    define HOSTCUDA_API __declspec(dllexport)
#  else
#    define HOSTCUDA_API __declspec(dllimport)
#  endif
#else
#  define HOSTCUDA_API __attribute__((visibility("default")))
#endif

#if defined(_MSC_VER)
#  define HOSTCUDA_ALIGN(n) __declspec(align(n))
#else
#  define HOSTCUDA_ALIGN(n) __attribute__((aligned(n)))
#endif

#ifdef __cplusplus
#  define HOSTCUDA_EXTERN_C_BEGIN extern "C" {
#  define HOSTCUDA_EXTERN_C_END }
#else
#  define HOSTCUDA_EXTERN_C_BEGIN
#  define HOSTCUDA_EXTERN_C_END
#endif

#endif
