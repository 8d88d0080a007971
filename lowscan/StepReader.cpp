#include "lowscan/StepReader.h"

namespace lowscan {

TStepReader::TStepReader(ReadStep read, bool ahead, std::int64_t perStep, std::int64_t lastSector, TCarver& carver)
    : m_read(std::move(read)), m_ahead(ahead), m_perStep(perStep), m_lastSector(lastSector), m_carver(carver) {
  if (!m_ahead) return;
  m_spare = m_carver.NewBuffer();
  m_thread = std::jthread([this](const std::stop_token& stop) { Run(stop); });
  m_sector = 0;
  m_go.release();
}

TStepReader::~TStepReader() {
  if (!m_thread.joinable()) return;
  m_thread.request_stop();
  m_go.release();
  m_thread.join();
}

void TStepReader::Run(const std::stop_token& stop) {
  for (;;) {
    m_go.acquire();
    if (stop.stop_requested()) return;
    m_result = m_read(m_sector, m_carver.ChunkOf(m_spare));
    m_ready.release();
  }
}

TStepRead TStepReader::Take(std::int64_t sector) {
  if (!m_ahead) return m_read(sector, m_carver.ChunkBuffer());
  if (m_sector != sector) {
    // Not the step read ahead (the loop never skips one): that read ends unused,
    // and this one and those after it are read in turn.
    if (m_sector >= 0) m_ready.acquire();
    m_sector = -1;
    return m_read(sector, m_carver.ChunkBuffer());
  }
  m_ready.acquire();
  TStepRead read = std::move(m_result);
  m_carver.SwapBuffer(m_spare);
  const std::int64_t next = sector + m_perStep;
  m_sector = next <= m_lastSector ? next : -1;
  if (m_sector >= 0) m_go.release();
  return read;
}

}  // namespace lowscan
