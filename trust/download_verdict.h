#pragma once
// The verdict on a whole download, before it may be started: everything its plan asks of the bytes
// beyond their checksum, which the download checks as it writes them.
#include <windows.h>

#include <string>

#include "trust/download_plan.h"

// True when the file behind `file` (at `path`) may be started as `plan` says; false with the text the
// user sees otherwise. The caller holds `file` so that nobody can write it from before the verdict
// until it is started. A program, package or update must pass the publisher's check (trust/publisher.h)
// when the launcher is signed; any other file must not hold a program image or a compound file
// (trust/content_rules.h). Every byte judged is read through `file`, which must read; without one
// (null or INVALID_HANDLE_VALUE) the file is opened here, sharing only reads, and once its signature
// passes that handle stays open until the process ends, so the file that was judged is the file that
// is started. Slow on its first call (it may read the launcher's own signature): call it on the
// download worker.
bool JudgeDownloadedFile(HANDLE file, const std::wstring& path, const DownloadPlan& plan, std::wstring& error);
