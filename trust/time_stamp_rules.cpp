#include "trust/time_stamp_rules.h"

#include "trust/der_rules.h"

const std::string kSha256OidContents("\x60\x86\x48\x01\x65\x03\x04\x02\x01", 9);

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kDaysFrom1601To1970 = 134774;

bool Digits(const std::string& text, size_t at, size_t count, int& value) {
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysSince1970(int year, int month, int day) {
  const int y = month <= 2 ? year - 1 : year;
  const int era = y / 400;  // years here are never negative
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return static_cast<int64_t>(era) * 146097 + dayOfEra - 719468;
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

bool GeneralizedTimeTicks(const std::string& text, uint64_t& ticks) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, 0, 4, year) || !Digits(text, 4, 2, month) || !Digits(text, 6, 2, day) ||
      !Digits(text, 8, 2, hour) || !Digits(text, 10, 2, minute) || !Digits(text, 12, 2, second)) {
    return false;
  }
  size_t at = 14;
  if (at < text.size() && text[at] == '.') {
    int ignored = 0;
    if (!Digits(text, ++at, 1, ignored)) return false;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  }
  if (at + 1 != text.size() || text[at] != 'Z') return false;
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
      second > 59) {
    return false;
  }
  const int64_t days = DaysSince1970(year, month, day) + kDaysFrom1601To1970;
  const uint64_t seconds = static_cast<uint64_t>(days) * 86400 + hour * 3600 + minute * 60 + second;
  ticks = seconds * kTicksPerSecond;
  return true;
}

bool ReadTimeStampInfo(const std::string& der, TimeStampInfo& info) {
  std::string body;
  if (!ReadWholeDerElement(der, kDerSequence, body)) return false;
  DerElement version, policy, imprint, serial, time;
  if (!ReadDerElement(body, 0, version) || version.tag != kDerInteger || DerContents(body, version) != "\x01" ||
      !ReadDerElement(body, version.end, policy) || policy.tag != kDerObjectIdentifier ||
      !ReadDerElement(body, policy.end, imprint) || imprint.tag != kDerSequence ||
      !ReadDerElement(body, imprint.end, serial) || serial.tag != kDerInteger ||
      !ReadDerElement(body, serial.end, time) || time.tag != kDerGeneralizedTime) {
    return false;
  }
  // messageImprint: SEQUENCE { SEQUENCE { algorithm OID, parameters (NULL or absent) }, OCTET STRING }
  const std::string pair = DerContents(body, imprint);
  DerElement algorithm, oid, hash;
  if (!ReadDerElement(pair, 0, algorithm) || algorithm.tag != kDerSequence ||
      !ReadDerElement(pair, algorithm.contents, oid) || oid.tag != kDerObjectIdentifier || oid.end > algorithm.end ||
      !ReadDerElement(pair, algorithm.end, hash) || hash.tag != kDerOctetString || hash.end != pair.size()) {
    return false;
  }
  info.imprintAlgorithm = DerContents(pair, oid);
  info.imprint = DerContents(pair, hash);
  return GeneralizedTimeTicks(DerContents(body, time), info.time);
}
