#include "wizard/Application.h"

#include "wizard/ExceptionFacility.h"

namespace wizard {

bool TrellmondApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportException(DescribeException(std::current_exception()), CaptureBacktrace());
  }
  return false;
}

}  // namespace wizard
