// hostcuda: worker threads for the blocks of a launch.
//
// A launching host thread starts its workers at its first launch that asks for them and keeps them until it
// ends. Every share of a launch runs on a worker, and each worker meets only the launcher (through a slot of
// its own): the launcher posts every share before it waits for any, so nothing orders two shares of one launch,
// and ThreadSanitizer sees blocks on different workers as unordered, as they are on the device. Successive
// launches are ordered, as the default stream orders them.
#include "workers.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "blocks.h"
#include "hostcuda/hooks.h"

namespace hostcuda {
namespace {

unsigned from_environment() {
  const char* text = std::getenv("HOSTCUDA_BLOCK_THREADS");
  if (text == nullptr) return 1;
  const long n = std::strtol(text, nullptr, 10);
  return n < 1 ? 1 : n > 64 ? 64 : static_cast<unsigned>(n);
}

std::atomic<unsigned> configured_threads{from_environment()};

// One worker and what it shares with its launcher. The thread is detached and owns the shared state with the
// handle, so that ending it never waits: the handle dies in a thread-local destructor as its launcher exits,
// and under mingw-w64 a join there waited for ever on the worker's own exit.
class Worker {
 public:
  explicit Worker(unsigned index) : slot_(std::make_shared<Slot>()) {
    std::thread([slot = slot_, index] { slot->serve(index); }).detach();
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker() {
    {
      std::lock_guard<std::mutex> lock(slot_->mutex);
      slot_->stopping = true;
    }
    slot_->changed.notify_one();
  }

  void post(const std::function<void(unsigned)>* job) {
    {
      std::lock_guard<std::mutex> lock(slot_->mutex);
      slot_->job = job;
    }
    slot_->changed.notify_one();
  }

  void wait() {
    std::unique_lock<std::mutex> lock(slot_->mutex);
    slot_->changed.wait(lock, [&] { return slot_->job == nullptr; });
  }

 private:
  struct Slot {
    std::mutex mutex;
    std::condition_variable changed;
    const std::function<void(unsigned)>* job = nullptr;
    bool stopping = false;

    void serve(unsigned index) {
      std::unique_lock<std::mutex> lock(mutex);
      for (;;) {
        changed.wait(lock, [&] { return stopping || job != nullptr; });
        if (stopping) {
          release_block_stacks();
          return;
        }
        const std::function<void(unsigned)>* current = job;
        lock.unlock();
        (*current)(index);
        lock.lock();
        job = nullptr;
        changed.notify_one();
      }
    }
  };

  std::shared_ptr<Slot> slot_;
};

}  // namespace

unsigned block_threads() { return configured_threads.load(); }

void run_shares(unsigned shares, const std::function<void(unsigned)>& share) {
  if (shares <= 1) {
    share(0);
    return;
  }
  thread_local std::vector<std::unique_ptr<Worker>> workers;
  while (workers.size() < shares) workers.push_back(std::make_unique<Worker>(static_cast<unsigned>(workers.size())));
  for (unsigned s = 0; s < shares; ++s) workers[s]->post(&share);
  for (unsigned s = 0; s < shares; ++s) workers[s]->wait();
}

}  // namespace hostcuda

extern "C" int hostcudaSetBlockThreads(int n) {
  const unsigned threads = n < 1 ? 1u : n > 64 ? 64u : static_cast<unsigned>(n);
  return static_cast<int>(hostcuda::configured_threads.exchange(threads));
}
