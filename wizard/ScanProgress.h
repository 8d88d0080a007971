#pragma once
// The Analysis panel's progress bar as both scanners drive it. Positions are
// kept in 64 bits and shown in parts per thousand, so a drive of any size fits
// the bar's range. The bar's text is the percentage; while the Low Level Scan
// reads, also its speed and the time left, as the command line shows them.

#include "lowscan/MekLowScan.h"
#include "util/PaceText.h"
#include "util/Progress.h"

#include <QElapsedTimer>
#include <QProgressBar>

namespace wizard {

class ScanProgress : public util::IProgress, public lowscan::IProgressBar {
 public:
  explicit ScanProgress(QProgressBar& bar) : m_bar(bar) {
    m_bar.setRange(0, kSteps);
    m_bar.setTextVisible(true);
    m_bar.setAlignment(Qt::AlignCenter);
    Percent();
  }

  void SetMinimum(std::int64_t value) override { Percent(); m_minimum = value; Show(); }
  void SetMaximum(std::int64_t value) override { m_maximum = value; Show(); }
  void SetPosition(std::int64_t value) override { m_position = value; Show(); }
  std::int64_t Position() const override { return m_position; }
  void SetShowHint(bool) override {}

  // The Low Level Scan sets its range once, as its read begins.
  void SetRange(int minimum, int maximum) override {
    Percent();
    m_minimum = minimum;
    m_maximum = maximum;
    Show();
  }
  void SetPosition(int position) override { SetPosition(static_cast<std::int64_t>(position)); }
  void SetHint(const std::string& hint, bool showHint) override {
    m_bar.setToolTip(showHint ? QString::fromStdString(hint) : QString());
  }
  void SetBytes(std::int64_t position, std::int64_t total) override {
    if (!m_reading.isValid()) m_reading.start();
    const double seconds = static_cast<double>(m_reading.elapsed()) / 1000.0;
    m_bar.setFormat(QString::fromStdString(util::PaceText(position, total, seconds)).trimmed());
  }

 private:
  static constexpr int kSteps = 1000;
  void Percent() {
    m_reading.invalidate();
    m_bar.setFormat(QStringLiteral("%p%"));
  }
  void Show() {
    const std::int64_t span = m_maximum - m_minimum;
    const std::int64_t at = span > 0 ? (m_position - m_minimum) * kSteps / span : 0;
    m_bar.setValue(static_cast<int>(at < 0 ? 0 : at > kSteps ? kSteps : at));
  }
  QProgressBar& m_bar;
  QElapsedTimer m_reading;
  std::int64_t m_minimum = 0, m_maximum = 0, m_position = 0;
};

}  // namespace wizard
