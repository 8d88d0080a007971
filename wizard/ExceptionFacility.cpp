#include "wizard/ExceptionFacility.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>
#include <typeinfo>

namespace wizard {
namespace {

std::vector<IExceptionFilter*>& Filters() {
  static std::vector<IExceptionFilter*> filters;
  return filters;
}

std::string Demangle(const char* name) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> text(abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
  return status == 0 && text ? std::string(text.get()) : std::string(name);
}

[[noreturn]] void OnTerminate() {
  // Only the first pass reports: a filter that fails here must not loop.
  static bool reporting = false;
  if (!reporting) {
    reporting = true;
    if (std::exception_ptr current = std::current_exception()) {
      ReportException(DescribeException(current), CaptureBacktrace());
    }
  }
  std::abort();
}

}  // namespace

void RegisterExceptionFilter(IExceptionFilter* filter) { Filters().push_back(filter); }

void UnregisterExceptionFilter(IExceptionFilter* filter) { std::erase(Filters(), filter); }

ExceptionDescription DescribeException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc& e) {
    return {Demangle(typeid(e).name()), "System Error. Code: 14.\r\nNot enough memory resources are available."};
  } catch (const std::exception& e) {
    return {Demangle(typeid(e).name()), e.what()};
  } catch (...) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    return {type != nullptr ? Demangle(type->name()) : "unknown", "Unknown exception."};
  }
}

void ReportException(const ExceptionDescription& error, const std::vector<std::string>& stackLines) {
  std::string message = error.message;
  const std::vector<IExceptionFilter*> filters(Filters().rbegin(), Filters().rend());
  auto offer = [&](auto&& call) {
    for (IExceptionFilter* filter : filters) {
      if (call(*filter) == 0) return false;
    }
    return true;
  };
  offer([&](IExceptionFilter& f) { return f.ExceptionMessage(error.exceptionClass, message); });
  if (offer([&](IExceptionFilter& f) { return f.LogException(error.exceptionClass, message); })) {
    std::fprintf(stderr, "trellmond: unexpected %s: %s\n", error.exceptionClass.c_str(), message.c_str());
    for (const std::string& line : stackLines) std::fprintf(stderr, "  %s\n", line.c_str());
  }
  if (offer([&](IExceptionFilter& f) { return f.ShowException(error.exceptionClass, 0, stackLines, message); })) {
    std::fprintf(stderr, "trellmond: %s\n", message.c_str());
  }
}

std::vector<std::string> CaptureBacktrace() {
  void* frames[64];
  const int count = backtrace(frames, 64);
  std::vector<std::string> lines;
  std::unique_ptr<char*, decltype(&std::free)> symbols(backtrace_symbols(frames, count), &std::free);
  for (int i = 1; i < count; ++i) {
    lines.push_back(symbols ? std::string(symbols.get()[i]) : std::to_string(reinterpret_cast<std::uintptr_t>(frames[i])));
  }
  return lines;
}

void InstallTerminateHandler() { std::set_terminate(OnTerminate); }

}  // namespace wizard
