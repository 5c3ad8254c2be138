#include "trust/package_digest.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "common/scoped.h"
#include "trust/certificate_table_rules.h"
#include "trust/der_rules.h"
#include "trust/file_bytes.h"
#include "trust/package_digest_rules.h"
#include "trust/sha256.h"

namespace {

constexpr ULONG kChunkBytes = 64 * 1024;

// The file's bytes as the storage reads them: through the held handle, never written.
class HandleBytes final : public ILockBytes {
 public:
  explicit HandleBytes(HANDLE file) : file_(file) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (!object) return E_POINTER;
    if (id != IID_IUnknown && id != IID_ILockBytes) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<ILockBytes*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG size, ULONG* read) override {
    uint64_t length = 0;
    if (!FileSizeOf(file_, length)) return STG_E_READFAULT;
    const ULONG available =
        offset.QuadPart >= length ? 0 : static_cast<ULONG>(std::min<uint64_t>(size, length - offset.QuadPart));
    if (available > 0 && !ReadFileAt(file_, offset.QuadPart, buffer, available)) return STG_E_READFAULT;
    if (read) *read = available;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE WriteAt(ULARGE_INTEGER, const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE Flush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    uint64_t length = 0;
    if (!stat || !FileSizeOf(file_, length)) return STG_E_ACCESSDENIED;
    *stat = STATSTG();
    stat->type = STGTY_LOCKBYTES;
    stat->cbSize.QuadPart = length;
    stat->grfMode = STGM_READ;
    return S_OK;
  }

 private:
  ~HandleBytes() = default;

  HANDLE file_;
  LONG references_ = 1;
};

// One element of a storage: its name and what the storage says of it.
struct Element {
  std::wstring name;
  STATSTG stat = {};  // without its name
};

uint64_t Ticks(const FILETIME& time) { return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime; }

// A storage's elements in the order they are digested.
bool ListElements(IStorage* storage, std::vector<Element>& elements) {
  ComPointer<IEnumSTATSTG> list;
  if (FAILED(storage->EnumElements(0, nullptr, 0, list.Put()))) return false;
  STATSTG stat = {};
  ULONG fetched = 0;
  while (list->Next(1, &stat, &fetched) == S_OK && fetched == 1) {
    Element element;
    element.name = stat.pwcsName ? stat.pwcsName : L"";
    CoTaskMemFree(stat.pwcsName);
    stat.pwcsName = nullptr;
    element.stat = stat;
    elements.push_back(element);
  }
  std::sort(elements.begin(), elements.end(),
            [](const Element& a, const Element& b) { return DigestedBefore(a.name, b.name); });
  return true;
}

bool IsSignatureStream(const Element& element) {
  return element.stat.type == STGTY_STREAM &&
         (element.name == kPackageSignatureStream || element.name == kPackageSignatureExStream);
}

bool OpenStream(IStorage* storage, const std::wstring& name, ComPointer<IStream>& stream) {
  return SUCCEEDED(storage->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Put()));
}

bool OpenStorage(IStorage* storage, const std::wstring& name, ComPointer<IStorage>& child) {
  return SUCCEEDED(
      storage->OpenStorage(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, child.Put()));
}

// Every byte of the stream, which must be `size` long, into the hash.
bool HashStream(IStream* stream, uint64_t size, Sha256Hash& hash) {
  std::vector<unsigned char> buffer(kChunkBytes);
  std::wstring ignored;
  uint64_t total = 0;
  for (;;) {
    ULONG read = 0;
    if (FAILED(stream->Read(buffer.data(), kChunkBytes, &read))) return false;
    if (read == 0) break;
    if (!hash.Add(buffer.data(), read, ignored)) return false;
    total += read;
  }
  return total == size;
}

// A signature stream, no larger than a program's certificate table may be.
bool ReadWholeStream(IStream* stream, uint64_t size, std::string& bytes) {
  if (size > kMaxCertificateTableBytes) return false;
  bytes.assign(static_cast<size_t>(size), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    ULONG read = 0;
    if (FAILED(stream->Read(&bytes[done], static_cast<ULONG>(bytes.size() - done), &read)) || read == 0) return false;
    done += read;
  }
  return true;
}

// The streams' bytes, storages depth first, each storage's class last; the root's signature
// streams left out.
bool HashContents(IStorage* storage, bool root, Sha256Hash& hash) {
  std::vector<Element> elements;
  if (!ListElements(storage, elements)) return false;
  for (const Element& element : elements) {
    if (root && IsSignatureStream(element)) continue;
    if (element.stat.type == STGTY_STREAM) {
      ComPointer<IStream> stream;
      if (!OpenStream(storage, element.name, stream) || !HashStream(stream.Get(), element.stat.cbSize.QuadPart, hash)) {
        return false;
      }
    } else if (element.stat.type == STGTY_STORAGE) {
      ComPointer<IStorage> child;
      if (!OpenStorage(storage, element.name, child) || !HashContents(child.Get(), false, hash)) return false;
    }
  }
  STATSTG stat = {};
  std::wstring ignored;
  return SUCCEEDED(storage->Stat(&stat, STATFLAG_NONAME)) && hash.Add(&stat.clsid, sizeof stat.clsid, ignored);
}

