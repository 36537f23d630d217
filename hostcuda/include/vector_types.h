/* hostcuda: the vector types that kernels and callers share. */
#ifndef HOSTCUDA_VECTOR_TYPES_H
#define HOSTCUDA_VECTOR_TYPES_H

#include "hostcuda/config.h"

struct HOSTCUDA_ALIGN(8) float2 {
  float x, y;
};
typedef struct float2 float2;

/* Four floats, aligned as the device's 16-byte loads and stores need. */
struct HOSTCUDA_ALIGN(16) float4 {
  float x, y, z, w;
};
typedef struct float4 float4;

struct HOSTCUDA_ALIGN(8) int2 {
  int x, y;
};
typedef struct int2 int2;

struct uint3 {
  unsigned int x, y, z;
};
typedef struct uint3 uint3;

struct dim3 {
  unsigned int x, y, z;
#ifdef __cplusplus
  constexpr dim3(unsigned int vx = 1, unsigned int vy = 1, unsigned int vz = 1) : x(vx), y(vy), z(vz) {}
  constexpr dim3(uint3 v) : x(v.x), y(v.y), z(v.z) {}
  constexpr operator uint3() const { return uint3{x, y, z}; }
#endif
};
typedef struct dim3 dim3;

#endif
