#include "trust/der_rules.h"

bool ReadDerElement(const unsigned char* data, size_t size, size_t offset, DerElement& element) {
  if (offset >= size || size - offset < 2) return false;
  const unsigned char tag = data[offset];
  if ((tag & 0x1F) == 0x1F) return false;  // a tag number above 30 takes more bytes; none is read here
  size_t at = offset + 1;
  size_t length = data[at++];
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    if (count == 0 || count > 4 || size - at < count) return false;  // 0x80 is the indefinite length
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | data[at++];
  }
  if (length > size - at) return false;
  element.tag = tag;
  element.contents = at;
  element.length = length;
  element.end = at + length;
  return true;
}

bool ReadDerElement(const std::string& data, size_t offset, DerElement& element) {
  return ReadDerElement(reinterpret_cast<const unsigned char*>(data.data()), data.size(), offset, element);
}

std::string DerContents(const std::string& data, const DerElement& element) {
  return data.substr(element.contents, element.length);
}

bool ReadWholeDerElement(const std::string& data, unsigned char tag, std::string& contents) {
  DerElement element;
  if (!ReadDerElement(data, 0, element) || element.tag != tag || element.end != data.size()) return false;
  contents = DerContents(data, element);
  return true;
}
