#include "registry/store_text.h"

#include <climits>
#include <unordered_set>

#include "comrt/text_conversion.h"

namespace comrt {
namespace registry {
namespace {

constexpr std::u16string_view kFirstLine = u"comrt registry 1";

bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendHex4(std::u16string* out, char16_t c) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  *out += u"\\u";
  for (int shift = 12; shift >= 0; shift -= 4) *out += kDigits[(c >> shift) & 0xF];
}

void AppendQuoted(std::u16string* out, std::u16string_view text) {
  *out += u'"';
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    switch (c) {
      case u'\\': *out += u"\\\\"; continue;
      case u'"': *out += u"\\\""; continue;
      case u'\n': *out += u"\\n"; continue;
      case u'\r': *out += u"\\r"; continue;
      case u'\t': *out += u"\\t"; continue;
      default: break;
    }
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      *out += c;
      *out += text[++i];
    } else if (c < 0x20 || c == 0x7F || IsSurrogate(c)) {
      // UTF-8 has no form for a lone surrogate, so only the escape keeps it.
      AppendHex4(out, c);
    } else {
      *out += c;
    }
  }
  *out += u'"';
}

void AppendValues(std::u16string* out, const RegKey& key) {
  for (const RegValue& value : key.values) {
    if (value.name.empty()) {
      *out += u'@';
    } else {
      AppendQuoted(out, value.name);
    }
    *out += u'=';
    AppendQuoted(out, value.data);
    *out += u'\n';
  }
}

void AppendSections(std::u16string* out, const RegKey& key, std::u16string* path) {
  for (const auto& child : key.children) {
    const size_t parentLength = path->size();
    if (!path->empty()) *path += u'\\';
    *path += child->name;
    *out += u"\n[";
    *out += *path;
    *out += u"]\n";
    AppendValues(out, *child);
    AppendSections(out, *child, path);
    path->resize(parentLength);
  }
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// Reads the quoted text at `line[*pos]` and steps past it.
bool ReadQuoted(std::u16string_view line, size_t* pos, std::u16string* text) {
  text->clear();
  size_t i = *pos;
  if (i >= line.size() || line[i] != u'"') return false;
  for (++i; i < line.size(); ++i) {
    char16_t c = line[i];
    if (c == u'"') {
      *pos = i + 1;
      return true;
    }
    if (c < 0x20 && c != u'\t') return false;
    if (c == u'\\') {
      if (++i == line.size()) return false;
      switch (line[i]) {
        case u'\\': c = u'\\'; break;
        case u'"': c = u'"'; break;
        case u'n': c = u'\n'; break;
        case u'r': c = u'\r'; break;
        case u't': c = u'\t'; break;
        case u'u': {
          if (line.size() - i <= 4) return false;
          int code = 0;
          for (size_t k = 1; k <= 4; ++k) {
            const int digit = HexDigit(line[i + k]);
            if (digit < 0) return false;
            code = code << 4 | digit;
          }
          i += 4;
          c = static_cast<char16_t>(code);
          break;
        }
        default:
          return false;
      }
    }
    *text += c;
  }
  return false;
}

void SkipBlanks(std::u16string_view line, size_t* pos) {
  while (*pos < line.size() && (line[*pos] == u' ' || line[*pos] == u'\t')) ++*pos;
}

std::u16string_view Trim(std::u16string_view line) {
  const auto isBlank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; };
  while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
  return line;
}

class Parser {
 public:
  explicit Parser(RegKey* root) : root_(root), current_(root) {}

  bool Line(std::u16string_view line) {
    if (line.empty()) return true;
    if (line.front() == u'[') return Section(line);
    return Value(line);
  }

 private:
  // Sections may come in any order and name keys whose parents have no
  // section of their own, which a hand edit easily produces; only a key
  // named twice is refused, since one of its two lists would be lost.
  bool Section(std::u16string_view line) {
    if (line.size() < 3 || line.back() != u']') return false;
    KeyPath path;
    if (!SplitKeyPath(line.substr(1, line.size() - 2), &path) || path.empty()) return false;
    RegKey* key = root_;
    for (const std::u16string& name : path) {
      bool created = false;
      key = &OpenOrAddChild(*key, name, &created);
    }
    if (!declared_.insert(key).second) return false;
    current_ = key;
    return true;
  }

  bool Value(std::u16string_view line) {
    size_t pos = 0;
    if (line.front() == u'@') {
      name_.clear();
      pos = 1;
    } else if (!ReadQuoted(line, &pos, &name_) || name_.empty() || name_.size() > kMaxValueNameChars ||
               !HasNoControlCharacter(name_)) {
      return false;
    }
    SkipBlanks(line, &pos);
    if (pos == line.size() || line[pos] != u'=') return false;
    ++pos;
    SkipBlanks(line, &pos);
    if (!ReadQuoted(line, &pos, &data_) || pos != line.size()) return false;
    if (FindValue(*current_, name_)) return false;
    SetValue(*current_, name_, data_);
    return true;
  }

  RegKey* root_;
  RegKey* current_;
  std::unordered_set<const RegKey*> declared_;
  std::u16string name_;
  std::u16string data_;
};

}  // namespace

std::string FormatStore(const RegKey& root) {
  std::u16string out(kFirstLine);
  out += u'\n';
  AppendValues(&out, root);
  std::u16string path;
  AppendSections(&out, root, &path);
  return ToUtf8(out);
}

bool ParseStore(std::string_view text, RegKey* root) {
  *root = RegKey();
  if (text.empty() || text.size() > INT_MAX) return false;
  // Strict decoding: a file saved by an editor in another encoding must not
  // quietly turn into different names.
  const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0);
  if (units <= 0) return false;
  std::u16string wide(static_cast<size_t>(units), u'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &wide[0], units);

  const std::u16string_view all(wide);
  size_t start = 0;
  bool first = true;
  Parser parser(root);
  while (start < all.size()) {
    size_t end = all.find(u'\n', start);
    if (end == std::u16string_view::npos) end = all.size();
    const std::u16string_view line = Trim(all.substr(start, end - start));
    start = end + 1;
    if (first) {
      if (line != kFirstLine) return false;
      first = false;
    } else if (!parser.Line(line)) {
      return false;
    }
  }
  return !first;
}

}  // namespace registry
}  // namespace comrt
