#include "parallel.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "output.h"
#include "text.h"

std::vector<std::string> WorkOnEach(size_t count, const std::function<void(size_t)>& work, bool progress) {
    std::vector<std::string> problems(count);
    std::atomic<size_t> next{0};
    std::atomic<int> done{0};
    std::mutex progressLock;
    auto worker = [&] {
        for (size_t i = next++; i < count; i = next++) {
            try {
                work(i);
            } catch (const CliFailure& e) {
                problems[i] = e.what();
            }
            if (progress) {
                std::lock_guard<std::mutex> lock(progressLock);
                ShowProgress(++done, static_cast<int>(count));
            }
        }
    };
    const unsigned threads = std::max(1u, std::min<unsigned>(std::thread::hardware_concurrency(), 16));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
    return problems;
}
