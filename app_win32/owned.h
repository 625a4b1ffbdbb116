#pragma once

#include <objbase.h>
#include <windows.h>

#include <commctrl.h>

#include <utility>

namespace cardwright::win32 {

// One Windows object, given back by its release function when the owner goes.
template <typename Handle, auto Release>
class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { Reset(); }
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.handle_, Handle{}));
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    void Reset(Handle handle = Handle{}) {
        if (handle_ != Handle{}) {
            Release(handle_);
        }
        handle_ = handle;
    }
    Handle Take() { return std::exchange(handle_, Handle{}); }

  private:
    Handle handle_{};
};

inline void DeleteGdiObject(HGDIOBJ object) {
    DeleteObject(object);
}
inline void DestroyOwnedWindow(HWND window) {
    DestroyWindow(window);
}
inline void DestroyOwnedMenu(HMENU menu) {
    DestroyMenu(menu);
}
inline void CloseOwnedHandle(HANDLE handle) {
    CloseHandle(handle);
}
inline void DeleteMemoryDc(HDC dc) {
    DeleteDC(dc);
}
inline void DestroyOwnedImageList(HIMAGELIST list) {
    ImageList_Destroy(list);
}
inline void DestroyOwnedAccelerators(HACCEL table) {
    DestroyAcceleratorTable(table);
}

using OwnedFont = Owned<HFONT, DeleteGdiObject>;
using OwnedBitmap = Owned<HBITMAP, DeleteGdiObject>;
using OwnedWindow = Owned<HWND, DestroyOwnedWindow>;
using OwnedMenu = Owned<HMENU, DestroyOwnedMenu>;
using OwnedHandle = Owned<HANDLE, CloseOwnedHandle>;
using OwnedMemoryDc = Owned<HDC, DeleteMemoryDc>;
using OwnedImageList = Owned<HIMAGELIST, DestroyOwnedImageList>;
using OwnedAccelerators = Owned<HACCEL, DestroyOwnedAccelerators>;

// A window's device context, for as long as it is needed.
class WindowDc {
  public:
    explicit WindowDc(HWND window, bool whole_window = false)
        : window_(window), dc_(whole_window ? GetWindowDC(window) : GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context until the end of the scope.
class Selected {
  public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(dc_, previous_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A COM interface pointer, released when the owner goes.
template <typename Interface>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* operator->() const { return pointer_; }
    Interface* Get() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // Where a function that hands out a new reference puts it.
    Interface** Out() {
        Reset();
        return &pointer_;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    void Reset() {
        if (pointer_ != nullptr) {
            std::exchange(pointer_, nullptr)->Release();
        }
    }

  private:
    Interface* pointer_ = nullptr;
};

// COM on this thread, for as long as the object lives.
class ComApartment {
  public:
    ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (ok_) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool ok_;
};

}  // namespace cardwright::win32
