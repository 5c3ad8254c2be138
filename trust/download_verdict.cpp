#include "trust/download_verdict.h"

#include <algorithm>

#include "common/scoped.h"
#include "trust/content_rules.h"
#include "trust/file_bytes.h"
#include "trust/publisher.h"

namespace {

std::wstring UnreadableText(DWORD code) {
  wchar_t text[96] = {};
  wsprintfW(text, L"Could not read the downloaded file (Win32 error %u).", code);
  return text;
}

// A file the system would run or install whatever it is called starts only under a name that says
// so, and then only once its signature has been checked.
bool CheckContentMatchesName(HANDLE file, std::wstring& error) {
  unsigned char first[kContentSniffBytes] = {};
  uint64_t size = 0;
  if (file == INVALID_HANDLE_VALUE || !FileSizeOf(file, size)) {
    error = UnreadableText(GetLastError());
    return false;
  }
  const DWORD length = static_cast<DWORD>(std::min<uint64_t>(size, sizeof first));
  if (!ReadFileAt(file, 0, first, length)) {
    error = UnreadableText(GetLastError());
    return false;
  }
  if (LooksLikeProgramOrPackage(first, length)) {
    error = kContentMismatchText;
    return false;
  }
  return true;
}

}  // namespace

bool JudgeDownloadedFile(HANDLE file, const std::wstring& path, const DownloadPlan& plan, std::wstring& error) {
  // An unsigned launcher has no publisher: what must be signed is neither checked nor held.
  if (plan.mustBeSigned && !LauncherCarriesSignature()) return true;
  FileHandle opened;
  if (file == nullptr || file == INVALID_HANDLE_VALUE) {
    opened = OpenForVerdict(path);
    file = opened.Get();
  }
  const bool passes =
      plan.mustBeSigned
          ? CheckSignedByPublisher(file, path, plan.package ? SignedContent::Package : SignedContent::Program, error)
          : CheckContentMatchesName(file, error);
  // A file whose signature passed is deliberately never closed: the process's end closes it, after
  // the file has been started. One only looked at is let go, so that the program that opens it may
  // write to it; a refused one, so that the caller can delete it.
  if (passes && plan.mustBeSigned) opened.Release();
  return passes;
}
