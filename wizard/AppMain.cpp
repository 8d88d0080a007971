// trellmond: the recovery wizard.

#include "widgets/Pictures.h"
#include "wizard/Application.h"
#include "wizard/ExceptionFacility.h"
#include "wizard/Main.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
  wizard::TrellmondApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Trellmond"));
  QApplication::setOrganizationName(QStringLiteral("Pelmora"));
  QGuiApplication::setDesktopFileName(QStringLiteral("trellmond"));
  QApplication::setWindowIcon(widgets::ApplicationIcon());
  wizard::InstallTerminateHandler();

  // QApplication has taken its own options (-platform and the like) out of argv.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  wizard::Tfrm_Main form(arguments);
  form.FormCreate();
  if (form.EndRequested()) return 0;
  QObject::connect(&form, &wizard::Tfrm_Main::terminateRequested, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  form.show();
  return QApplication::exec();
}
