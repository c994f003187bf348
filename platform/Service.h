#pragma once
// A process-wide service that a scope can stand in for: the one installed
// last serves until its scope ends, which puts the one before it back.

#include <utility>

namespace platform {

template <class T> class Service {
public:
    // The service installed last; `fallback` while none is.
    static T& current(T& fallback) { return installed_ ? *installed_ : fallback; }

    class Scoped {
    public:
        explicit Scoped(T& service) : previous_(std::exchange(installed_, &service)) {}
        ~Scoped() { installed_ = previous_; }
        Scoped(const Scoped&) = delete;
        Scoped& operator=(const Scoped&) = delete;

    private:
        T* previous_;
    };

private:
    static inline T* installed_ = nullptr;
};

} // namespace platform
