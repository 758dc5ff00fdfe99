// A fixed-size array whose memory is asked for without throwing: where the
// address space can run out (a 32-bit program holding several large effects),
// an allocation failure is a result the caller handles, never an exception
// that would end the program from inside a window procedure.
#pragma once
#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>

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

// A growable list of plain values whose growth is asked for without
// throwing: Add answers false, keeping the list as it was, when it cannot
// grow.
template <class T> class CheckedList {
    static_assert(std::is_trivially_copyable<T>::value, "moved by realloc");

  public:
    CheckedList() = default;
    ~CheckedList() { std::free(m_p); }
    CheckedList(const CheckedList&) = delete;
    CheckedList& operator=(const CheckedList&) = delete;

    bool Add(const T& value) {
        if (m_n == m_nCapacity) {
            const size_t nBigger = m_nCapacity ? 2 * m_nCapacity : 8;
            T* p = static_cast<T*>(std::realloc(m_p, nBigger * sizeof(T)));
            if (!p)
                return false;
            m_p = p;
            m_nCapacity = nBigger;
        }
        m_p[m_n++] = value;
        return true;
    }
    // Removes element i, keeping the order of the rest.
    void RemoveAt(size_t i) {
        for (size_t k = i; k + 1 < m_n; ++k)
            m_p[k] = m_p[k + 1];
        --m_n;
    }
    // Keeps the first n elements.
    void Truncate(size_t n) { m_n = n < m_n ? n : m_n; }
    size_t size() const { return m_n; }
    T& operator[](size_t i) const { return m_p[i]; }
    T* begin() const { return m_p; }
    T* end() const { return m_p + m_n; }

  private:
    T* m_p = nullptr;
    size_t m_n = 0;
    size_t m_nCapacity = 0;
};
