#pragma once
// TMekFlashingLabel: a label that blinks FlashNumber + 1 times, FlashSpeed
// milliseconds apart, and then stays visible. Owns its timer.

#include <QLabel>
#include <QTimer>

namespace widgets {

class TMekFlashingLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TMekFlashingLabel(QWidget* parent = nullptr);

  int GetFlashNumber() const { return m_flashNumber; }
  void SetFlashNumber(int value) { m_flashNumber = value; }
  int GetFlashSpeed() const { return m_flashSpeed; }
  void SetFlashSpeed(int milliseconds) { m_flashSpeed = milliseconds; }

  void StartFlashing();
  void StopFlashing();
  bool IsFlashing() const { return m_timer.isActive(); }

 private:
  void Tick();

  QTimer m_timer;
  int m_flashNumber = 10;
  int m_flashSpeed = 500;
  int m_counter = 0;
};

}  // namespace widgets
