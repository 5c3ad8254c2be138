#include "trust/publisher.h"

#include "common/scoped.h"
#include "common/system_paths.h"
#include "trust/authenticode.h"
#include "trust/certificate_table_rules.h"
#include "trust/file_bytes.h"
#include "trust/signature_rules.h"

namespace {

enum class OwnSignature { Absent, Valid, Failing, Unreadable };

struct OwnSigner {
  OwnSignature signature = OwnSignature::Failing;
  Publisher publisher;
};

// Unsigned means no certificate table at all. A launcher that carries one is judged like a download
// it starts, by the same rule, and anything short of a valid signature that names one publisher
// fails closed; so does an own file that cannot be read, which says so.
OwnSigner ReadOwnSigner() {
  OwnSigner own;
  if (!LauncherCarriesSignature()) {
    own.signature = OwnSignature::Absent;
    return own;
  }
  const std::wstring path = OwnExePath();
  FileHandle file = path.empty() ? FileHandle() : OpenForVerdict(path);
  if (!file) {
    own.signature = OwnSignature::Unreadable;
    return own;
  }
  SubjectNames signer;
  if (VerifyAuthenticode(file.Get(), path, SignedContent::Program, signer) == SignatureVerdict::Valid &&
      PublisherFromSubject(signer, own.publisher)) {
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
  uint32_t ntOffset = 0;
  CertificateTableLocation table;
  // The loaded image's headers are the file's, mapped whole.
  return image && NtHeadersOffset(image, kDosHeaderBytes, ntOffset) &&
         CertificateTableFromHeaders(image + ntOffset, kNtHeadersBytes, table) && table.offset != 0 && table.size != 0;
}

bool CheckSignedByPublisher(HANDLE file, const std::wstring& path, SignedContent content, std::wstring& error) {
  const OwnSigner& own = LaunchersSigner();
  switch (own.signature) {
    case OwnSignature::Absent: return true;
    case OwnSignature::Unreadable: error = kOwnFileUnreadableText; return false;
    case OwnSignature::Failing: error = kOwnSignatureFailsText; return false;
    case OwnSignature::Valid: break;
  }
  SubjectNames signer;
  if (file == INVALID_HANDLE_VALUE || !file ||
      VerifyAuthenticode(file, path, content, signer) != SignatureVerdict::Valid ||
      !SubjectIsPublisher(signer, own.publisher)) {
    error = NotSignedByText(own.publisher);
    return false;
  }
  return true;
}
