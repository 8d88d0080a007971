#include "widgets/frm_Security.h"

#include "widgets/DialogHeader.h"
#include "widgets/ModalResults.h"
#include "widgets/Pictures.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace widgets {

Tfrm_SecurityWarning::Tfrm_SecurityWarning(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setWindowTitle(QStringLiteral("Security Warning"));
  SetDialogBorder(*this);
  setObjectName(QStringLiteral("frm_SecurityWarning"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(18, 18, 18, 14);
  layout->setSpacing(12);

  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop);
  top->addWidget(icon);
  auto* texts = new QVBoxLayout;
  auto* first = new QLabel(QStringLiteral("Trellmond cannot access the selected drive due to security restrictions "
                                          "that are active on this computer."),
                           this);
  QFont bold = first->font();
  bold.setBold(true);
  first->setFont(bold);
  first->setWordWrap(true);
  first->setMinimumWidth(360);
  texts->addWidget(first);
  auto* second = new QLabel(QStringLiteral("To overcome this, please close Trellmond and restart it by right-clicking "
                                           "its application icon and selecting the \"Run as Administrator\" option "
                                           "as shown below."),
                            this);
  second->setWordWrap(true);
  second->setMinimumWidth(360);
  texts->addWidget(second);
  top->addLayout(texts, 1);
  layout->addLayout(top);

  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("img_RunAs"));
  picture->setPixmap(RunAsAdministratorPicture());
  picture->setAlignment(Qt::AlignCenter);
  layout->addWidget(picture);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { done(kResultYes); });
  layout->addWidget(ok, 0, Qt::AlignRight);
  ok->setFocus();
  // A dialog border: the window manager offers no maximise for a fixed size.
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace widgets
