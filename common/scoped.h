#pragma once
// Owners of system resources, one per resource: each releases what it holds exactly once, when it
// goes out of scope or is reset. Owners move but never copy.
#include <windows.h>

// A policy names the handle type, the value that means "nothing held" and how a held one closes.
template <typename Policy>
class UniqueHandle {
 public:
  using Handle = typename Policy::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle Get() const { return handle_; }
  Handle operator->() const { return handle_; }
  explicit operator bool() const { return handle_ != Policy::Empty(); }
  void Reset(Handle handle = Policy::Empty()) {
    if (*this) Policy::Close(handle_);
    handle_ = handle;
  }
  Handle Release() {
    const Handle handle = handle_;
    handle_ = Policy::Empty();
    return handle;
  }
  // For a call that hands a new handle back through a pointer; closes what is held first.
  Handle* Put() {
    Reset();
    return &handle_;
  }

 private:
  Handle handle_ = Policy::Empty();
};

struct KernelHandlePolicy {  // mutexes, processes, threads: null when empty
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { CloseHandle(handle); }
};

struct FileHandlePolicy {  // CreateFileW fails with INVALID_HANDLE_VALUE, not null
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { CloseHandle(handle); }
};

struct FindHandlePolicy {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { FindClose(handle); }
};

struct RegistryKeyPolicy {  // keys from RegOpenKeyExW and RegCreateKeyExW
  using Handle = HKEY;
  static Handle Empty() { return nullptr; }
  static void Close(Handle key) { RegCloseKey(key); }
};

// Sessions, connections and requests. HINTERNET is a plain pointer; the closer lives in scoped.cpp
// so that winhttp.h, which clashes with other internet headers, stays out of this one.
struct WinHttpHandlePolicy {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle);
};

template <typename Object>
struct GdiObjectPolicy {  // fonts, brushes, bitmaps
  using Handle = Object;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { DeleteObject(handle); }
};

template <typename Object>
struct LocalMemoryPolicy {  // what the system hands back for LocalFree: SID texts, descriptors
  using Handle = Object*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle memory) { LocalFree(memory); }
};

template <typename Interface>
struct ComPointerPolicy {
  using Handle = Interface*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle pointer) { pointer->Release(); }
};

using KernelHandle = UniqueHandle<KernelHandlePolicy>;
using FileHandle = UniqueHandle<FileHandlePolicy>;
using FindHandle = UniqueHandle<FindHandlePolicy>;
using RegistryKey = UniqueHandle<RegistryKeyPolicy>;
using WinHttpHandle = UniqueHandle<WinHttpHandlePolicy>;
template <typename Object>
using GdiObject = UniqueHandle<GdiObjectPolicy<Object>>;
template <typename Object>
using LocalMemory = UniqueHandle<LocalMemoryPolicy<Object>>;
template <typename Interface>
using ComPointer = UniqueHandle<ComPointerPolicy<Interface>>;

// COM on the calling thread for the owner's lifetime; uninitialised only if the start succeeded.
class ScopedCom {
 public:
  explicit ScopedCom(DWORD model);
  ~ScopedCom();
  ScopedCom(const ScopedCom&) = delete;
  ScopedCom& operator=(const ScopedCom&) = delete;

 private:
  bool started_ = false;
};

// GDI+ for the owner's lifetime; everything drawn or decoded with it must be gone before it ends.
class ScopedGdiplus {
 public:
  ScopedGdiplus();
  ~ScopedGdiplus();
  ScopedGdiplus(const ScopedGdiplus&) = delete;
  ScopedGdiplus& operator=(const ScopedGdiplus&) = delete;

 private:
  ULONG_PTR token_ = 0;
  bool started_ = false;
};

// Calls a function when the scope ends: a step of an ordered tear-down written where it belongs.
template <typename Function>
class ScopeExit {
 public:
  explicit ScopeExit(Function function) : function_(function) {}
  ~ScopeExit() { function_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Function function_;
};
