#pragma once
// vec<T>: a heap array of T with its element count. Only vec<float> is used. Copies are deep;
// an empty vector owns no array. Every index and size is checked (see math_check.h).
#include <cstdint>

#include "common/math/math_check.h"

template <typename T>
class vec {
public:
    vec() = default;
    // n elements, zero-initialised; the array is allocated only when n > 0.
    explicit vec(uint32_t n) : _size(n), _data(n > 0 ? new T[n]() : nullptr) {}
    vec(const vec& v) : _size(v._size), _data(v._data != nullptr ? new T[v._size] : nullptr) {
        for (uint32_t i = 0; i < _size; ++i) _data[i] = v._data[i];
    }
    vec(vec&& v) noexcept : _size(v._size), _data(v._data) {
        v._size = 0;
        v._data = nullptr;
    }
    virtual ~vec() { delete[] _data; }

    // Reuses the array when the sizes agree, else frees it and allocates the new size.
    vec& operator=(const vec& v) {
        if (this == &v) return *this;
        if (_size != v._size) {
            delete[] _data;
            _data = v._size > 0 ? new T[v._size] : nullptr;
            _size = v._size;
        }
        for (uint32_t i = 0; i < _size; ++i) _data[i] = v._data[i];
        return *this;
    }
    vec& operator=(vec&& v) noexcept {
        if (this == &v) return *this;
        delete[] _data;
        _size = v._size;
        _data = v._data;
        v._size = 0;
        v._data = nullptr;
        return *this;
    }

    T& operator()(uint32_t i) {
        MATH_CHECK(i < _size);
        return _data[i];
    }
    const T& operator()(uint32_t i) const {
        MATH_CHECK(i < _size);
        return _data[i];
    }

    vec& operator+=(const vec& v) {
        MATH_CHECK(_size == v._size);
        for (uint32_t i = 0; i < _size; ++i) _data[i] += v._data[i];
        return *this;
    }
    vec& operator-=(const vec& v) {
        MATH_CHECK(_size == v._size);
        for (uint32_t i = 0; i < _size; ++i) _data[i] -= v._data[i];
        return *this;
    }
    vec operator+(const vec& v) const {
        vec r(*this);
        r += v;
        return r;
    }
    vec operator-(const vec& v) const {
        vec r(*this);
        r -= v;
        return r;
    }

    uint32_t size() const { return _size; }
    // The raw array (null when empty); for bulk copies and tests.
    const T* data() const { return _data; }

protected:
    uint32_t _size = 0;
    T* _data = nullptr;
};

// Sum of v(i) * w(i) over v's size, accumulated from 0; w must be at least as long.
template <typename T>
T dot(const vec<T>& v, const vec<T>& w) {
    T sum = T(0);
    for (uint32_t i = 0; i < v.size(); ++i) sum += v(i) * w(i);
    return sum;
}

template <typename T>
vec<T> operator*(T s, const vec<T>& v) {
    vec<T> r(v);
    for (uint32_t i = 0; i < r.size(); ++i) r(i) *= s;
    return r;
}
