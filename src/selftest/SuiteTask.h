#pragma once

#include <coroutine>
#include <exception>
#include <optional>
#include <utility>

namespace korimado {

// The coroutine type of the self-test suites. A task starts when it is awaited (or handed to
// start()), runs on the main thread, and suspends only on the awaitables of SuiteAwait.h, which
// the main event loop resumes: the application keeps running between a suite's steps, and no
// nested event loop is ever entered. GCC 12 drops a co_await written inside an if condition:
// await into a local and test that.
template <typename T = void>
class SuiteTask;

namespace suitetask_detail {

struct PromiseBase {
    std::coroutine_handle<> continuation;
    bool detached = false;

    std::suspend_always initial_suspend() noexcept { return {}; }

    struct Final {
        bool await_ready() noexcept { return false; }
        template <typename P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> self) noexcept
        {
            PromiseBase& promise = self.promise();
            if (promise.continuation) return promise.continuation;
            if (promise.detached) self.destroy();
            return std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    Final final_suspend() noexcept { return {}; }
    // A suite turns every failure into a record; anything thrown past it is a programming error.
    void unhandled_exception() noexcept { std::terminate(); }
};

}  // namespace suitetask_detail

template <typename T>
class [[nodiscard]] SuiteTask {
public:
    struct promise_type : suitetask_detail::PromiseBase {
        std::optional<T> value;
        SuiteTask get_return_object() { return SuiteTask(std::coroutine_handle<promise_type>::from_promise(*this)); }
        void return_value(T v) { value = std::move(v); }
    };

    SuiteTask(SuiteTask&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    SuiteTask& operator=(SuiteTask&&) = delete;
    ~SuiteTask()
    {
        if (handle_) handle_.destroy();
    }

    bool await_ready() const noexcept { return !handle_ || handle_.done(); }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept
    {
        handle_.promise().continuation = caller;
        return handle_;
    }
    T await_resume() { return std::move(*handle_.promise().value); }

private:
    template <typename U>
    friend void start(SuiteTask<U> task);
    explicit SuiteTask(std::coroutine_handle<promise_type> handle) : handle_(handle) {}
    std::coroutine_handle<promise_type> handle_;
};

template <>
class [[nodiscard]] SuiteTask<void> {
public:
    struct promise_type : suitetask_detail::PromiseBase {
        SuiteTask get_return_object() { return SuiteTask(std::coroutine_handle<promise_type>::from_promise(*this)); }
        void return_void() noexcept {}
    };

    SuiteTask(SuiteTask&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    SuiteTask& operator=(SuiteTask&&) = delete;
    ~SuiteTask()
    {
        if (handle_) handle_.destroy();
    }

    bool await_ready() const noexcept { return !handle_ || handle_.done(); }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept
    {
        handle_.promise().continuation = caller;
        return handle_;
    }
    void await_resume() noexcept {}

private:
    template <typename U>
    friend void start(SuiteTask<U> task);
    explicit SuiteTask(std::coroutine_handle<promise_type> handle) : handle_(handle) {}
    std::coroutine_handle<promise_type> handle_;
};

// Runs the task to its first suspension now; it frees itself when it ends. Nothing is done with
// its outcome.
template <typename T>
void start(SuiteTask<T> task)
{
    auto handle = std::exchange(task.handle_, {});
    if (!handle) return;
    handle.promise().detached = true;
    handle.resume();
}

}  // namespace korimado
