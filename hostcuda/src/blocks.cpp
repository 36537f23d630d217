// hostcuda: the threads of one block, with barriers.
//
// Most kernels never meet a barrier, so a block starts by running its threads one after another on the
// launching host thread, each to its end. The first __syncthreads turns the rest of the block into fibers:
// the thread that called it keeps the launcher's stack, every later thread gets a stack of its own, and a
// scheduler runs each fiber until it reaches the barrier or its end. The barrier opens once every thread
// that has not finished is waiting at it, as on the device (a finished thread no longer takes part).
// All fibers of a block share one host thread, so a block's __shared__ variables (thread_local statics)
// are its own for the whole launch of the block; threads that skip a barrier see values another thread
// has not written yet, which is what makes a missing barrier fail in tests.
//
// A fiber is a ucontext on POSIX systems and a Windows fiber on Windows, behind the same few functions
// (take_stack, make_context, switch_to); everything above them is common.
#include "blocks.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/mman.h>
#include <ucontext.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define HOSTCUDA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HOSTCUDA_ASAN 1
#endif
#endif
#if defined(HOSTCUDA_ASAN)
#include <sanitizer/common_interface_defs.h>
#endif
#if defined(__SANITIZE_THREAD__)
#define HOSTCUDA_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HOSTCUDA_TSAN 1
#endif
#endif
#if defined(HOSTCUDA_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

