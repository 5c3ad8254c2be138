#pragma once
// A small test harness that builds the same way natively and for Windows, so one test source
// runs under sanitizers on Linux and under Wine against the real system.
#include <cstdint>
#include <string>
#include <vector>

namespace check {

using TestFunction = void (*)();
struct Registrar {
  Registrar(const char* name, TestFunction function);
};

// Records a failed expectation; the current test goes on so one run shows every fault.
void Fail(const char* file, int line, const std::string& what);
// Printable, escaped forms of the values an expectation compares.
std::string Show(const std::wstring& text);
std::string Show(const std::string& bytes);
std::string Show(const wchar_t* text);
std::string Show(const char* text);
std::string Show(long long value);
std::string Show(unsigned long long value);
std::string Show(double value);
inline std::string Show(bool value) { return value ? "true" : "false"; }
inline std::string Show(int value) { return Show(static_cast<long long>(value)); }
inline std::string Show(long value) { return Show(static_cast<long long>(value)); }
inline std::string Show(unsigned value) { return Show(static_cast<unsigned long long>(value)); }
inline std::string Show(unsigned long value) { return Show(static_cast<unsigned long long>(value)); }
template <typename T>
std::string Show(T* pointer) {
  return pointer ? "(pointer)" : "(null)";
}

// The name of the case a table-driven test is on, printed with any failure inside it.
struct Scope {
  explicit Scope(std::string label);
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
};

}  // namespace check

#define CHECK_CONCAT2(a, b) a##b
#define CHECK_CONCAT(a, b) CHECK_CONCAT2(a, b)

#define TEST_CASE(name)                                                  \
  static void name();                                                    \
  static ::check::Registrar CHECK_CONCAT(name, _registrar)(#name, name); \
  static void name()

#define CHECK(condition)                                             \
  do {                                                               \
    if (!(condition)) ::check::Fail(__FILE__, __LINE__, #condition); \
  } while (0)

#define CHECK_EQ(actual, expected)                                                                              \
  do {                                                                                                          \
    /* copies: a reference could dangle when an operand returns one (std::max on temporaries) */                \
    const auto check_actual_ = (actual);                                                                        \
    const auto check_expected_ = (expected);                                                                    \
    if (!(check_actual_ == check_expected_))                                                                    \
      ::check::Fail(__FILE__, __LINE__,                                                                         \
                    std::string(#actual " == " #expected "\n      actual:   ") + ::check::Show(check_actual_) + \
                        "\n      expected: " + ::check::Show(check_expected_));                                 \
  } while (0)

// Stops the current test when a precondition for the rest of it does not hold.
#define REQUIRE(condition)                                        \
  do {                                                            \
    if (!(condition)) {                                           \
      ::check::Fail(__FILE__, __LINE__, "required: " #condition); \
      return;                                                     \
    }                                                             \
  } while (0)
