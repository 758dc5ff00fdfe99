// A fixed-size array whose memory is asked for without throwing: where the
// address space can run out (a 32-bit program holding several large effects),
// an allocation failure is a result the caller handles, never an exception
// that would end the program from inside a window procedure.
#pragma once
#include <cstddef>
#include <new>

template <class T> class CheckedArray {
  public:
    CheckedArray() = default;
    // n value-initialised elements; empty (Ok() false) when they cannot be had.
    explicit CheckedArray(size_t n) { Allocate(n); }
    ~CheckedArray() { delete[] m_p; }
    CheckedArray(const CheckedArray&) = delete;
    CheckedArray& operator=(const CheckedArray&) = delete;

    // Replaces the contents with n value-initialised elements; false (and
    // empty) when they cannot be had.
    bool Allocate(size_t n) {
        delete[] m_p;
        m_p = new (std::nothrow) T[n]();
        m_n = m_p ? n : 0;
        return m_p != nullptr;
    }
    bool Ok() const { return m_p != nullptr; }
    T* data() const { return m_p; }
    size_t size() const { return m_n; }
    T& operator[](size_t i) const { return m_p[i]; }

  private:
    T* m_p = nullptr;
    size_t m_n = 0;
};
