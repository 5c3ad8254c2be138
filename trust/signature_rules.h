#pragma once
// Which downloads the launcher's publisher must have signed, and how a signer's names are compared
// with the publisher's. The publisher is whoever signed the running launcher.
#include <string>
#include <vector>

constexpr const wchar_t* kOwnSignatureFailsText =
    L"This launcher's own signature does not verify; refusing to start downloaded programs.";
constexpr const wchar_t* kOwnFileUnreadableText =
    L"This launcher cannot read its own file; refusing to start downloaded programs.";

// The subject names of a certificate that the comparison reads, in the order the subject has them.
struct SubjectNames {
  std::vector<std::wstring> commonNames;
  std::vector<std::wstring> organizations;
};

// A signer as the launcher knows its publisher: one common name and at most one organisation.
struct Publisher {
  std::wstring commonName;
  std::wstring organization;
  bool hasOrganization = false;
};

// Files the system starts as programs or installs (.exe, .msi, .msp, ASCII letters in any case),
// and any download that would be relaunched as the launcher's own update, must be signed.
bool MustBeSignedByPublisher(const std::wstring& extension, bool relaunchedAsUpdate);
// Of those, the installer's packages and patches (.msi, .msp), whose signatures are made for the
// installer rather than for a program image.
bool IsInstallerPackageType(const std::wstring& extension);
// The subject names one publisher: exactly one CN and at most one O. False otherwise.
bool PublisherFromSubject(const SubjectNames& subject, Publisher& publisher);
// The subject names exactly this publisher. Keys, serials and issuers are not compared: they
// change when the certificate is renewed, the names do not.
bool SubjectIsPublisher(const SubjectNames& subject, const Publisher& publisher);
// "Downloaded file is not signed by %s." with the publisher's organisation, or its CN without one.
std::wstring NotSignedByText(const Publisher& publisher);
