// One owner for every operating-system handle: the invalid value lives in the traits,
// so each kind of handle is closed by exactly one piece of code.
#pragma once

#include <windows.h>

#include <utility>

namespace brolt {

template <typename Traits>
class UniqueResource {
  public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Type get() const { return value_; }
    // Traits whose kind of handle has more than one invalid value say so with isValid.
    bool valid() const {
        if constexpr (requires { Traits::isValid(value_); })
            return Traits::isValid(value_);
        else
            return value_ != Traits::invalid();
    }
    explicit operator bool() const { return valid(); }

    // Closes what is held and takes the new value.
    void reset(Type value = Traits::invalid()) {
        if (valid())
            Traits::close(value_);
        value_ = value;
    }
    Type release() { return std::exchange(value_, Traits::invalid()); }
    // For out-parameters: closes what is held and hands out the slot.
    Type* put() {
        reset();
        return &value_;
    }

  private:
    Type value_ = Traits::invalid();
};

struct NullHandleTraits {
    using Type = HANDLE;
    static Type invalid() { return nullptr; }
    static void close(Type h) { CloseHandle(h); }
};
// CreateFile reports failure with INVALID_HANDLE_VALUE, but a null handle is no file either: it must
// neither be used nor closed.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void close(Type h) { CloseHandle(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Type h) { FindClose(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type invalid() { return nullptr; }
    static void close(Type h) { RegCloseKey(h); }
};
struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type invalid() { return nullptr; }
    static void close(Type h) { CloseServiceHandle(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type invalid() { return nullptr; }
    static void close(Type h) { FreeLibrary(h); }
};

using UniqueHandle = UniqueResource<NullHandleTraits>;  // events, processes, threads
using UniqueFile = UniqueResource<FileHandleTraits>;    // CreateFile results
using UniqueFind = UniqueResource<FindHandleTraits>;    // FindFirstFile results
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueServiceHandle = UniqueResource<ServiceHandleTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;

// Runs a callable when the scope ends, for one-off cleanups that have no handle type.
template <typename F>
class ScopeExit {
  public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() {
        if (active_)
            f_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    void dismiss() { active_ = false; }

  private:
    F f_;
    bool active_ = true;
};

}  // namespace brolt
