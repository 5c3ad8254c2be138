// quorvel-manifest-check: shows what the launcher would make of a manifest before it is published,
// makes the manifest the server script would serve for a folder, and makes, re-signs and verifies
// signed lists. The usage text in tool_options.cpp says how.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "checker/check_report.h"
#include "checker/list_crypto.h"
#include "checker/list_signing.h"
#include "checker/list_verify.h"
#include "checker/make_manifest.h"
#include "checker/tool_files.h"
#include "checker/tool_options.h"
#include "net/manifest_body.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr size_t kMaxPassphraseFileBytes = 4096;

int Fail(const std::string& error) {
  std::fprintf(stderr, "quorvel-manifest-check: %s\n", error.c_str());
  return 2;
}

void Note(const std::string& note) { std::fprintf(stderr, "quorvel-manifest-check: %s\n", note.c_str()); }

bool WriteStdout(const std::string& bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
    Note("cannot write standard output");
    return false;
  }
  return true;
}

// Standard output, or the --out file replaced in one step.
int Emit(const ToolOptions& options, const std::string& bytes) {
  if (options.out.empty()) return WriteStdout(bytes) ? 0 : 2;
  std::string error;
  return WriteOutputFile(options.out, bytes, error) ? 0 : Fail(error);
}

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

// The first line of a passphrase file, without its line end.
bool ReadPassphrase(const ToolPath& path, std::string& passphrase, std::string& error) {
  std::string text;
  if (!ReadWholeFile(path, kMaxPassphraseFileBytes, text, error)) return false;
  passphrase = text.substr(0, text.find('\n'));
  if (!passphrase.empty() && passphrase.back() == '\r') passphrase.pop_back();
  std::fill(text.begin(), text.end(), '\0');
  if (passphrase.empty()) {
    error = "the passphrase file " + PrintablePath(path) + " is empty or its first line is";
    return false;
  }
  return true;
}

// Opens every --sign key with its passphrase; refuses the same key twice and a key that the list
// revokes.
bool LoadSigners(const ToolOptions& options, std::vector<ListSigner>& signers, std::string& error) {
  if (!kCanSignLists) {
    error =
        "signing lists is not offered on Windows; sign where the release is made, with "
        "quorvel-manifest-check on Linux (--verify works here)";
    return false;
  }
  for (size_t i = 0; i < options.signingKeys.size(); ++i) {
    std::string passphrase;
    if (!ReadPassphrase(options.passphraseFiles[options.passphraseFiles.size() == 1 ? 0 : i], passphrase, error))
      return false;
    ListSigner signer;
    const bool opened = ReadListSigningKey(options.signingKeys[i], passphrase, signer.key, signer.publicKey, error);
    std::fill(passphrase.begin(), passphrase.end(), '\0');
    if (!opened) return false;
    for (const ListSigner& other : signers) {
      if (other.publicKey.keyId == signer.publicKey.keyId) {
        error = signer.publicKey.source + " is the same key as " + other.publicKey.source;
        return false;
      }
    }
    for (const std::string& revoked : options.revoke) {
      if (revoked == signer.publicKey.keyId) {
        error = "refusing to revoke key " + revoked + ", which signs this list (" + signer.publicKey.source + ")";
        return false;
      }
    }
    signers.push_back(std::move(signer));
  }
  return true;
}

// Reads every --verify key onto keys.
bool AddPublicKeys(const std::vector<ToolPath>& paths, std::vector<ListPublicKey>& keys, std::string& error) {
  for (const ToolPath& path : paths) {
    ListPublicKey key;
    if (!ReadListPublicKey(path, key, error)) return false;
    keys.push_back(key);
  }
  return true;
}

int Make(const ToolOptions& options) {
  std::vector<ListSigner> signers;
  std::string error;
  if (!options.signingKeys.empty() && !LoadSigners(options, signers, error)) return Fail(error);
  const int64_t now = Now();
  std::vector<PublishedFile> files;
  std::vector<std::string> notes;
  if (!ListPublishedFiles(options.folder, now, files, notes, error)) return Fail(error);
  for (const std::string& note : notes) Note(note);
  if (signers.empty()) return Emit(options, ManifestDocument(files, options.baseUrl));

  const uint64_t serial = options.hasSerial ? options.serial : static_cast<uint64_t>(now);
  const int64_t expires = now + options.expiresInDays * int64_t{86400};
  const std::string signedPart =
      ManifestDocument(files, options.baseUrl, ListClaimsMembers(serial, expires, options.revoke)) + "\n";
  std::string body;
  if (!SignListBody(signedPart, signers, body, error)) return Fail(error);
  return Emit(options, body);
}

