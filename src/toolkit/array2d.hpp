#pragma once
// Arrays indexed from 1, as the formulas of the solver index them.

#include <cassert>
#include <cstddef>
#include <span>
#include <vector>

namespace quorl {

// Read-only view of n doubles with a stride, indexed from 1: a column or a row of an array2d,
// or a whole vector. Views never own or allocate.
class vview {
public:
    vview() = default;
    vview(const double* data, int n, std::ptrdiff_t stride = 1) : p_(data), n_(n), stride_(stride) {}
    vview(const std::vector<double>& v) : p_(v.data()), n_(static_cast<int>(v.size())) {}
    vview(std::span<const double> v) : p_(v.data()), n_(static_cast<int>(v.size())) {}

    double operator()(int i) const {
        assert(i >= 1 && i <= n_);
        return p_[(i - 1) * stride_];
    }
    int size() const { return n_; }
    bool empty() const { return n_ == 0; }
    // The first n entries.
    vview head(int n) const { return vview(p_, n, stride_); }

private:
    const double* p_ = nullptr;
    int n_ = 0;
    std::ptrdiff_t stride_ = 1;
};

// Two-dimensional real array (n1 x n2), column-major like the results file, indexed (i, j) from 1.
class array2d {
public:
    array2d() = default;
    array2d(int n1, int n2, double value = 0.0) { resize(n1, n2, value); }

    void resize(int n1, int n2, double value = 0.0) {
        n1_ = n1 > 0 ? n1 : 0;
        n2_ = n2 > 0 ? n2 : 0;
        data_.assign(static_cast<std::size_t>(n1_) * static_cast<std::size_t>(n2_), value);
    }

    double& operator()(int i, int j) {
        assert(i >= 1 && i <= n1_ && j >= 1 && j <= n2_);
        return data_[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(n1_)];
    }
    double operator()(int i, int j) const {
        assert(i >= 1 && i <= n1_ && j >= 1 && j <= n2_);
        return data_[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(n1_)];
    }

    int size1() const { return n1_; }
    int size2() const { return n2_; }
    std::size_t size() const { return data_.size(); }

    // Row i: (i, 1..n2), strided. Column j: (1..n1, j), contiguous.
    vview row(int i) const { return vview(data_.data() + (i - 1), n2_, n1_); }
    vview col(int j) const { return vview(data_.data() + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(n1_), n1_); }

    const std::vector<double>& data() const { return data_; }
    std::vector<double>& data() { return data_; }

private:
    int n1_ = 0;
    int n2_ = 0;
    std::vector<double> data_;
};

// A vector indexed from 1.
template <class T>
class array1 {
public:
    array1() = default;
    explicit array1(int n) : v_(static_cast<std::size_t>(n > 0 ? n : 0)) {}
    array1(int n, const T& value) : v_(static_cast<std::size_t>(n > 0 ? n : 0), value) {}

    T& operator()(int i) {
        assert(i >= 1 && static_cast<std::size_t>(i) <= v_.size());
        return v_[static_cast<std::size_t>(i - 1)];
    }
    const T& operator()(int i) const {
        assert(i >= 1 && static_cast<std::size_t>(i) <= v_.size());
        return v_[static_cast<std::size_t>(i - 1)];
    }
    int size() const { return static_cast<int>(v_.size()); }
    void resize(int n) { v_.resize(static_cast<std::size_t>(n > 0 ? n : 0)); }
    void clear() { v_.clear(); }

    auto begin() { return v_.begin(); }
    auto end() { return v_.end(); }
    auto begin() const { return v_.begin(); }
    auto end() const { return v_.end(); }
    std::vector<T>& vec() { return v_; }
    const std::vector<T>& vec() const { return v_; }

private:
    std::vector<T> v_;
};

}  // namespace quorl
