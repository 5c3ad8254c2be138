#include "checker/check_report.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "manifest/list_text.h"
#include "manifest/utf8.h"
#include "net/manifest_body.h"
#include "trust/download_rules.h"
#include "trust/file_name.h"
#include "trust/signed_list.h"

namespace {

const char kHexDigits[] = "0123456789abcdef";

void AppendUnitEscape(std::string& out, unsigned unit) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

// Display form of a cell: controls would break the table's lines, so they show escaped.
std::string DisplayText(const std::wstring& text) {
  std::string out;
  std::wstring run;
  for (wchar_t unit : text) {
    const uint32_t value = static_cast<uint32_t>(unit);
    if (value >= 0x20 && value != 0x7F) {
      run += unit;
      continue;
    }
    out += WideToUtf8(run);
    run.clear();
    AppendUnitEscape(out, value);
  }
  return out + WideToUtf8(run);
}

// Columns are padded by characters, not bytes, so non-ASCII names still line up.
size_t DisplayWidth(const std::string& utf8) {
  return static_cast<size_t>(std::count_if(
      utf8.begin(), utf8.end(), [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }));
}

// The checksum column: what the launcher will make of the entry's sha256.
const char* ChecksumCell(const ManifestEntry& entry) {
  if (entry.sha256.empty()) return "\xE2\x80\x94";                  // an em dash: none given
  return IsSha256Hex(entry.sha256) ? "\xE2\x9C\x93" : "malformed";  // a check mark
}

// One text per thing the vendor should mend, in display order; the launcher refuses such downloads.
std::vector<std::wstring> Problems(const Manifest& manifest, bool signedList) {
  std::vector<std::wstring> problems;
  for (size_t i = 0; i < manifest.files.size(); ++i) {
    const ManifestEntry& entry = manifest.files[i];
    const std::wstring which = L"Entry " + std::to_wstring(i + 1) + L" (" + DisplayFileName(entry.name) + L"): ";
    std::wstring refusal;
    if (!CheckDownloadName(entry.name, refusal)) problems.push_back(which + refusal);
    if (ExtDiffersFromName(entry.ext, entry.name)) problems.push_back(which + kExtDiffersText);
    if (!entry.sha256.empty() && !IsSha256Hex(entry.sha256)) problems.push_back(which + L"malformed sha256.");
    if (entry.sha256.empty() && signedList) {
      problems.push_back(which + kNoChecksumInSignedListText);
    } else if (entry.sha256.empty() && IsPlainHttpUrl(entry.url)) {
      problems.push_back(which + L"http URL without sha256; the launcher will refuse it.");
    }
  }
  return problems;
}

std::string Table(const Manifest& manifest) {
  std::vector<std::vector<std::string>> rows = {{"File", "Date", "Size", "Type", "Checksum", "URL"}};
  for (const ManifestEntry& entry : manifest.files) {
    rows.push_back({DisplayText(DisplayFileName(entry.name)), DisplayText(FormatDate(entry.modified_at)),
                    WideToUtf8(FormatSize(entry.size)), DisplayText(FormatType(entry.name)), ChecksumCell(entry),
                    DisplayText(entry.url)});
  }
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - DisplayWidth(row[i]) + 2, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + "\n";
  }
  return out;
}

// What a signed list says of itself, as one line of the table report.
std::string SignatureLine(const std::vector<ListSignatureLine>& lines, const ListClaims& claims) {
  std::string out = "Signed list: ";
  if (claims.wellFormed) {
    out += "serial " + std::to_string(claims.serial) + ", expires " + WideToUtf8(claims.expires) + ", ";
    if (!claims.revoke.empty()) {
      out += "revokes";
      for (const std::string& keyId : claims.revoke) out += " " + keyId;
      out += ", ";
    }
  }
  out += lines.size() == 1 ? "signature line by key" : "signature lines by keys";
  for (const ListSignatureLine& line : lines) out += " " + line.keyId;
  return out + "\n";
}

// The same as a JSON member: "signature":{"keys":[...],"serial":N,"expires":"...","revoke":[...]},
// serial, expires and revoke only when well-formed.
std::string SignatureMember(const std::vector<ListSignatureLine>& lines, const ListClaims& claims) {
  std::string out = ",\"signature\":{\"keys\":[";
  for (size_t i = 0; i < lines.size(); ++i) out += (i ? ",\"" : "\"") + lines[i].keyId + "\"";
  out += "]";
  if (claims.wellFormed) {
    out += ",\"serial\":" + std::to_string(claims.serial) + ",\"expires\":" + JsonQuote(claims.expires);
    if (!claims.revoke.empty()) {
      out += ",\"revoke\":[";
      for (size_t i = 0; i < claims.revoke.size(); ++i) out += (i ? ",\"" : "\"") + claims.revoke[i] + "\"";
      out += "]";
    }
  }
  return out + "}";
}