int Refresh(const ToolOptions& options) {
  std::vector<ListSigner> signers;
  std::string error;
  if (!LoadSigners(options, signers, error)) return Fail(error);
  std::vector<ListPublicKey> keys;
  for (const ListSigner& signer : signers) keys.push_back(signer.publicKey);
  if (!AddPublicKeys(options.publicKeys, keys, error)) return Fail(error);
  const std::string name = PrintablePath(options.input);
  std::string body;
  if (!ReadWholeFile(options.input, kMaxManifestBytes, body, error)) return Fail(error);
  size_t length = 0;
  std::vector<ListSignatureLine> lines;
  const ListTrailer trailer =
      body.size() > kMaxManifestBytes ? ListTrailer::None : SplitSignedList(body, length, lines);
  if (trailer != ListTrailer::Signed) {
    return Fail(name + (trailer == ListTrailer::Broken ? ": its signature lines are malformed"
                                                       : " is not a signed list (make one with --make and --sign)"));
  }
  const std::string signedPart = body.substr(0, length);
  bool verified = false;
  for (const ListSignatureLine& line : lines) {
    for (const ListPublicKey& key : keys) {
      verified = verified || (key.keyId == line.keyId && VerifyListSignature(key, signedPart, line.signature));
    }
  }
  if (!verified) {
    return Fail(name +
                " is not signed by any of the given keys; refusing to sign again a list that may not be "
                "yours (name the key that signed it with --verify OLD.pub.pem)");
  }
  Manifest manifest;
  std::wstring parseError;
  if (!ReadManifestBody(signedPart, manifest, parseError)) return Fail(name + ": " + WideToUtf8(parseError));
  ListClaims claims;
  ReadListClaims(signedPart, claims);
  if (!claims.wellFormed) return Fail(name + " has no valid serial or expiry");

  const int64_t now = Now();
  uint64_t serial = options.hasSerial ? options.serial : static_cast<uint64_t>(now);
  if (serial <= claims.serial) {
    if (options.hasSerial) {
      return Fail("--serial " + std::to_string(serial) + " is not above the list's serial " +
                  std::to_string(claims.serial));
    }
    if (claims.serial >= kMaxListSerial) return Fail(name + "'s serial is the largest there is");
    serial = claims.serial + 1;
    Note("the list's serial " + std::to_string(claims.serial) + " is not below the time now; using " +
         std::to_string(serial));
  }
  std::string renewed;
  if (!RenewSignedPart(signedPart, serial, now + options.expiresInDays * int64_t{86400}, options.revoke, renewed,
                       error)) {
    return Fail(name + ": " + error);
  }
  std::string signedBody;
  if (!SignListBody(renewed, signers, signedBody, error)) return Fail(error);
  return Emit(options, signedBody);
}

int Verify(const ToolOptions& options) {
  std::vector<ListPublicKey> keys;
  std::string error;
  if (!AddPublicKeys(options.publicKeys, keys, error)) return Fail(error);
  std::string body;
  if (!ReadWholeFile(options.input, kMaxManifestBytes, body, error)) return Fail(error);
  const ListVerdict verdict =
      VerifyListBody(body, keys, Now(), options.strict, options.dir.empty() ? nullptr : &options.dir);
  return WriteStdout(verdict.output) ? verdict.exitCode : 2;
}

int Check(const ToolOptions& options) {
  std::string body;
  std::string error;
  if (!ReadWholeFile(options.input, kMaxManifestBytes, body, error)) return Fail(error);
  const CheckReport report = CheckManifestBody(body, options.json);
  if (!WriteStdout(report.output)) return 2;
  return report.exitCode == 0 && options.strict && report.problemCount > 0 ? 3 : report.exitCode;
}

int Run(const std::vector<ToolPath>& args) {
  ToolOptions options;
  std::string error;
  if (!ReadToolOptions(args, options, error)) {
    std::fprintf(stderr, "quorvel-manifest-check: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  switch (options.mode) {
    case ToolMode::Help: std::fputs(kUsage, stdout); return 0;
    case ToolMode::Make: return Make(options);
    case ToolMode::Refresh: return Refresh(options);
    case ToolMode::Verify: return Verify(options);
    case ToolMode::Check: break;
  }
  return Check(options);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  // Bytes, not the console's code page, so the output matches the native tool's.
  _setmode(_fileno(stdout), _O_BINARY);
  return Run(std::vector<ToolPath>(argv + 1, argv + argc));
}
#else
int main(int argc, char** argv) { return Run(std::vector<ToolPath>(argv + 1, argv + argc)); }
#endif
