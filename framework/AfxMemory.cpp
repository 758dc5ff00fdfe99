// The program asks with new (std::nothrow) for memory that can run out and
// handles a null answer. The C++ library's own nothrow forms call the
// throwing form and catch its exception, and a throw while memory is out can
// itself fail and end the program (the exception's per-thread data is made
// on first use); these take the memory straight from the C library, which
// the library's operator delete gives back to.
#include <cstdlib>
#include <new>

void* operator new(std::size_t nBytes, const std::nothrow_t&) noexcept {
    return std::malloc(nBytes ? nBytes : 1);
}

void* operator new[](std::size_t nBytes, const std::nothrow_t&) noexcept {
    return std::malloc(nBytes ? nBytes : 1);
}
