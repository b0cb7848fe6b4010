// One thread that makes every call on one instance. The effect binds its parameter listener to
// the run loop of the thread that first initializes it, and only that thread's run loop delivers
// the changes a host announces; a Python effect is created on one thread and may be used from
// any other, so each effect's calls are carried to its own thread and the caller waits.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace zentrova_python {

class instance_thread {
public:
    instance_thread() : _thread([this] { run(); }) {}
    ~instance_thread() {
        {
            std::lock_guard lock(_mutex);
            _stopping = true;
        }
        _wake.notify_all();
        _thread.join();
    }
    instance_thread(const instance_thread &) = delete;
    instance_thread &operator=(const instance_thread &) = delete;

    // [any thread] Runs `work` on the instance's thread and answers its result, or throws what it
    // threw. Callers from several threads take turns.
    template <class Work> auto call(Work &&work) -> std::invoke_result_t<Work &> {
        using result = std::invoke_result_t<Work &>;
        std::lock_guard turn(_turn);
        if constexpr (std::is_void_v<result>) {
            run_here([&] { work(); });
        } else {
            std::optional<result> value;
            run_here([&] { value.emplace(work()); });
            return std::move(*value);
        }
    }

    // [a forked child] The thread does not exist here: forget it without joining.
    void abandon() noexcept {
        try {
            _thread.detach();
        } catch (...) {
        }
    }

private:
    void run_here(const std::function<void()> &work) {
        std::exception_ptr failure;
        {
            std::unique_lock lock(_mutex);
            _work = [&] {
                try {
                    work();
                } catch (...) {
                    failure = std::current_exception();
                }
            };
            _done = false;
            _wake.notify_all();
            _wake.wait(lock, [&] { return _done; });
        }
        if (failure) std::rethrow_exception(failure);
    }

    void run() {
        std::unique_lock lock(_mutex);
        for (;;) {
            _wake.wait(lock, [&] { return _stopping || _work; });
            if (!_work) return;
            auto work = std::move(_work);
            _work = nullptr;
            lock.unlock();
            work();
            lock.lock();
            _done = true;
            _wake.notify_all();
        }
    }

    std::mutex _turn;  // one caller at a time
    std::mutex _mutex;
    std::condition_variable _wake;
    std::function<void()> _work;
    bool _done = false;
    bool _stopping = false;
    std::thread _thread;  // last: it starts once the rest is in place
};

}  // namespace zentrova_python
