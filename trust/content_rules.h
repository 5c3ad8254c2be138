#pragma once
// What a file's first bytes say it is, whatever its name says. Portable: no system call.
#include <cstddef>

constexpr const wchar_t* kContentMismatchText = L"Refusing a file whose content does not match its type.";
// As many bytes as the checks below read.
constexpr size_t kContentSniffBytes = 8;

// The bytes begin a program image ("MZ") or a compound file (the container of .msi and .msp
// packages), which the system would run or install whatever the file is called.
bool LooksLikeProgramOrPackage(const unsigned char* first, size_t size);
