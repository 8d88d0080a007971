#pragma once
// The program-wide facility for unexpected exceptions: whatever escapes an
// event handler (caught in TrellmondApplication::notify) or ends the program
// (the terminate handler) is offered to the registered filters, the last
// registered first, with the call-stack lines where it was caught. A filter
// operation returning 0 ends the offer; 1 lets the facility do its default
// (compose the message, write it to standard error).

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace wizard {

class IExceptionFilter {
 public:
  virtual ~IExceptionFilter() = default;
  virtual int ExceptionMessage(const std::string& exceptionClass, std::string& message) = 0;
  virtual int LogException(const std::string& exceptionClass, const std::string& message) = 0;
  virtual int ShowException(const std::string& exceptionClass, std::uintptr_t address,
                            const std::vector<std::string>& stackLines, const std::string& message) = 0;
};

void RegisterExceptionFilter(IExceptionFilter* filter);
void UnregisterExceptionFilter(IExceptionFilter* filter);

// The class name and message of an exception; out-of-memory reads as the
// system's error 14, the condition the filters advise about.
struct ExceptionDescription {
  std::string exceptionClass;
  std::string message;
};
ExceptionDescription DescribeException(std::exception_ptr error);

// Offers one exception to the filters.
void ReportException(const ExceptionDescription& error, const std::vector<std::string>& stackLines);
// The current call stack as text lines, innermost first, this function left out.
std::vector<std::string> CaptureBacktrace();
// Reports the exception that ended the program (if any) before aborting.
void InstallTerminateHandler();

}  // namespace wizard