namespace hostcuda {
namespace {

constexpr size_t kFiberStack = 256 * 1024;

// A stack for a fiber, kept for reuse by later blocks of this host thread (a few fibers' worth of address
// space, committed only where touched). ThreadSanitizer knows it as a fiber of its own, kept with the stack.
struct Stack {
  void* base;
  size_t size;
  void* tsan_fiber = nullptr;
};

// The spare stacks of this host thread, behind a plain pointer: a thread_local with a destructor would run
// it in the thread's exit under mingw-w64, and a worker ends inside its launcher's thread-exit cleanup, where
// that deadlocks. Workers free their stacks explicitly instead (release_block_stacks).
thread_local std::vector<Stack>* spare_stacks = nullptr;

std::vector<Stack>& spares() {
  if (spare_stacks == nullptr) spare_stacks = new std::vector<Stack>;
  return *spare_stacks;
}

[[noreturn]] void no_stack() {
  std::fprintf(stderr, "hostcuda: no memory for a thread stack of a block\n");
  std::abort();
}

#if defined(_WIN32)
// A Windows fiber owns its stack and must never return from its start routine, so the stack of a fiber is
// the fiber itself, kept for reuse: when a finished fiber is resumed for a later block, its start routine
// moves on to the entry function given for that use.
using Context = void*;  // the fiber to resume

struct PooledFiber {
  void* fiber;
  void (*entry)();
};

void WINAPI run_pooled_fiber(void* parameter) {
  auto* pooled = static_cast<PooledFiber*>(parameter);
  for (;;) pooled->entry();
}

Stack new_stack() {
  auto* pooled = new PooledFiber{nullptr, nullptr};
  pooled->fiber = CreateFiberEx(0, kFiberStack, FIBER_FLAG_FLOAT_SWITCH, run_pooled_fiber, pooled);
  if (pooled->fiber == nullptr) no_stack();
  return Stack{pooled, kFiberStack};
}

// Readies context to run entry on stack.
void make_context(Context& context, const Stack& stack, void (*entry)()) {
  auto* pooled = static_cast<PooledFiber*>(stack.base);
  pooled->entry = entry;
  context = pooled->fiber;
}

void free_stack(const Stack& stack) {
  auto* pooled = static_cast<PooledFiber*>(stack.base);
  DeleteFiber(pooled->fiber);
  delete pooled;
}
#else
using Context = ucontext_t;

Stack new_stack() {
  void* p = mmap(nullptr, kFiberStack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) no_stack();
#if defined(HOSTCUDA_TSAN)
  return Stack{p, kFiberStack, __tsan_create_fiber(0)};
#else
  return Stack{p, kFiberStack};
#endif
}

// Readies context to run entry on stack.
void make_context(Context& context, const Stack& stack, void (*entry)()) {
  std::memset(&context, 0, sizeof context);
  getcontext(&context);
  context.uc_stack.ss_sp = stack.base;
  context.uc_stack.ss_size = stack.size;
  context.uc_link = nullptr;
  makecontext(&context, entry, 0);
}

void free_stack(const Stack& stack) {
#if defined(HOSTCUDA_TSAN)
  __tsan_destroy_fiber(stack.tsan_fiber);
#endif
  munmap(stack.base, stack.size);
}
#endif

Stack take_stack() {
  std::vector<Stack>& spare = spares();
  if (spare.empty()) return new_stack();
  const Stack s = spare.back();
  spare.pop_back();
  return s;
}

enum class State { Ready, AtBarrier, Done };

struct Fiber {
  Context context;
  Stack stack;  // base null: the launcher's own stack
  unsigned index;
  State state;
};

struct Block {
  void (*thread)(void*);
  void* context;
  dim3 shape;
  bool fibers_on = false;
  std::vector<Fiber> fibers;  // reserved once, so pointers into it stay valid
  Fiber* running = nullptr;
  Context scheduler;
  Stack scheduler_stack{nullptr, 0};
  Context launcher;  // where the block returns when every fiber is done
  bool made_fiber = false;  // Windows: the launching host thread became a fiber for this block
  const void* launcher_stack_bottom = nullptr;
  size_t launcher_stack_size = 0;
  void* launcher_tsan_fiber = nullptr;
};

thread_local Block* current = nullptr;

uint3 coordinates(unsigned t, dim3 shape) {
  return uint3{t % shape.x, t / shape.x % shape.y, t / shape.x / shape.y};
}

// Switches from this context to another, whose stack is [bottom, bottom + size) (bottom null: the launcher's).
// A context that will never be resumed says so (leaving), so that AddressSanitizer forgets its stack.
void switch_to(Context* from, const Context* to, const Stack& stack, bool leaving = false) {
  const void* bottom = stack.base;
  size_t size = stack.size;
#if defined(HOSTCUDA_TSAN)
  // Every switch orders the two fibers, as the block's barrier orders its threads.
  __tsan_switch_to_fiber(bottom == nullptr ? current->launcher_tsan_fiber : stack.tsan_fiber, 0);
#endif
#if defined(_WIN32)
  (void)bottom;
  (void)size;
  (void)leaving;
  *from = GetCurrentFiber();
  SwitchToFiber(*to);
#elif defined(HOSTCUDA_ASAN)
  void* fake_stack = nullptr;
  if (bottom == nullptr) {
    bottom = current->launcher_stack_bottom;
    size = current->launcher_stack_size;
  }
  __sanitizer_start_switch_fiber(leaving ? nullptr : &fake_stack, bottom, size);
  swapcontext(from, to);
  __sanitizer_finish_switch_fiber(fake_stack, nullptr, nullptr);
#else
  (void)bottom;
  (void)size;
  (void)leaving;
  swapcontext(from, to);
#endif
}

void to_scheduler(Context* from, bool leaving = false) {
  switch_to(from, &current->scheduler, current->scheduler_stack, leaving);
}

// First code run on a new fiber's stack.
void entered_fiber() {
#if defined(HOSTCUDA_ASAN)
  __sanitizer_finish_switch_fiber(nullptr, nullptr, nullptr);
#endif
}

void fiber_main() {
  entered_fiber();
  Block& block = *current;
  Fiber& self = *block.running;
  block.thread(block.context);
  self.state = State::Done;
  Context unused;
  to_scheduler(&unused, true);
}

// Runs the fibers round by round: each ready fiber until its next barrier or its end; then opens the barrier.
void scheduler_main() {
#if defined(HOSTCUDA_ASAN)
  // The first switch here comes from the launcher's stack: remember its extent for the switches back.
  __sanitizer_finish_switch_fiber(nullptr, &current->launcher_stack_bottom, &current->launcher_stack_size);
#endif
  Block& block = *current;
  for (;;) {
    for (Fiber& f : block.fibers) {
      if (f.state != State::Ready) continue;
      block.running = &f;
      threadIdx = coordinates(f.index, block.shape);
      switch_to(&block.scheduler, &f.context, f.stack);
    }
    bool waiting = false;
    for (Fiber& f : block.fibers) {
      if (f.state == State::AtBarrier) {
        f.state = State::Ready;
        waiting = true;
      }
    }
    if (!waiting) break;
  }
  switch_to(&block.scheduler, &block.launcher, Stack{nullptr, 0}, true);
}

// The thread now running (t, on the launcher's stack) met the block's first barrier: threads t+1 ... become
// fibers, and so does t itself.
void start_fibers(Block& block, unsigned t, unsigned total) {
#if defined(_WIN32)
  // Only a fiber can switch to another: the launching thread becomes one until the block is done.
  if (!IsThreadAFiber()) {
    if (ConvertThreadToFiberEx(nullptr, FIBER_FLAG_FLOAT_SWITCH) == nullptr) no_stack();
    block.made_fiber = true;
  }
#endif
  block.fibers_on = true;
  block.fibers.reserve(total - t);
  block.fibers.push_back(Fiber{});
  block.fibers.back().stack = Stack{nullptr, 0};
  block.fibers.back().index = t;
  block.fibers.back().state = State::Ready;
  for (unsigned u = t + 1; u < total; ++u) {
    block.fibers.push_back(Fiber{});
    Fiber& f = block.fibers.back();
    f.stack = take_stack();
    f.index = u;
    f.state = State::Ready;
    make_context(f.context, f.stack, fiber_main);
  }
  block.scheduler_stack = take_stack();
  make_context(block.scheduler, block.scheduler_stack, scheduler_main);
  block.running = &block.fibers.front();
}

}  // namespace

void run_block(void (*thread)(void*), void* context, dim3 shape) {
  Block block;
  block.thread = thread;
  block.context = context;
  block.shape = shape;
#if defined(HOSTCUDA_TSAN)
  block.launcher_tsan_fiber = __tsan_get_current_fiber();
#endif
  Block* const outer = current;
  current = &block;
  const unsigned total = shape.x * shape.y * shape.z;
  for (unsigned t = 0; t < total && !block.fibers_on; ++t) {
    threadIdx = coordinates(t, shape);
    block.running = nullptr;
    thread(context);
    if (block.fibers_on) {
      // Thread t ran on this stack from its first barrier to its end; the scheduler finishes the others.
      block.fibers.front().state = State::Done;
      to_scheduler(&block.launcher);
    }
  }
  for (Fiber& f : block.fibers)
    if (f.stack.base != nullptr) spares().push_back(f.stack);
  if (block.scheduler_stack.base != nullptr) spares().push_back(block.scheduler_stack);
#if defined(_WIN32)
  if (block.made_fiber) ConvertFiberToThread();
#endif
  current = outer;
}

void release_block_stacks() {
  if (spare_stacks == nullptr) return;
  for (const Stack& s : *spare_stacks) free_stack(s);
  delete spare_stacks;
  spare_stacks = nullptr;
}

}  // namespace hostcuda

extern "C" void __syncthreads(void) {
  using namespace hostcuda;
  Block* block = current;
  if (block == nullptr) {
    std::fprintf(stderr, "hostcuda: __syncthreads called outside a kernel\n");
    std::abort();
  }
  if (!block->fibers_on) {
    const uint3 t = threadIdx;
    start_fibers(*block, (t.z * block->shape.y + t.y) * block->shape.x + t.x, block->shape.x * block->shape.y * block->shape.z);
  }
  Fiber& self = *block->running;
  self.state = State::AtBarrier;
  to_scheduler(&self.context);
}
