// The little of the C++ runtime the device programs may use, over musl's malloc.
// Debian's libstdc++.a is built for glibc and is never linked here, so anything
// beyond this fails at link time instead of on the device. There are no exceptions:
// what would throw aborts.
#include <bits/functexcept.h>
#include <cstdlib>
#include <new>

void *operator new(std::size_t size) {
    void *p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        std::abort();
    }
    return p;
}
void *operator new[](std::size_t size) {
    return ::operator new(size);
}
void *operator new(std::size_t size, const std::nothrow_t & /*unused*/) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept {
    return ::operator new(size, tag);
}
void operator delete(void *p) noexcept {
    std::free(p);
}
void operator delete[](void *p) noexcept {
    std::free(p);
}
void operator delete(void *p, std::size_t /*size*/) noexcept {
    std::free(p);
}
void operator delete[](void *p, std::size_t /*size*/) noexcept {
    std::free(p);
}
void operator delete(void *p, const std::nothrow_t & /*unused*/) noexcept {
    std::free(p);
}
void operator delete[](void *p, const std::nothrow_t & /*unused*/) noexcept {
    std::free(p);
}

namespace std {
void __throw_bad_alloc() {
    std::abort();
}
void __throw_bad_array_new_length() {
    std::abort();
}
void __throw_bad_cast() {
    std::abort();
}
void __throw_bad_function_call() {
    std::abort();
}
void __throw_logic_error(const char * /*unused*/) {
    std::abort();
}
void __throw_domain_error(const char * /*unused*/) {
    std::abort();
}
void __throw_invalid_argument(const char * /*unused*/) {
    std::abort();
}
void __throw_length_error(const char * /*unused*/) {
    std::abort();
}
void __throw_out_of_range(const char * /*unused*/) {
    std::abort();
}
void __throw_out_of_range_fmt(const char * /*unused*/, ...) {
    std::abort();
}
void __throw_runtime_error(const char * /*unused*/) {
    std::abort();
}
void __throw_range_error(const char * /*unused*/) {
    std::abort();
}
void __throw_overflow_error(const char * /*unused*/) {
    std::abort();
}
void __throw_underflow_error(const char * /*unused*/) {
    std::abort();
}
} // namespace std
