#pragma once
// A tiny JSON writer: pure ASCII output (everything else as \u escapes), so the bytes survive any
// console code page on their way out of Wine.
#include <windows.h>

#include <string>
#include <vector>

class JsonOut {
 public:
  void BeginObject() {
    Separate();
    text_ += '{';
    first_ = true;
  }
  void EndObject() {
    text_ += '}';
    first_ = false;
  }
  void BeginArray() {
    Separate();
    text_ += '[';
    first_ = true;
  }
  void EndArray() {
    text_ += ']';
    first_ = false;
  }
  void Key(const char* key) {
    Separate();
    text_ += '"';
    text_ += key;
    text_ += "\":";
    first_ = true;  // the value follows without a comma
  }
  void String(const std::wstring& value) {
    Separate();
    text_ += '"';
    for (wchar_t c : value) {
      if (c == L'"' || c == L'\\') {
        text_ += '\\';
        text_ += static_cast<char>(c);
      } else if (c >= 0x20 && c < 0x7f) {
        text_ += static_cast<char>(c);
      } else {
        char escaped[8];
        wsprintfA(escaped, "\\u%04x", static_cast<unsigned>(c));
        text_ += escaped;
      }
    }
    text_ += '"';
  }
  void Number(long long value) {
    Separate();
    text_ += std::to_string(value);
  }
  void Bool(bool value) {
    Separate();
    text_ += value ? "true" : "false";
  }
  void Null() {
    Separate();
    text_ += "null";
  }
  void Rect(const RECT& r) {
    BeginArray();
    Number(r.left);
    Number(r.top);
    Number(r.right);
    Number(r.bottom);
    EndArray();
  }
  const std::string& text() const { return text_; }
  void Clear() {
    text_.clear();
    first_ = true;
  }

 private:
  void Separate() {
    if (!first_) text_ += ',';
    first_ = false;
  }
  std::string text_;
  bool first_ = true;
};
