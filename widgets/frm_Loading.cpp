#include "widgets/frm_Loading.h"

#include "widgets/DialogHeader.h"
#include "widgets/ModalResults.h"

#include <QFrame>
#include <QHBoxLayout>
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

  auto* progressRow = new QHBoxLayout;
  progressRow->setContentsMargins(12, 0, 12, 4);
  m_progress = new QProgressBar(frame);
  m_progress->setObjectName(QStringLiteral("pb_Progress"));
  m_progress->setRange(0, 100);
  m_stop = new QPushButton(QStringLiteral("Stop"), frame);
  m_stop->setObjectName(QStringLiteral("pb_Stop"));
  m_stop->setAutoDefault(false);
  connect(m_stop, &QPushButton::clicked, this, [this] {
    m_stop->setEnabled(false);
    if (m_onStop) m_onStop();
  });
  progressRow->addWidget(m_progress, 1);
  progressRow->addWidget(m_stop);
  layout->addLayout(progressRow);
  m_hint = new QLabel(frame);
  m_hint->setObjectName(QStringLiteral("lbl_ProgressHint"));
  m_hint->setStyleSheet(QStringLiteral("color: #10306b; background: white; padding: 0 12px 8px 12px;"));
  layout->addWidget(m_hint);
  for (QWidget* w : {static_cast<QWidget*>(m_progress), static_cast<QWidget*>(m_stop), static_cast<QWidget*>(m_hint)})
    w->setVisible(false);

  m_timer.setSingleShot(false);
  m_timer.setInterval(1000);
  connect(&m_timer, &QTimer::timeout, this, &Tfrm_Loading::Tick);
}

void Tfrm_Loading::SetMessage(const QString& text) {
  m_message->setText(text);
  m_message->setVisible(true);
}

void Tfrm_Loading::ShowProgress(std::function<void()> onStop) {
  m_onStop = std::move(onStop);
  setFixedSize(460, 210);
  for (QWidget* w : {static_cast<QWidget*>(m_progress), static_cast<QWidget*>(m_stop), static_cast<QWidget*>(m_hint)})
    w->setVisible(true);
}

void Tfrm_Loading::SetProgress(int percent, const QString& hint) {
  m_hint->setText(hint);
  m_progress->setValue(percent);
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
