#include "trust/signed_content_rules.h"

#include <cstring>

#include "trust/der_rules.h"

namespace {

// {C689AAB8-8E78-11D0-8C47-00C04FC295EE}, the PE image's interface package.
const unsigned char kProgramSubject[16] = {0xB8, 0xAA, 0x89, 0xC6, 0x78, 0x8E, 0xD0, 0x11,
                                           0x8C, 0x47, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE};
// {000C10F1-0000-0000-C000-000000000046}, the installer's (packages and patches alike).
const unsigned char kPackageSubject[16] = {0xF1, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const char kPeImageData[] = "1.3.6.1.4.1.311.2.1.15";  // SPC_PE_IMAGE_DATA_OBJID
const char kSipInfo[] = "1.3.6.1.4.1.311.2.1.30";      // SPC_SIPINFO_OBJID

const unsigned char* SubjectOf(SignedContent content) {
  return content == SignedContent::Program ? kProgramSubject : kPackageSubject;
}

// SpcSipInfo: SEQUENCE { version INTEGER, the interface package's GUID as 16 octets, reserved... }.
bool SipInfoNames(const std::string& value, const unsigned char* subject) {
  std::string info;
  DerElement version;
  DerElement guid;
  return ReadWholeDerElement(value, kDerSequence, info) && ReadDerElement(info, 0, version) &&
         version.tag == kDerInteger && ReadDerElement(info, version.end, guid) && guid.tag == kDerOctetString &&
         guid.length == 16 && std::memcmp(info.data() + guid.contents, subject, 16) == 0;
}

}  // namespace

bool SubjectFits(SignedContent content, const unsigned char (&subject)[16]) {
  return std::memcmp(subject, SubjectOf(content), 16) == 0;
}

bool IndirectDataFits(SignedContent content, const std::string& type, const std::string& value) {
  if (content == SignedContent::Program) return type == kPeImageData;
  return type == kSipInfo && SipInfoNames(value, kPackageSubject);
}
