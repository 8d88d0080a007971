#pragma once
// TStepReader: brings the Low Level Scan its read steps in order. With read-ahead
// one thread of its own reads the next step into a second buffer while the
// current one is carved, so that on a device the scan takes about the time of
// reading it; without, each step is read when it is asked for, on the caller's
// thread. While a reader thread runs, it alone uses the scanner's drive
// component. Owned by one run of the read loop; destroying it waits for a read
// under way and reads nothing more.

#include <cstdint>
#include <functional>
#include <semaphore>
#include <span>
#include <string>
#include <thread>

#include "lowscan/Carver.h"
#include "util/LargeBuffer.h"

namespace lowscan {

// What reading one step gave.
struct TStepRead {
  std::int64_t got = 0;     // bytes read
  std::int32_t status = 0;  // the drive component's status code
  std::string statusText;
};

class TStepReader {
 public:
  // Reads the step starting at `sector` into `into`.
  using ReadStep = std::function<TStepRead(std::int64_t sector, std::span<std::byte> into)>;

  TStepReader(ReadStep read, bool ahead, std::int64_t perStep, std::int64_t lastSector, TCarver& carver);
  ~TStepReader();
  TStepReader(const TStepReader&) = delete;
  TStepReader& operator=(const TStepReader&) = delete;

  // The step at `sector`, its bytes in the carver's chunk buffer. Steps are taken
  // in order, `perStep` sectors apart, from sector 0.
  TStepRead Take(std::int64_t sector);

 private:
  void Run(const std::stop_token& stop);

  ReadStep m_read;
  bool m_ahead;
  std::int64_t m_perStep;
  std::int64_t m_lastSector;
  TCarver& m_carver;
  util::TLargeBuffer m_spare;  // the buffer the reader fills
  std::int64_t m_sector = -1;  // the step being read ahead; -1 for none
  TStepRead m_result;
  std::counting_semaphore<2> m_go{0};  // a step to read, or the end
  std::binary_semaphore m_ready{0};
  std::jthread m_thread;  // last: stopped and joined first
};

}  // namespace lowscan
