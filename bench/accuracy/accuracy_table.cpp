// math_accuracy: measures every math export over the points of its accuracy test and prints the worst
// errors as a markdown table (docs/accuracy.md for the host variant). It calls only the exports and the
// runtime, so the cuda build prints the same table for a GPU. Exits 1 if any point breaks its bound.
#include <cuda_runtime.h>

#include <cstdio>
#include <string>

#include "accuracy/accuracy_cases.h"

namespace {

const char* variant() {
#if defined(CUDA_BRELMONT_HOST_VARIANT)
  return "the `host` variant (kernels on the CPU, the host's libm)";
#else
  return "the `cuda` variant";
#endif
}

std::string device_name() {
#if defined(CUDA_BRELMONT_HOST_VARIANT)
  return "";
#else
  cudaDeviceProp properties{};
  int device = 0;
  if (cudaGetDevice(&device) != cudaSuccess || cudaGetDeviceProperties(&properties, device) != cudaSuccess) return "";
  return std::string(" on ") + properties.name;
#endif
}

std::string number(double v) {
  char text[32];
  if (v != v || v > 1e300) return "inf";
  std::snprintf(text, sizeof text, v >= 1e5 ? "%.3g" : "%.2f", v);
  return text;
}

}  // namespace

int main() {
  std::printf("# Accuracy of the elementwise math exports\n\n");
  std::printf("Measured on %s%s.\n\n", variant(), device_name().c_str());
  std::printf("Written by `math_accuracy` (bench/accuracy/accuracy_table.cpp) over the same points and against the\n"
              "same references as the accuracy tests (bench/accuracy/accuracy_cases.cpp). Regenerate with:\n\n");
  std::printf("    cmake --preset host && cmake --build --preset host -j2 --target math_accuracy\n"
              "    build/host/bench/accuracy/math_accuracy > docs/accuracy.md\n\n");
  std::printf(
      "Errors are in float ulps of the exact value (a long double reference). Each bound follows from the\n"
      "recipe: one library call is held to its published bound plus half an ulp (published bounds are\n"
      "against the correctly rounded value); a recipe computed in double and rounded once, to half an ulp\n"
      "plus the double's own error (under 2^-20 ulp); a composed recipe, to the sum of its steps, an ulp of\n"
      "one step counting as up to two ulps of the next where a reciprocal or quotient moves the significand\n"
      "across its binade. Where a recipe rounds an intermediate (1/x, x + 1, 1/y) before a function that\n"
      "magnifies that rounding, the bound is computed per point: the function's bound plus the exact effect\n"
      "of the rounding there, so large errors near x = 1 or x = 0 belong to the recipe, not to the library.\n"
      "\"Margin\" is the least (bound - error) over the points: how close the closest point came. Points\n"
      "where a step leaves the float range (1/x of a tiny x, cosh x beyond 89.4) are held to the recipe's\n"
      "own value there and counted under \"Outside\".\n\n");
  std::printf("| Export | Recipe | Bound (ulp) | Worst error (ulp) | At | Margin | Points | Outside |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  int status = 0;
  for (const math_accuracy::Case& c : math_accuracy::cases()) {
    const math_accuracy::Measurement m = math_accuracy::measure(c);
    if (m.status != cudaSuccess) {
      std::printf("| %s | `%s` | %s | failed: %s | | | | |\n", c.name.c_str(), c.recipe.c_str(), c.bound.c_str(),
                  cudaGetErrorName(m.status));
      status = 1;
      continue;
    }
    std::string worst = number(m.worst.error);
    if (c.bound.find("per point") != std::string::npos) {
      worst += " (bound there " + number(m.worst.expected.bound) + ")";
    }
    std::printf("| %s | `%s` | %s | %s | %s | %.2f | %zu | %zu |\n", c.name.c_str(), c.recipe.c_str(), c.bound.c_str(),
                worst.c_str(), math_accuracy::describe(c, m.worst.at).c_str(), m.least_margin, m.points, m.outside);
    if (!m.failures.empty() || !m.tail_intact) {
      status = 1;
      for (const math_accuracy::PointResult& r : m.failures) {
        std::fprintf(stderr, "%s\n", math_accuracy::describe(c, r).c_str());
      }
      if (!m.tail_intact) std::fprintf(stderr, "%s wrote past n\n", c.name.c_str());
    }
  }
  if (status != 0) std::printf("\n**Some points broke their bounds; see the program's error output.**\n");
  return status;
}
