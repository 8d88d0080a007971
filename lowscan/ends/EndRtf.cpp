// RTF: one group, "{\rtf" to the brace that closes it, counting the groups
// inside and skipping escaped braces and the raw bytes of \binN; the line ending
// behind the last brace belongs to the file. RTF is text: a control byte other
// than a tab or a line ending means the walk has left the file.

#include <algorithm>
#include <string>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr int kDeepest = 1 << 12;
constexpr std::int64_t kLongestParameter = 1 << 30;

class RtfEnd : public TEndWalker<RtfEnd> {
 protected:
  void Start() override { Want(0, 5); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (m_state == State::kStart) {
      if (!b.Is(0, "{\\rtf")) return Reject();
      SetHeaderParsed();
      m_depth = 1;
      m_state = State::kWord;
      return ScanFrom(5);
    }
    const std::size_t n = b.Size();
    for (std::size_t i = 0; i < n; ++i) {
      if (m_binary > 0) {
        const auto skip = static_cast<std::size_t>(std::min<std::int64_t>(m_binary, static_cast<std::int64_t>(n - i)));
        m_binary -= static_cast<std::int64_t>(skip);
        i += skip - 1;
        continue;
      }
      const unsigned c = b.U8(i);
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return Lose();
      if (m_state != State::kText && Control(c)) continue;
      if (c == '\\') {
        m_state = State::kEscape;
      } else if (c == '{') {
        if (++m_depth > kDeepest) return Lose();
      } else if (c == '}' && --m_depth == 0) {
        return FinishBehindLineEnd(at + static_cast<std::int64_t>(i) + 1);
      }
    }
    ScanFrom(at + static_cast<std::int64_t>(n));
  }

 private:
  enum class State { kStart, kText, kEscape, kWord, kParameter };

  // A byte of a control word or symbol; false when it ends the word and is text itself.
  bool Control(unsigned c) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    switch (m_state) {
      case State::kEscape:
        // A symbol (\{, \}, \\, \', ...) stands for one byte of text; letters begin a word.
        m_state = letter ? State::kWord : State::kText;
        m_word = letter ? std::string(1, static_cast<char>(c)) : std::string();
        return true;
      case State::kWord:
        if (letter) {
          if (m_word.size() < 8) m_word += static_cast<char>(c);
          return true;
        }
        m_parameter = 0;
        if (digit || c == '-') {
          m_state = State::kParameter;
          m_parameter = digit ? c - '0' : 0;
          return true;
        }
        return EndWord(c);
      case State::kParameter:
        if (digit) {
          m_parameter = std::min(kLongestParameter, m_parameter * 10 + (c - '0'));
          return true;
        }
        return EndWord(c);
      default: return false;
    }
  }

  // A blank after a word is its delimiter; \binN is followed by N raw bytes.
  bool EndWord(unsigned c) {
    m_state = State::kText;
    if (m_word != "bin" || m_parameter <= 0) return c == ' ';
    m_binary = m_parameter - (c == ' ' ? 0 : 1);
    return true;
  }

  State m_state = State::kStart;
  int m_depth = 0;
  std::string m_word;
  std::int64_t m_parameter = 0;
  std::int64_t m_binary = 0;  // raw bytes still to skip
};

}  // namespace

std::unique_ptr<TFileEnd> Rtf() { return std::make_unique<RtfEnd>(); }

}  // namespace lowscan::ends
