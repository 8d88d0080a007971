#include "widgets/frm_Loading.h"

#include "widgets/DialogHeader.h"
#include "widgets/ModalResults.h"

#include <QFrame>
#include <QVBoxLayout>

namespace widgets {

Tfrm_Loading::Tfrm_Loading(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setWindowTitle(QStringLiteral("Information"));
  setFixedSize(400, 147);
  setObjectName(QStringLiteral("frm_Loading"));

  auto* frame = new QFrame(this);
  frame->setFrameStyle(QFrame::Box | QFrame::Plain);
  frame->setStyleSheet(QStringLiteral("QFrame#loadingFrame { border: 1px solid #10306b; background: white; }"));
  frame->setObjectName(QStringLiteral("loadingFrame"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(frame);

  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(0);
  layout->addWidget(new THeaderStrip(QStringLiteral("Trellmond"), 14, frame));
  layout->itemAt(0)->widget()->setFixedHeight(56);

  m_message = new TMekFlashingLabel(frame);
  m_message->setObjectName(QStringLiteral("lbl_Message"));
  m_message->SetFlashNumber(300);
  m_message->SetFlashSpeed(200);
  m_message->setText(QStringLiteral("Loading..."));
  m_message->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QFont font = m_message->font();
  font.setPointSize(font.pointSize() + 2);
  font.setBold(true);
  m_message->setFont(font);
  m_message->setStyleSheet(QStringLiteral("color: #10306b; background: white; padding-right: 24px;"));
  layout->addWidget(m_message, 1);

  m_timer.setSingleShot(false);
  m_timer.setInterval(1000);
  connect(&m_timer, &QTimer::timeout, this, &Tfrm_Loading::Tick);
}

void Tfrm_Loading::SetMessage(const QString& text) {
  m_message->setText(text);
  m_message->setVisible(true);
}

void Tfrm_Loading::SetTimeLimit(int milliseconds) {
  m_timer.stop();
  m_timer.setInterval(milliseconds);
  m_timer.start();
}

void Tfrm_Loading::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  m_message->StartFlashing();
  m_timer.start();
}

void Tfrm_Loading::Tick() {
  m_timer.stop();
  if (m_step) m_step();
  m_message->StopFlashing();
  done(kResultOk);
}

}  // namespace widgets
