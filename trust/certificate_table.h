#pragma once
// A program's certificate table, read through the handle that holds the file.
#include <windows.h>

#include <string>

enum class CertificateTable { Absent, Malformed, OneSignature };

// Absent when the file is a program image with no certificate table; OneSignature when its table
// holds exactly one signature and ends the file (the blob is then in `pkcs7`); Malformed for
// anything else, the file not being a program image included.
CertificateTable ReadCertificateTable(HANDLE file, std::string& pkcs7);
