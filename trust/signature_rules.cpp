#include "trust/signature_rules.h"

#include "common/ascii_names.h"

bool MustBeSignedByPublisher(const std::wstring& extension, bool relaunchedAsUpdate) {
  return relaunchedAsUpdate || EqualsIgnoringAsciiCase(extension, L".exe") || IsInstallerPackageType(extension);
}

bool IsInstallerPackageType(const std::wstring& extension) {
  return EqualsIgnoringAsciiCase(extension, L".msi") || EqualsIgnoringAsciiCase(extension, L".msp");
}

bool PublisherFromSubject(const SubjectNames& subject, Publisher& publisher) {
  if (subject.commonNames.size() != 1 || subject.organizations.size() > 1) return false;
  publisher.commonName = subject.commonNames[0];
  publisher.hasOrganization = !subject.organizations.empty();
  publisher.organization = publisher.hasOrganization ? subject.organizations[0] : std::wstring();
  return true;
}

bool SubjectIsPublisher(const SubjectNames& subject, const Publisher& publisher) {
  Publisher signer;
  return PublisherFromSubject(subject, signer) && signer.commonName == publisher.commonName &&
         signer.hasOrganization == publisher.hasOrganization && signer.organization == publisher.organization;
}

std::wstring NotSignedByText(const Publisher& publisher) {
  return L"Downloaded file is not signed by " +
         (publisher.hasOrganization ? publisher.organization : publisher.commonName) + L".";
}
