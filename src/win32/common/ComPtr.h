// The few COM owners we need: an interface pointer, a BSTR, a VARIANT, an array of VARIANTs
// and the apartment of the calling thread. Each releases what it owns exactly once.
#pragma once

#include <windows.h>
// (the OLE headers need windows.h first)
#include <oleauto.h>

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace ravel::win {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Shares p: takes a reference of its own.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  // Takes over a reference the caller already holds.
  static ComPtr Adopt(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out parameters: releases what is held and hands out the slot.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  T* detach() { return std::exchange(p_, nullptr); }

  template <class U>
  ComPtr<U> As(REFIID iid) const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(iid, out.put_void());
    return out;
  }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::wstring_view s)
      : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
  Bstr& operator=(Bstr&& o) noexcept {
    std::swap(b_, o.b_);
    return *this;
  }
  ~Bstr() { SysFreeString(b_); }

  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(std::exchange(b_, nullptr));
    return &b_;
  }
  BSTR detach() { return std::exchange(b_, nullptr); }
  // A null BSTR is the empty string, as automation treats it.
  std::wstring_view view() const { return {b_ ? b_ : L"", SysStringLen(b_)}; }

 private:
  BSTR b_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
  Variant& operator=(Variant&& o) noexcept {
    std::swap(v_, o.v_);
    return *this;
  }
  ~Variant() { VariantClear(&v_); }

  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARIANT* operator->() { return &v_; }
  const VARIANT* operator->() const { return &v_; }
  // Moves the content into a VARIANT the caller owns from now on.
  void detach(VARIANT* out) {
    *out = v_;
    VariantInit(&v_);
  }

 private:
  VARIANT v_;
};

// Contiguous, as DISPPARAMS needs them; every element cleared at the end.
class VariantArray {
 public:
  explicit VariantArray(std::size_t n) : v_(n) {
    for (VARIANT& v : v_) VariantInit(&v);
  }
  VariantArray(const VariantArray&) = delete;
  VariantArray& operator=(const VariantArray&) = delete;
  ~VariantArray() {
    for (VARIANT& v : v_) VariantClear(&v);
  }
  VARIANT* data() { return v_.empty() ? nullptr : v_.data(); }
  VARIANT& operator[](std::size_t i) { return v_[i]; }
  std::size_t size() const { return v_.size(); }

 private:
  std::vector<VARIANT> v_;
};

// Joins the calling thread to a single-threaded apartment for the object's lifetime. The
// program's entry point and each test make one before the first Word call and keep it
// until every COM object (ComWord included) is gone.
class ComInit {
 public:
  ComInit() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
  ~ComInit() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  // S_OK or S_FALSE (already joined) both count as success.
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace ravel::win
