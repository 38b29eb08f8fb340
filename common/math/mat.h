#pragma once
// mat<T>: a dense matrix stored column-major in a vec (element (i, j) at i + j * _nrows), and
// diag_mat<T>: a diagonal matrix stored as the vec of its diagonal. Only float is used.
// Indices and shapes are checked (see math_check.h).
#include <cstdint>
#include <utility>

#include "common/math/vec.h"

template <typename T>
class mat {
public:
    mat() = default;
    // nrows x ncols, every element `fill`.
    mat(uint32_t nrows, uint32_t ncols, T fill = T(0))
        : _data(nrows * ncols), _ncols(ncols), _nrows(nrows) {
        for (uint32_t i = 0; i < _data.size(); ++i) _data(i) = fill;
    }
    virtual ~mat() = default;
    mat(const mat&) = default;
    mat(mat&&) noexcept = default;
    mat& operator=(const mat&) = default;
    mat& operator=(mat&&) noexcept = default;

    T& operator()(uint32_t i, uint32_t j) {
        MATH_CHECK(i < _nrows && j < _ncols);
        return _data(i + j * _nrows);
    }
    T operator()(uint32_t i, uint32_t j) const {
        MATH_CHECK_TEXT(_data.data() != nullptr && i < _nrows && j < _ncols,
                        "_data != NULL && i < _nrows && j < _ncols");
        return _data(i + j * _nrows);
    }

    // Row i as a new vector of _ncols elements.
    vec<T> row(uint32_t i) const {
        vec<T> r(_ncols);
        for (uint32_t j = 0; j < _ncols; ++j) r(j) = (*this)(i, j);
        return r;
    }
    // Column j as a new vector of _nrows elements.
    vec<T> col(uint32_t j) const {
        vec<T> c(_nrows);
        for (uint32_t i = 0; i < _nrows; ++i) c(i) = (*this)(i, j);
        return c;
    }
    // Copies v into column j; v must have exactly _nrows elements.
    void set_col(uint32_t j, const vec<T>& v) {
        // Runs over the longer of the two so that either length mismatch trips a check.
        for (uint32_t i = 0; i < _nrows || i < v.size(); ++i) (*this)(i, j) = v(i);
    }

    mat operator+(const mat& m) const {
        MATH_CHECK(_ncols == m.ncols() && _nrows == m.nrows());
        mat r(*this);
        r._data += m._data;
        return r;
    }

    // In place: rebuilds the array and swaps the row and column counts.
    void transpose() {
        vec<T> t(_data.size());
        for (uint32_t j = 0; j < _ncols; ++j)
            for (uint32_t i = 0; i < _nrows; ++i) t(j + i * _ncols) = (*this)(i, j);
        _data = std::move(t);
        uint32_t n = _nrows;
        _nrows = _ncols;
        _ncols = n;
    }

    uint32_t nrows() const { return _nrows; }
    uint32_t ncols() const { return _ncols; }
    // The column-major array (null when empty); for bulk copies and tests.
    const T* data() const { return _data.data(); }

protected:
    vec<T> _data;
    uint32_t _ncols = 0;
    uint32_t _nrows = 0;
};

// The transpose as a new matrix; m is unchanged.
template <typename T>
mat<T> transpose(const mat<T>& m) {
    mat<T> t(m);
    t.transpose();
    return t;
}

template <typename T>
mat<T> operator*(T s, const mat<T>& m) {
    mat<T> r(m);
    for (uint32_t j = 0; j < r.ncols(); ++j)
        for (uint32_t i = 0; i < r.nrows(); ++i) r(i, j) *= s;
    return r;
}

template <typename T>
class diag_mat {
public:
    diag_mat() = default;
    // n diagonal values, zero.
    explicit diag_mat(uint32_t n) : _data(n) {}
    virtual ~diag_mat() = default;
    diag_mat(const diag_mat&) = default;
    diag_mat(diag_mat&&) noexcept = default;
    diag_mat& operator=(const diag_mat&) = default;
    diag_mat& operator=(diag_mat&&) noexcept = default;

    // Diagonal element (i, i).
    T& operator()(uint32_t i) { return _data(i); }
    T operator()(uint32_t i) const { return _data(i); }
    uint32_t size() const { return _data.size(); }

protected:
    vec<T> _data;
};
