#pragma once
// One catalogue pattern compiled with PCRE2 (JIT where the library offers it).
// Patterns run on raw bytes: no UTF, "." matches every byte, case-sensitive, and
// a match may start anywhere in the window. Movable, not copyable.

#include <memory>
#include <string>
#include <string_view>

namespace lowscan {

class TPattern {
 public:
  TPattern() = default;
  // Compiles `pattern`; on failure IsValid() is false and Error() says why.
  explicit TPattern(std::string_view pattern);

  bool IsValid() const { return m_code != nullptr; }
  const std::string& Error() const { return m_error; }
  // True when the pattern matches somewhere in `window`.
  bool Matches(std::string_view window) const;

 private:
  struct CodeDeleter {
    void operator()(void* code) const;
  };
  struct MatchDataDeleter {
    void operator()(void* data) const;
  };
  std::unique_ptr<void, CodeDeleter> m_code;
  std::unique_ptr<void, MatchDataDeleter> m_matchData;
  bool m_jit = false;
  std::string m_error;
};

}  // namespace lowscan
