#pragma once
// Reading DER, the encoding of signatures, certificates and time stamps: one element at a time,
// definite lengths only. Portable: no system call.
#include <cstddef>
#include <string>

constexpr unsigned char kDerSequence = 0x30;
constexpr unsigned char kDerInteger = 0x02;
constexpr unsigned char kDerOctetString = 0x04;
constexpr unsigned char kDerObjectIdentifier = 0x06;
constexpr unsigned char kDerGeneralizedTime = 0x18;

// One element: its tag and where its contents lie, as offsets into the buffer it was read from.
struct DerElement {
  unsigned char tag = 0;
  size_t contents = 0;  // offset of the first content byte
  size_t length = 0;    // number of content bytes
  size_t end = 0;       // offset just past the element
};

// The element that starts at `offset` and lies wholly within the `size` bytes at `data`. False for
// a multi-byte tag, an indefinite length, a length in more than four bytes or one that runs past
// the buffer.
bool ReadDerElement(const unsigned char* data, size_t size, size_t offset, DerElement& element);
// The same, from a byte string.
bool ReadDerElement(const std::string& data, size_t offset, DerElement& element);
// The contents of an element, as a byte string.
std::string DerContents(const std::string& data, const DerElement& element);
// `data` is exactly one element with this tag; its contents are then in `contents`.
bool ReadWholeDerElement(const std::string& data, unsigned char tag, std::string& contents);
