#pragma once
// The Analysis panel's progress bar as both scanners drive it. Positions are
// kept in 64 bits and shown in parts per thousand, so a drive of any size fits
// the bar's range.

#include "lowscan/MekLowScan.h"
#include "util/Progress.h"

#include <QProgressBar>

namespace wizard {

class ScanProgress : public util::IProgress, public lowscan::IProgressBar {
 public:
  explicit ScanProgress(QProgressBar& bar) : m_bar(bar) { m_bar.setRange(0, kSteps); }

  void SetMinimum(std::int64_t value) override { m_minimum = value; Show(); }
  void SetMaximum(std::int64_t value) override { m_maximum = value; Show(); }
  void SetPosition(std::int64_t value) override { m_position = value; Show(); }
  std::int64_t Position() const override { return m_position; }
  void SetShowHint(bool) override {}

  void SetRange(int minimum, int maximum) override { m_minimum = minimum; m_maximum = maximum; Show(); }
  void SetPosition(int position) override { SetPosition(static_cast<std::int64_t>(position)); }
  void SetHint(const std::string& hint, bool showHint) override {
    m_bar.setToolTip(showHint ? QString::fromStdString(hint) : QString());
  }

 private:
  static constexpr int kSteps = 1000;
  void Show() {
    const std::int64_t span = m_maximum - m_minimum;
    const std::int64_t at = span > 0 ? (m_position - m_minimum) * kSteps / span : 0;
    m_bar.setValue(static_cast<int>(at < 0 ? 0 : at > kSteps ? kSteps : at));
  }
  QProgressBar& m_bar;
  std::int64_t m_minimum = 0, m_maximum = 0, m_position = 0;
};

}  // namespace wizard
