#include "widgets/MekFlashingLabel.h"

namespace widgets {

TMekFlashingLabel::TMekFlashingLabel(QWidget* parent) : QLabel(parent) {
  connect(&m_timer, &QTimer::timeout, this, &TMekFlashingLabel::Tick);
}

void TMekFlashingLabel::StartFlashing() {
  m_timer.setInterval(m_flashSpeed);
  m_counter = 0;
  m_timer.start();
}

void TMekFlashingLabel::StopFlashing() {
  m_timer.stop();
  setVisible(true);
}

void TMekFlashingLabel::Tick() {
  ++m_counter;
  setVisible(isHidden());
  if (m_counter > m_flashNumber) StopFlashing();
}

}  // namespace widgets