PackageEntry EntryOf(const STATSTG& stat, PackageEntry::Kind kind, const std::wstring& name) {
  PackageEntry entry;
  entry.kind = kind;
  entry.name = name;
  static_assert(sizeof entry.classId == sizeof stat.clsid, "a class id is 16 bytes");
  std::memcpy(entry.classId, &stat.clsid, sizeof entry.classId);
  entry.size = stat.cbSize.QuadPart;
  entry.stateBits = stat.grfStateBits;
  entry.created = Ticks(stat.ctime);
  entry.modified = Ticks(stat.mtime);
  return entry;
}

bool AddMetadata(Sha256Hash& hash, const PackageEntry& entry) {
  const std::string bytes = PackageEntryMetadata(entry);
  std::wstring ignored;
  return hash.Add(bytes.data(), static_cast<DWORD>(bytes.size()), ignored);
}

// The extended signature's digest of the entries: each storage's own metadata (`entry`), then its
// elements' in digest order, storages depth first.
bool HashMetadata(IStorage* storage, const PackageEntry& entry, Sha256Hash& hash) {
  std::vector<Element> elements;
  if (!AddMetadata(hash, entry) || !ListElements(storage, elements)) return false;
  for (const Element& element : elements) {
    if (entry.kind == PackageEntry::Kind::Root && IsSignatureStream(element)) continue;
    if (element.stat.type == STGTY_STREAM) {
      if (!AddMetadata(hash, EntryOf(element.stat, PackageEntry::Kind::Stream, element.name))) return false;
    } else if (element.stat.type == STGTY_STORAGE) {
      ComPointer<IStorage> child;
      if (!OpenStorage(storage, element.name, child) ||
          !HashMetadata(child.Get(), EntryOf(element.stat, PackageEntry::Kind::Storage, element.name), hash)) {
        return false;
      }
    }
  }
  return true;
}

bool Finish(Sha256Hash& hash, std::string& digest) {
  unsigned char bytes[kSha256Bytes] = {};
  std::wstring ignored;
  if (!hash.Finish(bytes, ignored)) return false;
  digest.assign(reinterpret_cast<const char*>(bytes), sizeof bytes);
  return true;
}

// The signature stream holds one DER element and nothing after it; whether the extended signature's
// stream is there.
bool CheckSignatureStreams(IStorage* root, bool& extended) {
  std::vector<Element> elements;
  if (!ListElements(root, elements)) return false;
  bool signature = false;
  extended = false;
  for (const Element& element : elements) {
    if (!IsSignatureStream(element)) continue;
    if (element.name == kPackageSignatureExStream) {
      extended = true;
      continue;
    }
    ComPointer<IStream> stream;
    std::string bytes;
    DerElement blob;
    if (!OpenStream(root, element.name, stream) ||
        !ReadWholeStream(stream.Get(), element.stat.cbSize.QuadPart, bytes) || !ReadDerElement(bytes, 0, blob) ||
        blob.tag != kDerSequence || blob.end != bytes.size()) {
      return false;
    }
    signature = true;
  }
  return signature;
}

}  // namespace

bool PackageDigestMatches(HANDLE file, const std::string& digest) {
  ComPointer<ILockBytes> bytes(new (std::nothrow) HandleBytes(file));
  ComPointer<IStorage> root;
  bool extended = false;
  if (!bytes ||
      FAILED(StgOpenStorageOnILockBytes(bytes.Get(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                                        root.Put())) ||
      !CheckSignatureStreams(root.Get(), extended)) {
    return false;
  }
  Sha256Hash hash;
  std::wstring ignored;
  if (!hash.Start(ignored)) return false;
  if (extended) {
    Sha256Hash metadata;
    std::string prehash;
    STATSTG stat = {};
    if (FAILED(root->Stat(&stat, STATFLAG_NONAME)) || !metadata.Start(ignored) ||
        !HashMetadata(root.Get(), EntryOf(stat, PackageEntry::Kind::Root, std::wstring()), metadata) ||
        !Finish(metadata, prehash) || !hash.Add(prehash.data(), static_cast<DWORD>(prehash.size()), ignored)) {
      return false;
    }
  }
  std::string computed;
  return HashContents(root.Get(), true, hash) && Finish(hash, computed) && computed == digest;
}
