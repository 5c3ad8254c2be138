#include "support/check.h"

#include <cstdio>
#include <cstring>

namespace check {
namespace {

struct TestCase {
  const char* name;
  TestFunction function;
};

std::vector<TestCase>& Registry() {
  static std::vector<TestCase> tests;
  return tests;
}

int g_failuresInTest = 0;
std::vector<std::string> g_scopes;

void AppendCodePoint(std::string& out, unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "\\u%04x", value);
  out += buffer;
}

}  // namespace

Registrar::Registrar(const char* name, TestFunction function) { Registry().push_back({name, function}); }

Scope::Scope(std::string label) { g_scopes.push_back(std::move(label)); }
Scope::~Scope() { g_scopes.pop_back(); }

void Fail(const char* file, int line, const std::string& what) {
  ++g_failuresInTest;
  std::fprintf(stderr, "  %s:%d: failed: %s\n", file, line, what.c_str());
  for (const std::string& scope : g_scopes) std::fprintf(stderr, "      in: %s\n", scope.c_str());
}

std::string Show(const std::wstring& text) {
  std::string out = "L\"";
  for (wchar_t unit : text) {
    const unsigned value = static_cast<unsigned>(unit);
    if (value >= 0x20 && value < 0x7F && value != '"' && value != '\\') {
      out += static_cast<char>(value);
    } else {
      AppendCodePoint(out, value);
    }
  }
  return out + "\"";
}

std::string Show(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char byte : bytes) {
    if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
      out += static_cast<char>(byte);
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02x", byte);
      out += buffer;
    }
  }
  return out + "\"";
}

std::string Show(const wchar_t* text) { return text ? Show(std::wstring(text)) : "(null)"; }
std::string Show(const char* text) { return text ? Show(std::string(text)) : "(null)"; }
std::string Show(long long value) { return std::to_string(value); }
std::string Show(unsigned long long value) { return std::to_string(value); }
std::string Show(double value) { return std::to_string(value); }

}  // namespace check

// Runs every registered test, or those whose names contain the first argument.
int main(int argc, char** argv) {
  const char* filter = argc > 1 ? argv[1] : nullptr;
  int passed = 0;
  int failed = 0;
  for (const check::TestCase& test : check::Registry()) {
    if (filter && !std::strstr(test.name, filter)) continue;
    check::g_failuresInTest = 0;
    std::fprintf(stderr, "[ RUN  ] %s\n", test.name);
    test.function();
    if (check::g_failuresInTest == 0) {
      ++passed;
      std::fprintf(stderr, "[  OK  ] %s\n", test.name);
    } else {
      ++failed;
      std::fprintf(stderr, "[ FAIL ] %s\n", test.name);
    }
  }
  std::fflush(stderr);
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
