#include "lowscan/Pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace lowscan {

void TPattern::CodeDeleter::operator()(void* code) const { pcre2_code_free(static_cast<pcre2_code*>(code)); }
void TPattern::MatchDataDeleter::operator()(void* data) const {
  pcre2_match_data_free(static_cast<pcre2_match_data*>(data));
}

TPattern::TPattern(std::string_view pattern) {
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), PCRE2_DOTALL,
                                   &errorCode, &errorOffset, nullptr);
  if (code == nullptr) {
    PCRE2_UCHAR buffer[256];
    pcre2_get_error_message(errorCode, buffer, sizeof buffer);
    m_error = std::string(reinterpret_cast<const char*>(buffer)) + " at offset " + std::to_string(errorOffset);
    return;
  }
  m_code.reset(code);
  // JIT is an optimisation only: without it the interpreter gives the same answers.
  m_jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
  m_matchData.reset(pcre2_match_data_create_from_pattern(code, nullptr));
  if (!m_matchData) {
    m_code.reset();
    m_error = "out of memory for match data";
  }
}

bool TPattern::Matches(std::string_view window) const {
  if (!m_code) return false;
  auto* code = static_cast<const pcre2_code*>(m_code.get());
  auto* data = static_cast<pcre2_match_data*>(m_matchData.get());
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(window.data());
  const int rc = m_jit ? pcre2_jit_match(code, subject, window.size(), 0, 0, data, nullptr)
                       : pcre2_match(code, subject, window.size(), 0, 0, data, nullptr);
  return rc >= 0;
}

}  // namespace lowscan
