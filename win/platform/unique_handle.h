// One owner per Win32 resource: a move-only wrapper parameterised by how the resource is closed and
// which value means "none". Every handle, find handle, module, GDI object and lock in the Windows
// layer is held through one of the aliases below, never closed by hand on an early-return path.
#pragma once

#include <windows.h>

#include <utility>

#include "win/platform/last_error.h"

namespace patcher::win {

template <class Traits>
class unique_any {
  public:
    using pointer = typename Traits::pointer;

    unique_any() noexcept = default;
    explicit unique_any(pointer value) noexcept : value_(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    pointer get() const noexcept { return value_; }
    bool is_valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return is_valid(); }

    // The last error survives the close: a handle let go on an error path must not replace the
    // error its owner is about to report.
    void reset(pointer value = Traits::invalid()) noexcept {
        if (value_ != Traits::invalid()) {
            const last_error_context keep;
            Traits::close(value_);
        }
        value_ = value;
    }
    [[nodiscard]] pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }
    // For out-parameters of Win32 calls; closes whatever was held first.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

  private:
    pointer value_ = Traits::invalid();
};

namespace handle_traits {

// CreateFile and friends report failure with INVALID_HANDLE_VALUE.
struct File {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};
// Processes, threads, events, mutexes, pipes from CreatePipe: failure is null.
struct Kernel {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};
struct Find {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::FindClose(h); }
};
struct LocalMemory {
    using pointer = HLOCAL;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::LocalFree(h); }
};

}  // namespace handle_traits

using unique_hfile = unique_any<handle_traits::File>;
using unique_handle = unique_any<handle_traits::Kernel>;
using unique_hfind = unique_any<handle_traits::Find>;
using unique_hlocal = unique_any<handle_traits::LocalMemory>;

// Both handles CreateProcessW hands back, owned together so that the thread handle, which hardly
// anyone needs, cannot be forgotten.
class unique_process_information {
  public:
    unique_process_information() noexcept = default;
    explicit unique_process_information(const PROCESS_INFORMATION& info) noexcept
        : process_(info.hProcess), thread_(info.hThread) {}

    HANDLE process() const noexcept { return process_.get(); }
    HANDLE thread() const noexcept { return thread_.get(); }
    bool is_valid() const noexcept { return process_.is_valid(); }
    explicit operator bool() const noexcept { return is_valid(); }

    void reset() noexcept {
        thread_.reset();
        process_.reset();
    }
    // For an owner that only waits for the process; the thread handle stays here until reset.
    [[nodiscard]] unique_handle take_process() noexcept { return std::move(process_); }

  private:
    unique_handle process_;
    unique_handle thread_;
};

}  // namespace patcher::win
