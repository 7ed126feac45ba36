#pragma once

#include <coroutine>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace korimado {

// The coroutine type of the self-test suites. A task starts when it is awaited (or handed to
// start()), runs on the main thread, and suspends only on the awaitables of SuiteAwait.h, which
// the main event loop resumes: the application keeps running between a suite's steps, and no
// nested event loop is ever entered.
// GCC 12 miscompiles two forms, so suites avoid them: a co_await written inside an if condition
// is dropped (await into a local and test that), and a lambda or aggregate built inside a co_await
// expression is destroyed twice, which frees what it captured by value twice (name it first).
// scripts/check-coroutines fails on both (aggregates excepted: too many shapes to tell).
template <typename T = void>
class SuiteTask;
template <typename T>
void start(SuiteTask<T> task);

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

// The handle a task owns, whatever its result: moving, destroying and awaiting it.
template <typename Promise>
class TaskHandle {
public:
    TaskHandle(TaskHandle&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    TaskHandle& operator=(TaskHandle&&) = delete;
    ~TaskHandle()
    {
        if (handle_) handle_.destroy();
    }

    bool await_ready() const noexcept { return !handle_ || handle_.done(); }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept
    {
        handle_.promise().continuation = caller;
        return handle_;
    }

protected:
    explicit TaskHandle(std::coroutine_handle<Promise> handle) : handle_(handle) {}
    std::coroutine_handle<Promise> handle_;

    template <typename U>
    friend void korimado::start(SuiteTask<U> task);
};

}  // namespace suitetask_detail

template <typename T>
struct SuiteTaskPromise : suitetask_detail::PromiseBase {
    std::optional<T> value;
    SuiteTask<T> get_return_object();
    void return_value(T v) { value = std::move(v); }
};

template <>
struct SuiteTaskPromise<void> : suitetask_detail::PromiseBase {
    SuiteTask<void> get_return_object();
    void return_void() noexcept {}
};

template <typename T>
class [[nodiscard]] SuiteTask : public suitetask_detail::TaskHandle<SuiteTaskPromise<T>> {
    using Base = suitetask_detail::TaskHandle<SuiteTaskPromise<T>>;

public:
    using promise_type = SuiteTaskPromise<T>;

    SuiteTask(SuiteTask&&) noexcept = default;

    T await_resume()
    {
        if constexpr (!std::is_void_v<T>) return std::move(*this->handle_.promise().value);
    }

private:
    friend promise_type;
    explicit SuiteTask(std::coroutine_handle<promise_type> handle) : Base(handle) {}
};

template <typename T>
SuiteTask<T> SuiteTaskPromise<T>::get_return_object()
{
    return SuiteTask<T>(std::coroutine_handle<SuiteTaskPromise>::from_promise(*this));
}

inline SuiteTask<void> SuiteTaskPromise<void>::get_return_object()
{
    return SuiteTask<void>(std::coroutine_handle<SuiteTaskPromise>::from_promise(*this));
}

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
