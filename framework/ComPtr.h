// A COM interface pointer that holds one reference.
#pragma once

#include <unknwn.h>

#include <utility>

// Constructing from a raw pointer takes a new reference, so
// `ComPtr<T> p(new CSomeFilter(...))` owns a framework object born with none.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* p) : p_(p)
    {
        if (p_ != nullptr)
            p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr& operator=(ComPtr other)
    {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset()
    {
        if (p_ != nullptr)
            p_->Release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held first.
    T** put()
    {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    // Hands the reference to the caller, for out parameters; leaves this empty.
    T* detach() { return std::exchange(p_, nullptr); }

    // Another interface of the same object; empty when it has none.
    template <typename U>
    ComPtr<U> As(REFIID iid) const
    {
        ComPtr<U> other;
        if (p_ != nullptr)
            p_->QueryInterface(iid, other.put_void());
        return other;
    }

private:
    T* p_ = nullptr;
};
