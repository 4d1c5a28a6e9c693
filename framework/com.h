#pragma once
// COM helpers: an owning interface pointer, BSTR construction, the boundary
// that turns exceptions into HRESULTs, and a base for
// objects that answer QueryInterface from a declared table and can be
// aggregated.

#include "core/text.h"
#include "framework/handles.h"
#include "framework/module.h"
#include "framework/wide.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <new>
#include <utility>

namespace fw {

// Owning interface pointer. put() releases what it holds before handing out
// the address, so an out-parameter never leaks a live pointer.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* raw) { ComPtr p; p.ptr_ = raw; return p; }
    // Adds a reference of its own.
    static ComPtr Copy(T* raw) { ComPtr p; p.ptr_ = raw; if (raw) raw->AddRef(); return p; }

    ComPtr(const ComPtr& other) : ptr_(other.ptr_) { if (ptr_) ptr_->AddRef(); }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept { std::swap(ptr_, other.ptr_); return *this; }
    ~ComPtr() { reset(); }

    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

    void reset() { if (ptr_) std::exchange(ptr_, nullptr)->Release(); }
    T** put() { reset(); return &ptr_; }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* detach() { return std::exchange(ptr_, nullptr); }

    // QueryInterface for U; an empty pointer when the object lacks it.
    template <class U>
    ComPtr<U> TryQuery() const {
        ComPtr<U> result;
        if (ptr_) ptr_->QueryInterface(__uuidof(U), result.put_void());
        return result;
    }

private:
    T* ptr_ = nullptr;
};

// A new BSTR holding `text`; throws std::bad_alloc when the system has no memory.
inline UniqueBstr MakeBstr(const core::String& text) {
    BSTR s = ::SysAllocStringLen(W(text), static_cast<UINT>(text.size()));
    if (!s) throw std::bad_alloc();
    return UniqueBstr(s);
}

inline core::String FromBstr(BSTR s) {
    return s ? FromWide(s, ::SysStringLen(s)) : core::String();
}

// Runs `body` at a COM entry point: allocation failures become E_OUTOFMEMORY,
// anything else thrown becomes E_UNEXPECTED. No exception crosses into the host.
template <class Body>
HRESULT ComBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// One row of a QueryInterface table: the interface id and how to reach the
// interface inside the object.
struct InterfaceEntry {
    const IID* iid;
    void* (*cast)(void* object);
};

template <class Derived, class Interface>
InterfaceEntry InterfaceOf() {
    return {&__uuidof(Interface),
            [](void* object) -> void* { return static_cast<Interface*>(static_cast<Derived*>(object)); }};
}

// Base for our COM classes: a single-threaded reference count, a module lock
// for the object's lifetime, QueryInterface answered from Derived::Interfaces()
// in table order (the first row is also the IUnknown identity), and
// aggregation: when created inside an outer object, every IUnknown call on
// the interfaces goes to the outer object, and only the inner IUnknown
// handed to the outer object counts references.
template <class Derived, class... Implemented>
class ComObject : public Implemented... {
public:
    // Creates an object and asks it for `iid`. With `outer`, only IUnknown
    // may be asked for (the outer object keeps the inner IUnknown).
    static HRESULT Create(IUnknown* outer, REFIID iid, void** result) {
        if (!result) return E_POINTER;
        *result = nullptr;
        if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) Derived();
        if (!object) return E_OUTOFMEMORY;
        object->inner_.owner = object;
        object->outer_ = outer ? outer : &object->inner_;
        HRESULT hr = object->inner_.QueryInterface(iid, result);
        object->inner_.Release();  // drops the reference of construction
        return hr;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** result) override { return outer_->QueryInterface(iid, result); }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

protected:
    ComObject() { ModuleLock::Add(); }
    virtual ~ComObject() { ModuleLock::Release(); }

private:
    // The non-delegating IUnknown: the object's own reference count.
    struct Inner final : IUnknown {
        STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
            if (!result) return E_POINTER;
            *result = nullptr;
            const bool aggregated = static_cast<ComObject*>(owner)->outer_ != this;
            if (iid == IID_IUnknown && aggregated) {
                // The outer object holds us by this pointer.
                *result = static_cast<IUnknown*>(this);
                AddRef();
                return S_OK;
            }
            // IUnknown is answered by the first row: the object's identity.
            for (const InterfaceEntry& entry : Derived::Interfaces()) {
                if (*entry.iid == iid || iid == IID_IUnknown) {
                    *result = entry.cast(owner);
                    owner->AddRef();  // through the outer object when aggregated
                    return S_OK;
                }
            }
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
        STDMETHODIMP_(ULONG) Release() override {
            ULONG left = --refs;
            if (left == 0) delete owner;
            return left;
        }
        Derived* owner = nullptr;
        ULONG refs = 1;
    };

    Inner inner_;
    IUnknown* outer_ = &inner_;
};

} // namespace fw
