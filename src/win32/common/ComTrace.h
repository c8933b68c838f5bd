// The Word call trace for support: every call the adapter makes to Word, one JSON object per
// line, written as it ends so that a trace survives a crash. Started by `Ravelmend.exe /trace
// FILE` or the environment variable RAVELMEND_TRACE.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/WordPort.h"

namespace ravel::win {

class ComTrace {
 public:
  // Appends to `path` (UTF-8); null when the file cannot be opened.
  static std::shared_ptr<ComTrace> Open(const std::string& path);
  ~ComTrace();
  ComTrace(const ComTrace&) = delete;
  ComTrace& operator=(const ComTrace&) = delete;

  // One line: {"at": ms since the trace began, "object": kind, "member", "access"
  // ("get", "put", "call", "lookup", "attach", "quit"), "args": [...], then "result" or
  // "hresult" with "error" {"description", "source", "scode"}, "busy_retries" when Word
  // rejected it first, and "ms" the call's duration}.
  struct Call {
    std::string_view object;
    std::string_view member;
    std::string_view access;
    const std::vector<Value>* args = nullptr;
    const Value* result = nullptr;
    HRESULT hr = S_OK;
    std::string_view source;
    std::string_view description;
    HRESULT scode = S_OK;
    int retries = 0;
    double ms = 0;
  };
  void Write(const Call& c);
  // The text of a value as written (numbers and Booleans as JSON, texts as strings, empty as
  // null, objects as {"object": true}).
  static std::string ValueText(const Value& v);

 private:
  explicit ComTrace(std::FILE* f) : f_(f), start_(std::chrono::steady_clock::now()) {}
  std::FILE* f_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace ravel::win
