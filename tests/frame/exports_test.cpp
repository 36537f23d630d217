// Every export in one table: a typical call on small valid arrays, with its device arrays as arguments. The
// table checks for all of them at once the runtime calls that call makes, that it returns with none of its device
// work left running (a launch-status export with its kernels queued), that a null device array, and for the
// exports that write sizes an argument outside their contract, is refused before any device work with every size
// and count zero, and that each allocation, launch, copy and synchronisation the call makes can fail and is
// reported with nothing left behind: no array, no size, no device work still running.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/runtime.h"

namespace {

using namespace testing_support;

constexpr int kUnwritten = -77;  // every size and count before a call

// One call of an export: its device arrays, in argument order (each converts to the pointer type its argument
// needs), and the outputs it may set: null arrays, and sizes and counts of kUnwritten.
struct Call {
  struct Array {
    void* p;
    template <typename T>
    operator T*() const { return static_cast<T*>(p); }
  };
  Array operator[](int k) const { return {in[k]}; }

  void* in[3];
  float* out[2] = {};
  float2* complex_out[2] = {};
  int counts[2] = {kUnwritten, kUnwritten};
  int dims[2][3] = {{kUnwritten, kUnwritten, kUnwritten}, {kUnwritten, kUnwritten, kUnwritten}};

