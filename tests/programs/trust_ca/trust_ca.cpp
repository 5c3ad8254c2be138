// trust_ca FILE: adds the CA certificate in FILE (DER, or PEM with a BEGIN CERTIFICATE header) to
// the current user's Root store, opened as the registry store so no confirmation prompt appears.
// Adding a certificate that is already there succeeds and changes nothing.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool ReadWholeFile(const wchar_t* path, std::vector<BYTE>& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !bytes.empty();
}

// PEM text becomes DER; anything else is taken as DER already.
bool ToDer(std::vector<BYTE>& bytes) {
  const std::string text(bytes.begin(), bytes.end());
  if (text.find("-----BEGIN") == std::string::npos) return true;
  DWORD size = 0;
  if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                            nullptr, nullptr))
    return false;
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                            nullptr, nullptr))
    return false;
  der.resize(size);
  bytes.swap(der);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust_ca CERTIFICATE-FILE\n");
    return 2;
  }
  std::vector<BYTE> der;
  if (!ReadWholeFile(argv[1], der)) {
    std::fprintf(stderr, "trust_ca: cannot read the certificate file\n");
    return 1;
  }
  if (!ToDer(der)) {
    std::fprintf(stderr, "trust_ca: bad PEM text (error %lu)\n", GetLastError());
    return 1;
  }
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
  if (!store) {
    std::fprintf(stderr, "trust_ca: cannot open the Root store (error %lu)\n", GetLastError());
    return 1;
  }
  const BOOL added = CertAddEncodedCertificateToStore(
      store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING, nullptr);
  const DWORD code = GetLastError();
  CertCloseStore(store, 0);
  if (!added) {
    std::fprintf(stderr, "trust_ca: cannot add the certificate (error 0x%08lX)\n", code);
    return 1;
  }
  std::printf("trust_ca: certificate is in the current user's Root store\n");
  return 0;
}
