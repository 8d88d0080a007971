#pragma once
// TrellmondApplication: the QApplication whose event delivery hands any
// exception that escapes a handler to the exception facility, so the program
// goes on after reporting it instead of ending.

#include <QApplication>

namespace wizard {

class TrellmondApplication : public QApplication {
 public:
  TrellmondApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace wizard
