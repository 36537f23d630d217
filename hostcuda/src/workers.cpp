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

// One worker and what it shares with its launcher.
class Worker {
 public:
  explicit Worker(unsigned index) : index_(index), thread_(&Worker::serve, this) {}
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_one();
    thread_.join();
  }

  void post(const std::function<void(unsigned)>* job) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = job;
    }
    changed_.notify_one();
  }

  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return job_ == nullptr; });
  }

 private:
  void serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stopping_ || job_ != nullptr; });
      if (stopping_) return;
      const std::function<void(unsigned)>* job = job_;
      lock.unlock();
      (*job)(index_);
      lock.lock();
      job_ = nullptr;
      changed_.notify_one();
    }
  }

  const unsigned index_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const std::function<void(unsigned)>* job_ = nullptr;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the members above exist
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
