#include "trust/content_rules.h"

#include <cstring>

namespace {

const unsigned char kProgramImage[] = {'M', 'Z'};
const unsigned char kCompoundFile[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

bool StartsWith(const unsigned char* first, size_t size, const unsigned char* magic, size_t length) {
  return size >= length && std::memcmp(first, magic, length) == 0;
}

}  // namespace

bool LooksLikeProgramOrPackage(const unsigned char* first, size_t size) {
  return StartsWith(first, size, kProgramImage, sizeof kProgramImage) ||
         StartsWith(first, size, kCompoundFile, sizeof kCompoundFile);
}