  // The counts, then both size arrays.
  std::vector<int> sizes() const {
    std::vector<int> all(counts, counts + 2);
    for (const auto& d : dims) all.insert(all.end(), d, d + 3);
    return all;
  }
};

// Dimensions, starts and the like: an array of exactly its values (so that reading past them is caught), which
// lives until the end of the call it is written in.
template <size_t N>
struct Ints {
  int v[N];
  operator int*() { return v; }
};
template <typename... T>
Ints(T...) -> Ints<sizeof...(T)>;

// How an export reports: a cudaError_t once its work is done or once its kernels are queued (launch status), a
// reduction status, only through its outputs, or not at all (in place).
enum Kind { kStatus, kLaunch, kReduction, kOutputs, kInPlace };

struct Row {
  const char* name;
  Kind kind;
  int arrays;                         // device arrays among its arguments
  CallCounts cost;                    // the runtime calls of the call (hostcuda only)
  std::function<int(Call&)> call;     // the export's status (0 for an export without one)
  std::function<int(Call&)> refused;  // for an export that writes sizes: the call with an argument it refuses
};

// Runtime calls {alloc, free, h2d, d2h, d2d, memset, sync, launch}: a launch waited for or queued, with new
// arrays or none; a scratch array whose result is copied back.
constexpr CallCounts kWaited{0, 0, 0, 0, 0, 0, 1, 1}, kQueued{0, 0, 0, 0, 0, 0, 0, 1};
constexpr CallCounts kNewWaited{1, 0, 0, 0, 0, 0, 1, 1}, kTwoNewWaited{2, 0, 0, 0, 0, 0, 1, 1};
constexpr CallCounts kScratchResult{1, 1, 0, 1, 0, 0, 1, 1};

constexpr int kNoOutput = -1;    // an export without a status made no output
constexpr int kLeftOutput = -2;  // a failed call left an output array or a non-zero count behind

// A call's outcome: for an export without a status 0 when it set an output, else kNoOutput; otherwise its
// status, or kLeftOutput when it failed yet set an output. An output is an array, a size or count the typical call
// writes (written[k]) holding anything but 0, or any other size written at all; before written is known (the
// typical call itself), any size written with a value other than 0. Releases the output arrays.
int outcome(const Row& row, const Call& c, int status, const std::vector<bool>& written) {
  const std::vector<int> sizes = c.sizes();
  bool left = false;
  for (size_t k = 0; k < sizes.size(); ++k)
    left |= written.empty() ? sizes[k] != 0 && sizes[k] != kUnwritten : sizes[k] != (written[k] ? 0 : kUnwritten);
  for (void* p : std::initializer_list<void*>{c.out[0], c.out[1], c.complex_out[0], c.complex_out[1]}) {
    left |= p != nullptr;
    EXPECT_EQ(cudaFree(p), cudaSuccess) << row.name;
  }
  if (row.kind == kOutputs) return left ? 0 : kNoOutput;
  return status != 0 && left ? kLeftOutput : status;
}

// What a row reports when a runtime step fails with error (cudaSuccess: when it is given a null device array).
int expected(Kind kind, cudaError_t error) {
  switch (kind) {
    case kStatus:
    case kLaunch: return error == cudaSuccess ? cudaErrorInvalidValue : error;
    case kReduction:
      return error == cudaSuccess                 ? BRELMONT_STATUS_BAD_PARAM
             : error == cudaErrorMemoryAllocation ? BRELMONT_STATUS_DEVICE_ALLOCATION_FAILED
                                                  : BRELMONT_STATUS_EXECUTION_FAILED;
    case kOutputs: return kNoOutput;
    case kInPlace: return 0;
  }
  return 0;
}

// Rows of the exports that share a signature.
#define IN_PLACE(f) Row{#f, kStatus, 1, kWaited, [](Call& c) { return f(c[0], 6); }}
#define WITH_SCALAR(f) Row{#f, kStatus, 1, kWaited, [](Call& c) { return f(c[0], 2.5f, 6); }}
#define COUNT_FIRST(f, cost) Row{#f, kStatus, 1, cost, [](Call& c) { return f(6, c[0]); }}
#define ELEMENT(f) Row{#f, kLaunch, 1, kQueued, [](Call& c) { return f(c[0], 2, 6); }}
#define TWO_INPUTS(f) Row{#f, kStatus, 2, kNewWaited, [](Call& c) { return f(c[0], c[1], 6, &c.out[0]); }}
#define ARRAY_ARRAY(f)                                                                                  \
  Row{#f, kStatus, 2, kNewWaited,                                                                       \
      [](Call& c) { return f(2, Ints{2, 3}, Ints{3, 2}, c[0], c[1], &c.out[0], c.dims[0], c.counts); }, \
      [](Call& c) { return f(2, Ints{2, 3}, Ints{-3, 2}, c[0], c[1], &c.out[0], c.dims[0], c.counts); }}
#define REPLACE(f) \
  Row{#f, kStatus, 2, kWaited, [](Call& c) { return f(2, Ints{4, 4}, Ints{2, 2}, Ints{1, 1}, c[0], c[1]); }}
#define DELETE(f, o)                                                                               \
  Row{#f, kStatus, 1, kTwoNewWaited,                                                               \
      [](Call& c) { return f(2, Ints{3, 4}, 1, 2, 1, c[0], c.o, c.dims[0], c.o + 1, c.dims[1]); }, \
      [](Call& c) { return f(2, Ints{3, 4}, 3, 2, 1, c[0], c.o, c.dims[0], c.o + 1, c.dims[1]); }}
#define JOIN(f)                                                                                     \
  Row{#f, kOutputs, 2, kNewWaited,                                                                  \
      [](Call& c) { return f(2, 2, Ints{2, 3}, Ints{2, 3}, c[0], c[1], &c.out[0], c.dims[0]), 0; }, \
      [](Call& c) { return f(2, 2, Ints{2, 3}, Ints{2, -3}, c[0], c[1], &c.out[0], c.dims[0]), 0; }}

const std::vector<Row>& rows() {
  static float2 pair{1.5f, -2};
  static const std::vector<Row> table = {
      IN_PLACE(SGL_Sine), IN_PLACE(SGL_Cosine), IN_PLACE(SGL_Tangent), IN_PLACE(SGL_Secant), IN_PLACE(SGL_Cosecant),
      IN_PLACE(SGL_Cotangent), IN_PLACE(SGL_InverseSine), IN_PLACE(SGL_InverseCosine), IN_PLACE(SGL_InverseTangent),
      IN_PLACE(SGL_InverseSecant), IN_PLACE(SGL_InverseCosecant), IN_PLACE(SGL_InverseCotangent), IN_PLACE(SGL_Sinc),
      IN_PLACE(SGL_Exponential), IN_PLACE(SGL_ExponentialArgMinusOne), IN_PLACE(SGL_PowerOf10), IN_PLACE(SGL_PowerOf2),
      IN_PLACE(SGL_LN), IN_PLACE(SGL_LNArgPlusOne), IN_PLACE(SGL_LogBase10), IN_PLACE(SGL_LogBase2),
      IN_PLACE(SGL_HyperbolicSine), IN_PLACE(SGL_HyperbolicCosine), IN_PLACE(SGL_HyperbolicTangent),
      IN_PLACE(SGL_HyperbolicSecant), IN_PLACE(SGL_HyperbolicCosecant), IN_PLACE(SGL_HyperbolicCotangent),
      IN_PLACE(SGL_InverseHyperbolicSine), IN_PLACE(SGL_InverseHyperbolicCosine),
      IN_PLACE(SGL_InverseHyperbolicTangent), IN_PLACE(SGL_InverseHyperbolicSecant),
      IN_PLACE(SGL_InverseHyperbolicCosecant), IN_PLACE(SGL_InverseHyperbolicCotangent),
      TWO_INPUTS(SGL_PowerOfX), TWO_INPUTS(SGL_YTHRootOfX), TWO_INPUTS(SGL_LogBaseX),
      TWO_INPUTS(SGL_InverseTangent2Input),
      {"SGL_SineAndCosine", kStatus, 1, kTwoNewWaited,
       [](Call& c) { return SGL_SineAndCosine(c[0], 6, &c.out[0], &c.out[1]); }},
      IN_PLACE(SGL_Increment), IN_PLACE(SGL_Decrement), IN_PLACE(SGL_Square), IN_PLACE(SGL_Negate),
      IN_PLACE(SGL_Reciprocal), IN_PLACE(SGL_SquareRoot), IN_PLACE(SGL_Absolute), IN_PLACE(SGL_RoundToNearest),
      IN_PLACE(SGL_RoundTowardLessInfinity), IN_PLACE(SGL_RoundTowardMoreInfinity), IN_PLACE(SGL_Sign),
      {"SGL_ScaleByPowerOfTwo", kStatus, 1, kWaited, [](Call& c) { return SGL_ScaleByPowerOfTwo(c[0], 3, 6); }},
      {"SGL_QuotientAndRemainder", kStatus, 2, kTwoNewWaited,
       [](Call& c) { return SGL_QuotientAndRemainder(c[0], c[1], 6, 5, c.out, c.out + 1); }},
      WITH_SCALAR(SGL_AddArrayScalar), WITH_SCALAR(SGL_SubtractArrayScalar), WITH_SCALAR(SGL_SubtractScalarArray),
      WITH_SCALAR(SGL_MultArrayScalar), WITH_SCALAR(SGL_DivideArrayScalar), WITH_SCALAR(SGL_DivideScalarArray),
      ARRAY_ARRAY(SGL_AddArrayArray), ARRAY_ARRAY(SGL_SubstractArrayArray), ARRAY_ARRAY(SGL_MultArrayArray),
      ARRAY_ARRAY(SGL_DivideArrayArray),
      {"SGL_AddArrayElement", kReduction, 1, kScratchResult,
       [](Call& c) { float r; return SGL_AddArrayElement(c[0], 6, &r); }},
      {"SGL_MultiplyArrayElement", kReduction, 1, kScratchResult,
       [](Call& c) { float r; return SGL_MultiplyArrayElement(c[0], 6, &r); }},
      {"SGL_MinMaxArray", kReduction, 1, kScratchResult, [](Call& c) {
         int at[4];
         float low, high;
         return SGL_MinMaxArray(2, 0, Ints{2, 3}, c[0], &low, &high, at, at + 2);
       }},
      {"SGL_ArraySubset", kStatus, 1, kNewWaited,
       [](Call& c) { return SGL_ArraySubset(2, Ints{3, 4}, Ints{1, 1}, Ints{2, 2}, c[0], c.out); }},
      {"SGL_IndexArray", kOutputs, 1, kNewWaited,
       [](Call& c) { return SGL_IndexArray(2, Ints{3, 4}, Ints{1, -1}, c[0], &c.out[0], c.dims[0]), 0; },
       [](Call& c) { return SGL_IndexArray(2, Ints{3, -4}, Ints{1, -1}, c[0], &c.out[0], c.dims[0]), 0; }},
      REPLACE(SGL_ReplaceArraySubset), REPLACE(CSG_ReplaceArraySubset),
      DELETE(SGL_DeleteFromArray, out), DELETE(CSG_DeleteFromArray, complex_out),
      {"SGL_InsertIntoArray", kStatus, 2, kNewWaited,
       [](Call& c) { return SGL_InsertIntoArray(2, 2, Ints{2, 3}, Ints{2, 2}, 1, 1, c[0], c[1], c.out, c.dims[0]); },
       [](Call& c) { return SGL_InsertIntoArray(2, 2, Ints{2, 3}, Ints{2, 2}, 4, 1, c[0], c[1], c.out, c.dims[0]); }},
      JOIN(SGL_BuildArray), JOIN(SGL_ConcatenateArray),
      {"SGL_ReshapeArray", kStatus, 1, {1, 0, 0, 0, 1, 1, 1, 0},
       [](Call& c) { return SGL_ReshapeArray(c[0], 6, Ints{2, 4}, 2, &c.out[0]); }},
      {"SGL_Transpose2DArray", kLaunch, 2, kQueued,
       [](Call& c) { return SGL_Transpose2DArray(Ints{2, 3}, c[0], c[1]); }},
      {"SGL_TransposeNDArray", kOutputs, 1, kNewWaited,
       [](Call& c) { return SGL_TransposeNDArray(3, Ints{2, 3, 4}, Ints{2, 0, 1}, c[0], c.out, c.dims[0]), 0; },
       [](Call& c) { return SGL_TransposeNDArray(3, Ints{2, 3, 4}, Ints{2, 0, 0}, c[0], c.out, c.dims[0]), 0; }},
      {"SGL_Split1DArray", kLaunch, 1, {2, 0, 0, 0, 0, 0, 0, 2},
       [](Call& c) { return SGL_Split1DArray(6, 2, c[0], &c.out[0], &c.counts[0], &c.out[1], &c.counts[1]); },
       [](Call& c) { return SGL_Split1DArray(-6, 2, c[0], &c.out[0], &c.counts[0], &c.out[1], &c.counts[1]); }},
      {"SGL_Split2DArray", kLaunch, 1, {2, 0, 0, 0, 0, 0, 0, 2},  // by columns
       [](Call& c) { return SGL_Split2DArray(Ints{3, 4}, 1, 2, c[0], c.out, c.dims[0], c.out + 1, c.dims[1]); },
       [](Call& c) { return SGL_Split2DArray(Ints{3, -4}, 1, 2, c[0], c.out, c.dims[0], c.out + 1, c.dims[1]); }},
      {"SGL_InitArray", kOutputs, 0, kNewWaited, [](Call& c) { return c.out[0] = SGL_InitArray(6, 2), 0; }},
      {"CSG_InitArray", kOutputs, 0, kNewWaited, [](Call& c) { return c.complex_out[0] = CSG_InitArray(6, &pair), 0; }},
      {"SGL_SetTensor", kStatus, 1, kWaited, [](Call& c) { return SGL_SetTensor(c[0], 3, 6); }},
      {"CSG_SetTensor", kStatus, 1, kWaited, [](Call& c) { return CSG_SetTensor(c[0], &pair, 6); }},
      ELEMENT(SGL_IncrementElement), ELEMENT(SGL_DecrementElement),
      {"SGL_Decimate1DArray", kStatus, 1, kTwoNewWaited,
       [](Call& c) { return SGL_Decimate1DArray(c[0], 7, 2, c.out); }},
      {"SGL_Interleave1DArray", kStatus, 2, kNewWaited,
       [](Call& c) { return SGL_Interleave1DArray(std::array<float*, 2>{c[0], c[1]}.data(), 3, 2, c.out, c.counts); },
       [](Call& c) { return SGL_Interleave1DArray(std::array<float*, 2>{c[0], c[1]}.data(), -3, 2, c.out, c.counts); }},
      {"SGL_Interpolate1DArray", kStatus, 1, {0, 0, 0, 1, 0, 0, 0, 0},
       [](Call& c) { float r; return SGL_Interpolate1DArray(6, 2.5f, c[0], &r); }},
      {"SGL_Threshold1DArray", kStatus, 1, {1, 1, 0, 2, 0, 1, 0, 1},  // a rising input: the crossing is searched for
       [](Call& c) { float r; return SGL_Threshold1DArray(6, 1.6f, 0, c[0], &r); }},
      {"SGL_Reverse1DArray", kLaunch, 1, kQueued, [](Call& c) { return SGL_Reverse1DArray(6, c[0]); }},
      {"SGL_Rotate1DArray", kLaunch, 1, {0, 0, 0, 0, 0, 0, 0, 2},
       [](Call& c) { return SGL_Rotate1DArray(6, 2, c[0]); }},
      COUNT_FIRST(SGL_SortNDArray, (CallCounts{1, 1, 0, 0, 1, 0, 2, 1})),
      {"SGL_SearchNDArray", kOutputs, 1, kScratchResult,  // finds element 4, at (1, 1)
       [](Call& c) { return SGL_SearchNDArray(2, 6, Ints{2, 3}, Ints{0, 0}, 1.5f, c[0], c.counts, c.dims[0]), 0; },
       [](Call& c) { return SGL_SearchNDArray(2, 6, Ints{2, 3}, Ints{0, 3}, 1.5f, c[0], c.counts, c.dims[0]), 0; }},
      {"SGL_RemoveDup1DArray", kOutputs, 1, {6, 5, 0, 1, 2, 0, 3, 4},
       [](Call& c) { return SGL_RemoveDup1DArray(c[0], 6, c.out, c.counts), 0; },
       [](Call& c) { return SGL_RemoveDup1DArray(c[0], -6, c.out, c.counts), 0; }},
      COUNT_FIRST(SGL_ShuffleNDArray, (CallCounts{3, 3, 0, 0, 1, 0, 2, 2})),
      {"CompleteFFT", kInPlace, 1, {0, 0, 0, 0, 0, 0, 2, 1},
       [](Call& c) { return CompleteFFT(c[0], Ints{2, 5}, 2), 0; }},
  };
  return table;
}

class Exports : public ExportTest {
 protected:
  // A call on fresh arrays (rising values: 0.5, 0.75, ..., array k 100 k above), the one at null_at null.
  Call fresh(int null_at = -1) {
    Call c{};
    for (int k = 0; k < 3; ++k) {
      std::vector<float> v(128);
      for (size_t i = 0; i < v.size(); ++i)
        v[i] = 0.5f + 0.25f * static_cast<float>(i) + 100.0f * static_cast<float>(k);
      arrays_[k].upload(v);
      c.in[k] = k == null_at ? nullptr : arrays_[k].get();
    }
    EXPECT_EQ(cudaDeviceSynchronize(), cudaSuccess);  // the uploads landed: nothing pending at the call
    return c;
  }

  // The outcome of call (the row's typical call if none) and the runtime calls it made; arm() runs just before
  // the call, and every failure it armed is cancelled just after. The first run after written_ is cleared finds
  // the sizes that the typical call writes. pending_: the device work the call left running.
  int run(const Row& row, CallCounts* made, int null_at = -1, const std::function<void()>& arm = [] {},
          const std::function<int(Call&)>& call = nullptr) {
    Call c = fresh(null_at);
    int status = 0;
    *made = calls_during([&] { arm(), status = (call ? call : row.call)(c); });
    pending_ = pending_work();
    fail_allocation(0), fail_launch(0, cudaSuccess), fail_copy(0, cudaSuccess), fail_synchronize(cudaSuccess);
    const int result = outcome(row, c, status, written_);
    if (written_.empty())
      for (int size : c.sizes()) written_.push_back(size != kUnwritten);
    return result;
  }

  DeviceBuffer<float> arrays_[3] = {DeviceBuffer<float>(128), DeviceBuffer<float>(128), DeviceBuffer<float>(128)};
  std::vector<bool> written_;
  unsigned long long pending_ = 0;
};

TEST_F(Exports, TheTableHasOneRowPerDeclaredExport) {
  std::ifstream header(CUDA_BRELMONT_HEADER_PATH);  // unreadable: no declaration found
  std::multiset<std::string> declared, named;
  const std::regex declaration(R"(^CUDA_BRELMONT_API [^(]*?(\w+)\()");
  std::smatch match;
  for (std::string line; std::getline(header, line);)
    if (std::regex_search(line, match, declaration)) declared.insert(match[1]);
  for (const Row& row : rows()) named.insert(row.name);
  EXPECT_EQ(declared.size(), 95u);
  EXPECT_EQ(named, declared);
}

// Calls that touch no element of an array keep their success with a null pointer there.
TEST_F(Exports, NullArraysOfWhichNothingIsTouchedAreAccepted) {
  float r = 0, *out = nullptr, *more = nullptr;
  int empty[] = {2, 0}, none[] = {0, 0}, sizes[2], count = 0, other = 0;
  const std::pair<const char*, std::function<int()>> calls[] = {
      {"SGL_Sine, n = 0", [&] { return SGL_Sine(nullptr, 0); }},
      {"SGL_PowerOfX, n = 0", [&] { return SGL_PowerOfX(nullptr, nullptr, 0, &out); }},
      {"SGL_AddArrayArray, empty",
       [&] { return SGL_AddArrayArray(2, empty, empty, nullptr, nullptr, &out, sizes, &count); }},
      {"SGL_AddArrayElement, n = 0", [&] { return SGL_AddArrayElement(nullptr, 0, &r); }},
      {"SGL_ReplaceArraySubset, empty box",
       [&] { return SGL_ReplaceArraySubset(2, empty, none, none, nullptr, nullptr); }},
      {"SGL_ReshapeArray, nothing kept", [&] { return SGL_ReshapeArray(nullptr, 0, empty, 2, &out); }},
      {"SGL_Split1DArray, n = 0", [&] { return SGL_Split1DArray(0, 0, nullptr, &out, &count, &more, &other); }},
      {"SGL_IncrementElement, index past n", [&] { return SGL_IncrementElement(nullptr, 6, 6); }},
      {"SGL_Interpolate1DArray, NaN", [&] { return SGL_Interpolate1DArray(3, NAN, nullptr, &r); }},
      {"SGL_Reverse1DArray, n = 1", [&] { return SGL_Reverse1DArray(1, nullptr); }},
      {"SGL_Rotate1DArray, shift n", [&] { return SGL_Rotate1DArray(6, 6, nullptr); }},
      {"SGL_SortNDArray, n = 1", [&] { return SGL_SortNDArray(1, nullptr); }},
      {"SGL_SearchNDArray, NaN",
       [&] { return SGL_SearchNDArray(0, 4, nullptr, nullptr, NAN, nullptr, &count, nullptr), 0; }},
  };
  for (const auto& [what, call] : calls) {
    EXPECT_EQ(call(), 0) << what;
    EXPECT_TRUE(out == nullptr && more == nullptr) << what;
    EXPECT_EQ(cudaGetLastError(), cudaSuccess) << what;
  }
}

// Each row: the valid call makes the row's runtime calls and returns with none of its device work still running
// (a launch-status export with its kernels queued); a null in place of each device array, and the row's refused
// call, are refused before any device work with every size and count zero; then each allocation, launch and copy
// the valid call makes, and its first synchronisation, fails in turn and is reported by the row's rule, the
// runtime's last error is that failure, nothing is leaked and no work of the call is left running on what it
// released.
TEST_F(Exports, RuntimeCallsWorkDoneAtReturnRefusalsAndEveryFailingStepReportedWithNothingLeftBehind) {
  for (const Row& row : rows()) {
    CallCounts cost, made;
    written_.clear();
    ASSERT_EQ(run(row, &cost), 0) << row.name << " fails on valid arrays";
    if (kHooks) EXPECT_EQ(cost, row.cost) << row.name << ": runtime calls";
    if (kHooks) EXPECT_EQ(pending_, row.kind == kLaunch ? cost.launches : 0) << row.name << ": device work pending";
    for (int k = 0; k < row.arrays + (row.refused ? 1 : 0); ++k) {
      const bool null_array = k < row.arrays;
      const std::string what = row.name + (null_array ? " with array " + std::to_string(k) + " null" : " refused");
      EXPECT_EQ(run(row, &made, null_array ? k : -1, [] {}, null_array ? row.call : row.refused),
                expected(row.kind, cudaSuccess))
          << what;
      EXPECT_EQ(made, CallCounts{}) << what;
      EXPECT_EQ(cudaGetLastError(), cudaSuccess) << what;
    }
    const size_t live = live_allocations();
    const std::tuple<const char*, unsigned long long, cudaError_t, void (*)(int, cudaError_t)> steps[] = {
        {"allocation", cost.allocations, cudaErrorMemoryAllocation, [](int k, cudaError_t) { fail_allocation(k); }},
        {"launch", cost.launches, cudaErrorLaunchOutOfResources, fail_launch},
        {"copy", cost.copies_to_device + cost.copies_to_host + cost.copies_on_device, cudaErrorUnknown, fail_copy},
        {"synchronisation", std::min(cost.synchronizations, 1ull), cudaErrorIllegalAddress,
         [](int, cudaError_t error) { fail_synchronize(error); }}};
    for (int s = 0; s < 4 && kHooks; ++s)
      for (int k = 1; k <= static_cast<int>(std::get<1>(steps[s])); ++k) {
        const cudaError_t error = std::get<2>(steps[s]);
        const std::string what = std::string(row.name) + ": " + std::get<0>(steps[s]) + " " + std::to_string(k);
        EXPECT_EQ(run(row, &made, -1, [&] { std::get<3>(steps[s])(k, error); }), expected(row.kind, error))
            << what << " failing";
        EXPECT_EQ(cudaGetLastError(), error) << what << " failing: not the last error, or buried under another";
        EXPECT_EQ(live_allocations(), live) << what << " failing: leaked";
        // A launch-status export may leave kernels queued on its caller's arrays, never on arrays it released.
        EXPECT_TRUE(pending_ == 0 || (row.kind == kLaunch && cost.allocations == 0))
            << what << " failing: device work left running";
      }
  }
}

}  // namespace
