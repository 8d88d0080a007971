#pragma once
// A progress bar as engine code sees it: the wizard binds it to its bar, the CLI to
// its progress line, tests to nothing.

#include <cstdint>

namespace util {

class IProgress {
 public:
  virtual ~IProgress() = default;
  virtual void SetMinimum(std::int64_t value) = 0;
  virtual void SetMaximum(std::int64_t value) = 0;
  virtual void SetPosition(std::int64_t value) = 0;
  virtual std::int64_t Position() const = 0;
  virtual void SetShowHint(bool show) = 0;
  void StepBy(std::int64_t delta) { SetPosition(Position() + delta); }
};

// Keeps the values and shows nothing.
class SilentProgress : public IProgress {
 public:
  void SetMinimum(std::int64_t value) override { minimum = value; }
  void SetMaximum(std::int64_t value) override { maximum = value; }
  void SetPosition(std::int64_t value) override { position = value; }
  std::int64_t Position() const override { return position; }
  void SetShowHint(bool show) override { showHint = show; }
  std::int64_t minimum = 0, maximum = 0, position = 0;
  bool showHint = false;
};

}  // namespace util
