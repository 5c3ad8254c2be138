#include "trust/download_verdict.h"

#include "trust/publisher.h"

bool JudgeDownloadedFile(HANDLE file, const std::wstring& path, const DownloadPlan& plan, std::wstring& error) {
  return !plan.mustBeSigned || CheckSignedByPublisher(file, path, error);
}
