// XML: the declaration, then markup up to the tag that closes the root element,
// counting elements by their start, end and empty tags; quoted attribute values,
// comments, CDATA sections, processing instructions and the document type
// declaration are passed over whole. The line ending behind the root belongs to
// the file. Text outside the root, or a control byte anywhere, means the walk
// has left the document.

#include <algorithm>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr int kDeepest = 1 << 12;
constexpr std::size_t kMagic = 6;  // "<?xml "

bool Blank(unsigned c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

class XmlEnd : public TEndWalker<XmlEnd> {
 protected:
  void Start() override { Want(0, kMagic); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (m_state == State::kStart) {
      if (!b.Is(0, "<?xml ")) return Reject();
      SetHeaderParsed();
      m_state = State::kInstruction;
      return ScanFrom(static_cast<std::int64_t>(kMagic));
    }
    const std::size_t n = b.Size();
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned c = b.U8(i);
      if (c < 0x20 && !Blank(c)) return Lose();
      const Step step = Next(c);
      if (step == Step::kLost) return Lose();
      if (step == Step::kRootClosed) return FinishBehindLineEnd(at + static_cast<std::int64_t>(i) + 1);
    }
    ScanFrom(at + static_cast<std::int64_t>(n));
  }

 private:
  enum class State { kStart, kText, kOpen, kTag, kBang, kBangDash, kComment, kCdata, kInstruction, kDoctype };
  enum class Step { kOn, kLost, kRootClosed };

  Step Next(unsigned c) {
    switch (m_state) {
      case State::kText:
        if (c == '<') m_state = State::kOpen;
        else if (m_depth == 0 && !Blank(c)) return Step::kLost;
        return Step::kOn;
      case State::kOpen: return Opened(c);
      case State::kTag: return InTag(c);
      case State::kBang:
        if (c == '-') m_state = State::kBangDash;
        else if (c == '[') m_state = State::kCdata;
        else m_state = State::kDoctype;
        m_run = 0;
        return Step::kOn;
      case State::kBangDash:
        if (c != '-') return Step::kLost;
        m_state = State::kComment;
        return Step::kOn;
      case State::kComment: return Until(c, '-', 2);
      case State::kCdata: return Until(c, ']', 2);
      case State::kInstruction: return Until(c, '?', 1);
      case State::kDoctype: return InDoctype(c);
      default: return Step::kLost;
    }
  }

  Step Opened(unsigned c) {
    if (c == '!') {
      m_state = State::kBang;
    } else if (c == '?') {
      m_state = State::kInstruction;
      m_run = 0;
    } else if (Blank(c) || c == '<' || c == '>' || (c == '/' && m_depth == 0)) {
      return Step::kLost;
    } else {
      m_state = State::kTag;
      m_endTag = c == '/';
      m_slash = false;
      m_quote = 0;
    }
    return Step::kOn;
  }

  Step InTag(unsigned c) {
    if (m_quote != 0) {
      if (c == m_quote) m_quote = 0;
      return Step::kOn;
    }
    if (c == '"' || c == '\'') {
      m_quote = c;
    } else if (c == '<') {
      return Step::kLost;
    } else if (c == '>') {
      m_state = State::kText;
      if (m_endTag) return --m_depth == 0 ? Step::kRootClosed : Step::kOn;
      if (m_slash) return m_depth == 0 ? Step::kRootClosed : Step::kOn;
      return ++m_depth > kDeepest ? Step::kLost : Step::kOn;
    }
    if (!Blank(c)) m_slash = c == '/';
    return Step::kOn;
  }

  // Markup that ends with `count` times `mark` and then '>'.
  Step Until(unsigned c, unsigned mark, int count) {
    if (c == '>' && m_run >= count) m_state = State::kText;
    m_run = c == mark ? m_run + 1 : 0;
    return Step::kOn;
  }

  // <!DOCTYPE ...>, its internal subset in brackets.
  Step InDoctype(unsigned c) {
    if (m_quote != 0) {
      if (c == m_quote) m_quote = 0;
    } else if (c == '"' || c == '\'') {
      m_quote = c;
    } else if (c == '[') {
      ++m_run;
    } else if (c == ']') {
      m_run = std::max(0, m_run - 1);
    } else if (c == '>' && m_run == 0) {
      m_state = State::kText;
    }
    return Step::kOn;
  }

  State m_state = State::kStart;
  int m_depth = 0;
  int m_run = 0;  // marks in a row at the end of markup; brackets open in a doctype
  unsigned m_quote = 0;
  bool m_endTag = false;
  bool m_slash = false;  // the tag's last byte so far that is no blank
};

}  // namespace

std::unique_ptr<TFileEnd> Xml() { return std::make_unique<XmlEnd>(); }

}  // namespace lowscan::ends
