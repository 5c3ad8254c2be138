#pragma once
// A block of memory inside another process, so messages that pass pointers (list view texts and
// rectangles) can be answered by a window that is not ours.
#include <windows.h>

#include <cstddef>

class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, size_t bytes)
      : process_(process),
        address_(process ? VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr),
        bytes_(bytes) {}
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool ok() const { return address_ != nullptr; }
  char* at(size_t offset) const { return static_cast<char*>(address_) + offset; }
  bool Write(size_t offset, const void* data, size_t size) const {
    SIZE_T done = 0;
    return offset + size <= bytes_ && WriteProcessMemory(process_, at(offset), data, size, &done) && done == size;
  }
  bool Read(size_t offset, void* data, size_t size) const {
    SIZE_T done = 0;
    return offset + size <= bytes_ && ReadProcessMemory(process_, at(offset), data, size, &done) && done == size;
  }

 private:
  HANDLE process_;
  void* address_;
  size_t bytes_;
};

class ProcessHandle {
 public:
  explicit ProcessHandle(DWORD pid)
      : handle_(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                            FALSE, pid)) {}
  ~ProcessHandle() {
    if (handle_) CloseHandle(handle_);
  }
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};
