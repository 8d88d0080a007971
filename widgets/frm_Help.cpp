#include "widgets/frm_Help.h"

#include "widgets/DialogHeader.h"
#include "widgets/ModalResults.h"
#include "widgets/Pictures.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace widgets {

Tfrm_Help::Tfrm_Help(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setWindowTitle(QStringLiteral("Help"));
  SetDialogBorder(*this);
  setObjectName(QStringLiteral("frm_Help"));
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  auto* image = new QLabel(this);
  image->setPixmap(LogoPicture(64));
  image->setAlignment(Qt::AlignTop);
  row->addWidget(image);

  m_group = new QGroupBox(QStringLiteral(" Can't find your drive or camera? "), this);
  auto* groupLayout = new QVBoxLayout(m_group);
  m_memo = new QPlainTextEdit(m_group);
  m_memo->setObjectName(QStringLiteral("mem_Help"));
  m_memo->setReadOnly(true);
  m_memo->setFrameStyle(QFrame::NoFrame);
  m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_memo->setMinimumSize(380, 200);
  groupLayout->addWidget(m_memo);
  row->addWidget(m_group, 1);
  layout->addLayout(row, 1);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { done(kResultOk); });
  layout->addWidget(ok, 0, Qt::AlignRight);
  ok->setFocus();
  // A dialog border: the window manager offers no maximise for a fixed size.
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Tfrm_Help::SetLines(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << QString::fromStdString(line);
  m_memo->setPlainText(text.join(QLatin1Char('\n')));
}

}  // namespace widgets
