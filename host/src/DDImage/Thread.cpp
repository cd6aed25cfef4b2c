#include "DDImage/Thread.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace DD {
namespace Image {
namespace {

// The workers started for each user pointer, until waited for.
struct Pool {
  std::mutex mutex;
  std::map<void*, std::vector<std::thread>> running;
};

Pool& pool() {
  static Pool p;
  return p;
}

}  // namespace

unsigned Thread::numCPUs = std::max(1u, std::thread::hardware_concurrency());
unsigned Thread::numThreads = Thread::numCPUs;

bool Thread::spawn(ThreadFunction fn, unsigned count, void* user) {
  if (count < 1) return false;
  std::vector<std::thread> started;
  started.reserve(count);
  for (unsigned i = 0; i < count; ++i) started.emplace_back(fn, i, count, user);
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  auto& list = p.running[user];
  for (auto& t : started) list.push_back(std::move(t));
  return true;
}

bool Thread::running(void* user) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  return p.running.count(user) != 0;
}

void Thread::wait(void* user) {
  std::vector<std::thread> workers;
  {
    Pool& p = pool();
    std::lock_guard<std::mutex> lock(p.mutex);
    auto it = p.running.find(user);
    if (it == p.running.end()) return;
    workers = std::move(it->second);
    p.running.erase(it);
  }
  for (auto& t : workers) t.join();
}

}  // namespace Image
}  // namespace DD