std::string JsonReport(const Manifest& manifest, const std::wstring& status, const std::vector<std::wstring>& problems,
                       const std::string& signature) {
  std::string out =
      "{\"ok\":true,\"status\":" + JsonQuote(status) + ",\"schema\":" + JsonQuote(manifest.schema) + ",\"files\":[";
  bool first = true;
  for (const ManifestEntry& entry : manifest.files) {
    if (!first) out += ',';
    first = false;
    out += "{\"name\":" + JsonQuote(entry.name) + ",\"url\":" + JsonQuote(entry.url) +
           ",\"size\":" + std::to_string(static_cast<long long>(entry.size)) +
           ",\"modified_at\":" + JsonQuote(entry.modified_at) + ",\"ext\":" + JsonQuote(entry.ext) +
           ",\"sha256\":" + JsonQuote(entry.sha256) + ",\"cells\":[" + JsonQuote(DisplayFileName(entry.name)) + "," +
           JsonQuote(FormatDate(entry.modified_at)) + "," + JsonQuote(FormatSize(entry.size)) + "," +
           JsonQuote(FormatType(entry.name)) + "]}";
  }
  out += "],\"problems\":[";
  for (size_t i = 0; i < problems.size(); ++i) out += (i ? "," : "") + JsonQuote(problems[i]);
  return out + "]" + signature + "}\n";
}

}  // namespace

std::string JsonQuote(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t unit : text) {
    uint32_t value = static_cast<uint32_t>(unit);
    if (value == '"' || value == '\\') {
      out += '\\';
      out += static_cast<char>(value);
    } else if (value >= 0x20 && value <= 0x7E) {
      out += static_cast<char>(value);
    } else if (value > 0xFFFF) {
      // Only a 32-bit wchar_t can hold this; write it as the UTF-16 pair it stands for.
      value -= 0x10000;
      AppendUnitEscape(out, 0xD800 + ((value >> 10) & 0x3FF));
      AppendUnitEscape(out, 0xDC00 + (value & 0x3FF));
    } else {
      AppendUnitEscape(out, value);
    }
  }
  return out + "\"";
}

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t value = static_cast<uint32_t>(text[i]);
    if (value >= 0xD800 && value <= 0xDBFF && i + 1 < text.size()) {
      const uint32_t low = static_cast<uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) value = 0xFFFD;
    AppendUtf8(out, value);
  }
  return out;
}

CheckReport CheckManifestBody(const std::string& body, bool json) {
  Manifest manifest;
  std::wstring error;
  bool accepted;
  size_t signedLength = 0;
  std::vector<ListSignatureLine> lines;
  ListTrailer trailer = ListTrailer::None;
  if (body.size() > kMaxManifestBytes) {
    error = kManifestTooLargeText;
    accepted = false;
  } else {
    trailer = SplitSignedList(body, signedLength, lines);
    accepted = ReadManifestBody(trailer == ListTrailer::Signed ? body.substr(0, signedLength) : body, manifest, error);
  }
  CheckReport report;
  if (!accepted) {
    report.exitCode = 1;
    report.output = json ? "{\"ok\":false,\"status\":" + JsonQuote(error) + "}\n" : WideToUtf8(error) + "\n";
    return report;
  }
  const std::wstring status = ManifestStatusText(manifest.files.size());
  std::vector<std::wstring> problems = Problems(manifest, trailer == ListTrailer::Signed);
  ListClaims claims;
  if (trailer == ListTrailer::Signed) {
    ReadListClaims(body.substr(0, signedLength), claims);
    if (!claims.wellFormed) problems.insert(problems.begin(), kNoClaimsText);
  } else if (trailer == ListTrailer::Broken) {
    problems.insert(problems.begin(), kBrokenSignatureText);
  }
  report.problemCount = problems.size();
  const bool isSigned = trailer == ListTrailer::Signed;
  if (json) {
    report.output = JsonReport(manifest, status, problems, isSigned ? SignatureMember(lines, claims) : "");
  } else {
    report.output = Table(manifest) + "\n" + WideToUtf8(status) + "\n" + (isSigned ? SignatureLine(lines, claims) : "");
    for (const std::wstring& problem : problems) report.output += DisplayText(problem) + "\n";
  }
  return report;
}
