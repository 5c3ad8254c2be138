#include "trust/publisher.h"

#include <windows.h>

#include "common/scoped.h"
#include "common/system_paths.h"
#include "trust/authenticode.h"
#include "trust/signature_rules.h"

namespace {

enum class OwnSignature { Absent, Valid, Failing };

struct OwnSigner {
  OwnSignature signature = OwnSignature::Failing;
  Publisher publisher;
};

// Read access only, and only readers may share it: nobody writes, renames or deletes the file
// while this handle is open.
FileHandle OpenForVerdict(const std::wstring& path) {
  return FileHandle(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Judged like a download, by the same rule; a signature that is there but fails it, a signer
// that names no single publisher, or an executable that cannot be read all fail closed.
OwnSigner ReadOwnSigner() {
  OwnSigner own;
  const std::wstring path = OwnExePath();
  if (path.empty()) return own;
  FileHandle file = OpenForVerdict(path);
  if (!file) return own;
  SubjectNames signer;
  const SignatureVerdict verdict = VerifyAuthenticode(file.Get(), path, signer);
  if (verdict == SignatureVerdict::Absent) {
    own.signature = OwnSignature::Absent;
  } else if (verdict == SignatureVerdict::Valid && PublisherFromSubject(signer, own.publisher)) {
    own.signature = OwnSignature::Valid;
    file.Release();  // the running launcher stays as judged too, until the process ends
  }
  return own;
}

const OwnSigner& LaunchersSigner() {
  static const OwnSigner own = ReadOwnSigner();
  return own;
}

}  // namespace

bool LauncherCarriesSignature() {
  const auto* image = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
  if (!image) return false;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
  return table.VirtualAddress != 0 && table.Size != 0;
}

bool CheckSignedByPublisher(HANDLE file, const std::wstring& path, std::wstring& error) {
  const OwnSigner& own = LaunchersSigner();
  if (own.signature == OwnSignature::Absent) return true;
  if (own.signature == OwnSignature::Failing) {
    error = kOwnSignatureFailsText;
    return false;
  }
  SubjectNames signer;
  if (VerifyAuthenticode(file, path, signer) != SignatureVerdict::Valid || !SubjectIsPublisher(signer, own.publisher)) {
    error = NotSignedByText(own.publisher);
    return false;
  }
  return true;
}
