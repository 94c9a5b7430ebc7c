// A look at the raw input ahead of libxml2, counting the attributes and
// namespace declarations of each start tag. libxml2 checks each attribute of
// a start tag against all the others before the element is handed over, so
// an element with a hundred thousand of them costs seconds before the parser
// calls back; counted here, such a tag is refused as soon as it exceeds the
// limit.
//
// Only the markup characters are looked at, all ASCII, so any input whose
// code units are one byte with ASCII in place (UTF-8, the ISO 8859 family,
// the Asian multi-byte encodings, whose trailing bytes are never quotes,
// '<', '>' or '=') or two bytes (UTF-16, and UCS-4 read as pairs of UTF-16
// units, which puts zeros between) is scanned alike. Anything the scanner
// does not follow (a DOCTYPE, which the parser refuses anyway, or an
// encoding without ASCII) turns it off: it then refuses nothing.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace comrt {
namespace xml {

class TagScanner {
 public:
  enum class Verdict { kFine, kTooManyAttributes, kTooManyNamespaces };

  TagScanner(int maxAttributes, int maxNamespaces) : maxAttributes_(maxAttributes), maxNamespaces_(maxNamespaces) {}

  // Chooses the code unit layout from the first bytes of the input (at least
  // four, or all there are); `utf8` skips the guess.
  void Begin(const char* data, size_t size, bool utf8) {
    auto at = [&](size_t i) { return i < size ? static_cast<unsigned char>(data[i]) : 0x100u; };
    if (utf8) return;
    if ((at(0) == 0xFE && at(1) == 0xFF) || (at(0) == 0x00 && at(1) != 0x00) ||
        (at(0) == 0x00 && at(1) == 0x00 && at(2) == 0x00)) {
      width_ = 2, bigEndian_ = true;
    } else if ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) != 0x00 && at(1) == 0x00)) {
      width_ = 2, bigEndian_ = false;
    } else if (at(0) == 0x4C && at(1) == 0x6F && at(2) == 0xA7 && at(3) == 0x94) {
      state_ = State::kOff;  // EBCDIC
    }
  }

  // True when `equals` more '=' characters cannot take any start tag past a
  // limit, whatever else the input holds: the tag open now has counted
  // attributes_ and namespaces_ already (or they are left over from an
  // earlier tag, which only makes this answer false more often).
  bool CannotPassLimits(size_t equals) const {
    return static_cast<size_t>(attributes_) + equals <= static_cast<size_t>(maxAttributes_) &&
           static_cast<size_t>(namespaces_) + equals <= static_cast<size_t>(maxNamespaces_);
  }

  // Scans the next bytes; the first limit a start tag exceeds, else kFine.
  Verdict Scan(const char* data, size_t size) {
    if (width_ == 1) return ScanBytes(data, size);
    for (size_t i = 0; i < size && state_ != State::kOff; ++i) {
      unsigned unit = static_cast<unsigned char>(data[i]);
      if (width_ == 2) {
        if (!havePartial_) {
          partial_ = unit;
          havePartial_ = true;
          continue;
        }
        havePartial_ = false;
        unit = bigEndian_ ? (partial_ << 8 | unit) : (unit << 8 | partial_);
        if (unit == 0) continue;
      }
      const Verdict verdict = Step(unit);
      if (verdict != Verdict::kFine) return verdict;
    }
    return Verdict::kFine;
  }

 private:
  enum class State { kText, kOpen, kBang, kComment, kCData, kPi, kEndTag, kTag, kQuoted, kOff };

  static bool IsSpace(unsigned c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  // One-byte code units. Text, quoted values and end tags, where only the
  // character that ends them matters, are passed over a search at a time:
  // most of a body is text. Inside start tags a run of word characters is
  // taken at once. What Step remembers of the characters passed over (last_,
  // lastButOne_) is only read inside comments, CDATA sections and processing
  // instructions, each of which starts it afresh, so the states handled here
  // leave it alone; the others go through Step.
  Verdict ScanBytes(const char* data, size_t size) {
    size_t i = 0;
    while (i < size) {
      switch (state_) {
        case State::kText:
        case State::kQuoted:
        case State::kEndTag: {
          const char wanted = state_ == State::kText ? '<' : state_ == State::kEndTag ? '>' : static_cast<char>(quote_);
          i = Find(data, i, size, wanted);
          if (i == size) return Verdict::kFine;
          state_ = state_ == State::kText ? State::kOpen : state_ == State::kQuoted ? State::kTag : State::kText;
          ++i;
          break;
        }
        case State::kOpen: {
          const unsigned char c = static_cast<unsigned char>(data[i++]);
          if (c == '/') {
            state_ = State::kEndTag;
          } else if (c == '!' || c == '?') {
            Step(c);
          } else {
            state_ = State::kTag, attributes_ = namespaces_ = 0, tokenLength_ = 0, inToken_ = true;
          }
          break;
        }
        case State::kTag: {
          const unsigned char c = static_cast<unsigned char>(data[i]);
          if (IsTokenUnit(c)) {
            size_t end = i + 1;
            while (end < size && IsTokenUnit(static_cast<unsigned char>(data[end]))) ++end;
            TokenRun(data + i, end - i);
            i = end;
            break;
          }
          const Verdict verdict = TagStep(c);
          if (verdict != Verdict::kFine) return verdict;
          ++i;
          break;
        }
        case State::kOff:
          return Verdict::kFine;
        default: {
          const Verdict verdict = Step(static_cast<unsigned char>(data[i]));
          if (verdict != Verdict::kFine) return verdict;
          ++i;
          break;
        }
      }
    }
    return Verdict::kFine;
  }

  // The position of the first `wanted` from `at`, or `size`. Short spans
  // (the values between tags) are looked at directly, longer ones by memchr.
  static size_t Find(const char* data, size_t at, size_t size, char wanted) {
    const size_t near = at + 16 < size ? at + 16 : size;
    for (; at < near; ++at) {
      if (data[at] == wanted) return at;
    }
    if (at == size) return size;
    const void* found = std::memchr(data + at, wanted, size - at);
    return found ? static_cast<size_t>(static_cast<const char*>(found) - data) : size;
  }

  Verdict Step(unsigned c) {
    const unsigned before = last_;
    const unsigned beforeThat = lastButOne_;
    lastButOne_ = last_;
    last_ = c;
    switch (state_) {
      case State::kText:
        if (c == '<') state_ = State::kOpen;
        return Verdict::kFine;
      case State::kOpen:
        if (c == '!') {
          state_ = State::kBang;
          bang_.clear();
        } else if (c == '?') {
          state_ = State::kPi, last_ = lastButOne_ = 0;
        } else if (c == '/') {
          state_ = State::kEndTag;
        } else {
          state_ = State::kTag, attributes_ = namespaces_ = 0, tokenLength_ = 0, inToken_ = true;
        }
        return Verdict::kFine;
      case State::kBang:
        bang_.push_back(static_cast<char>(c < 0x80 ? c : '?'));
        if (bang_ == "--") {
          state_ = State::kComment, last_ = lastButOne_ = 0;
        } else if (bang_ == "[CDATA[") {
          state_ = State::kCData, last_ = lastButOne_ = 0;
        } else if (std::string("--").compare(0, bang_.size(), bang_) != 0 &&
                   std::string("[CDATA[").compare(0, bang_.size(), bang_) != 0) {
          state_ = State::kOff;
        }
        return Verdict::kFine;
      case State::kComment:
        if (c == '>' && before == '-' && beforeThat == '-') state_ = State::kText;
        return Verdict::kFine;
      case State::kCData:
        if (c == '>' && before == ']' && beforeThat == ']') state_ = State::kText;
        return Verdict::kFine;
      case State::kPi:
        if (c == '>' && before == '?') state_ = State::kText;
        return Verdict::kFine;
      case State::kEndTag:
        if (c == '>') state_ = State::kText;
        return Verdict::kFine;
      case State::kQuoted:
        if (c == quote_) state_ = State::kTag;
        return Verdict::kFine;
      case State::kTag:
        return TagStep(c);
      case State::kOff:
        return Verdict::kFine;
    }
    return Verdict::kFine;
  }

  // Inside a start tag: every '=' outside a value ends an attribute's name,
  // the last word before it.
  Verdict TagStep(unsigned c) {
    if (c == '>') {
      state_ = State::kText;
    } else if (c == '"' || c == '\'') {
      state_ = State::kQuoted, quote_ = c;
    } else if (c == '=') {
      inToken_ = false;
      if (TokenIsNamespaceDeclaration() && ++namespaces_ > maxNamespaces_) {
        return Verdict::kTooManyNamespaces;
      }
      if (++attributes_ > maxAttributes_) return Verdict::kTooManyAttributes;
    } else if (IsSpace(c) || c == '/') {
      inToken_ = false;
    } else {
      TokenUnit(c);
    }
    return Verdict::kFine;
  }

  // What TagStep takes into a word.
  static bool IsTokenUnit(unsigned c) {
    return c != '>' && c != '"' && c != '\'' && c != '=' && c != '/' && !IsSpace(c);
  }

  // Only whether the word is xmlns or starts with xmlns: matters, so no more
  // than six units of it are kept; a word that starts with xmlns and goes on
  // otherwise is kept as "-" and what follows.
  void TokenUnit(unsigned c) {
    if (!inToken_) tokenLength_ = 0, inToken_ = true;
    if (tokenLength_ < sizeof token_) token_[tokenLength_++] = static_cast<char>(c < 0x80 ? c : '?');
    if (tokenLength_ == sizeof token_ && std::memcmp(token_, "xmlns", 5) == 0 && token_[5] != ':') {
      token_[0] = '-';
      tokenLength_ = 1;
    }
  }

  // TokenUnit for each of `size` word units; once six are kept, the rest
  // change nothing.
  void TokenRun(const char* units, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      if (inToken_ && tokenLength_ == sizeof token_) return;
      TokenUnit(static_cast<unsigned char>(units[i]));
    }
  }

  bool TokenIsNamespaceDeclaration() const {
    return (tokenLength_ == 5 && std::memcmp(token_, "xmlns", 5) == 0) ||
           (tokenLength_ == 6 && std::memcmp(token_, "xmlns:", 6) == 0);
  }

  const int maxAttributes_;
  const int maxNamespaces_;
  int width_ = 1;
  bool bigEndian_ = false;
  bool havePartial_ = false;
  unsigned partial_ = 0;
  State state_ = State::kText;
  unsigned last_ = 0;
  unsigned lastButOne_ = 0;
  unsigned quote_ = 0;
  std::string bang_;
  char token_[6] = {};
  size_t tokenLength_ = 0;
  bool inToken_ = false;
  int attributes_ = 0;
  int namespaces_ = 0;
};

}  // namespace xml
}  // namespace comrt
