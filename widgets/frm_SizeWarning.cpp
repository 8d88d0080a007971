#include "widgets/frm_SizeWarning.h"

#include "util/SizeText.h"
#include "widgets/ModalResults.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdlib>

namespace widgets {
namespace {

QString SizeText(std::int64_t bytes) { return QString::fromStdString(util::GetSizeDescription(bytes)); }

QLabel* Wrapped(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setMinimumWidth(500);
  return label;
}

}  // namespace

QLabel* Tfrm_SizeWarning::Add(const char* name, const QString& text) {
  auto* label = new QLabel(text, m_box);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

Tfrm_SizeWarning::Tfrm_SizeWarning(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Size Warning"));
  setObjectName(QStringLiteral("frm_SizeWarning"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Wrapped(QStringLiteral("Trellmond has noticed that you currently do not have enough FREE space in "
                                           "which to save your selected files."),
                            this));

  auto* box = new QFrame(this);
  m_box = box;
  box->setObjectName(QStringLiteral("pnl_Figures"));
  box->setStyleSheet(QStringLiteral("QFrame#pnl_Figures { background: white; border: 1px solid #9db8e0; }"));
  auto* grid = new QGridLayout(box);
  QFont bold = font();
  bold.setBold(true);
  grid->addWidget(Add("lbl_Chosen", QStringLiteral("You have chosen to save:")), 0, 0);
  grid->addWidget(Add("lbl_Number", {}), 0, 1);
  grid->addWidget(Add("lbl_Files", QStringLiteral("files")), 0, 2);
  grid->addWidget(Add("lbl_RequiredText", QStringLiteral("They will require a total space of:")), 1, 0);
  grid->addWidget(Add("lbl_Required", {}), 1, 1);
  grid->addWidget(Add("lbl_Available", {}), 1, 2);
  grid->addWidget(Add("lbl_Max1", QStringLiteral("The drive with the most FREE space is: ")), 2, 0);
  grid->addWidget(Add("lbl_MaxDrive", {}), 2, 1);
  grid->addWidget(Add("lbl_Max2", QStringLiteral("with")), 2, 2);
  grid->addWidget(Add("lbl_MaxDriveFree", {}), 2, 3);
  grid->addWidget(Add("lbl_Max3", QStringLiteral("FREE space")), 2, 4);
  QLabel* noDrive = Add("lbl_NoDrive", QStringLiteral("Other than the scanned drive (which cannot be used) no other "
                                                      "drives are available on which to save your recovered files."));
  noDrive->setWordWrap(true);
  grid->addWidget(noDrive, 3, 0, 1, 5);
  grid->addWidget(Add("lbl_ShortfallText", QStringLiteral("This means that there is a current shortfall of:")), 4, 0);
  grid->addWidget(Add("lbl_Shortfall", {}), 4, 1, 1, 4);
  for (const char* name : {"lbl_Number", "lbl_Required", "lbl_MaxDrive", "lbl_MaxDriveFree", "lbl_Shortfall"}) {
    box->findChild<QLabel*>(QString::fromLatin1(name))->setFont(bold);
  }
  box->findChild<QLabel*>(QStringLiteral("lbl_Available"))->hide();
  grid->setColumnStretch(4, 1);
  layout->addWidget(box);

  layout->addWidget(Wrapped(QStringLiteral("To be able to save all of your selected files you must do one of the "
                                           "following:"),
                            this));
  layout->addWidget(Wrapped(QStringLiteral("\u2022  De-select some of the files to reduce the space required"), this));
  layout->addWidget(
      Wrapped(QStringLiteral("\u2022  Attach additional drives until you have the required FREE capacity"), this));

  auto* note = new QGroupBox(QStringLiteral("Note:"), this);
  auto* noteLayout = new QVBoxLayout(note);
  noteLayout->addWidget(Wrapped(QStringLiteral("To ensure that all files are recovered: Trellmond <b>cannot save to "
                                               "the same drive that was scanned.</b>"),
                                note));
  noteLayout->addWidget(Wrapped(
      QStringLiteral("This is because doing so could destroy the files that you are trying to recover."), note));
  layout->addWidget(note);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { done(kResultYes); });
  layout->addWidget(ok, 0, Qt::AlignRight);
  ok->setFocus();
  // A dialog border: the window manager offers no maximise for a fixed size.
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Tfrm_SizeWarning::FillLabels() {
  auto label = [this](const char* name) { return m_box->findChild<QLabel*>(QString::fromLatin1(name)); };
  label("lbl_Number")->setText(QString::number(Number));
  label("lbl_Required")->setText(SizeText(Required));
  label("lbl_Available")->setText(SizeText(Available));
  label("lbl_Shortfall")->setText(SizeText(std::llabs(Available - Required)));
  const bool haveDrive = !MaxDrive.empty();
  label("lbl_NoDrive")->setVisible(!haveDrive);
  for (const char* name : {"lbl_MaxDrive", "lbl_MaxDriveFree", "lbl_Max1", "lbl_Max2", "lbl_Max3"}) {
    label(name)->setVisible(haveDrive);
  }
  if (haveDrive) {
    label("lbl_MaxDrive")->setText(QString::fromStdString(MaxDrive) + QLatin1Char(':'));
    label("lbl_MaxDriveFree")->setText(SizeText(MaxDriveFree));
  }
}

void Tfrm_SizeWarning::showEvent(QShowEvent* event) {
  FillLabels();
  QDialog::showEvent(event);
}

}  // namespace widgets
