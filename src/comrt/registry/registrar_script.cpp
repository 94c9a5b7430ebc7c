#include "registry/registrar_script.h"

#include "registry/key_tree.h"

namespace comrt {
namespace registry {
namespace {

enum class TokenKind { kWord, kQuoted, kOpen, kClose, kEquals, kEnd };

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::u16string text;  // a word as written, or a quoted text with '' undone
};

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsKeyword(const Token& token, std::u16string_view keyword) {
  return token.kind == TokenKind::kWord && CompareNames(token.text, keyword) == 0;
}

// Splits a script into tokens. Words run to a blank or "=", so that a bare
// "{CLSID}" is a name while a lone "{" opens a block.
class Lexer {
 public:
  explicit Lexer(std::u16string_view text) : text_(text) {}

  // False for an unterminated quote or a quote inside a word.
  bool Next(Token* token) {
    token->text.clear();
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
    if (pos_ == text_.size()) {
      token->kind = TokenKind::kEnd;
      return true;
    }
    if (text_[pos_] == u'=') {
      ++pos_;
      token->kind = TokenKind::kEquals;
      return true;
    }
    if (text_[pos_] == u'\'') return Quoted(token);
    const size_t start = pos_;
    while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != u'=') {
      if (text_[pos_] == u'\'') return false;
      ++pos_;
    }
    token->text.assign(text_.substr(start, pos_ - start));
    token->kind = token->text == u"{" ? TokenKind::kOpen : token->text == u"}" ? TokenKind::kClose : TokenKind::kWord;
    return true;
  }

 private:
  bool Quoted(Token* token) {
    token->kind = TokenKind::kQuoted;
    for (++pos_; pos_ < text_.size(); ++pos_) {
      if (text_[pos_] == u'\'') {
        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == u'\'') {
          ++pos_;
        } else {
          ++pos_;
          return true;
        }
      }
      token->text += text_[pos_];
    }
    return false;
  }

  std::u16string_view text_;
  size_t pos_ = 0;
};

class Parser {
 public:
  Parser(std::u16string_view script, const Replacements& replacements)
      : lexer_(script), replacements_(replacements) {}

  bool Script(std::vector<ScriptKey>* keys) {
    if (!Advance()) return false;
    while (token_.kind != TokenKind::kEnd) {
      if (!IsKeyword(token_, u"HKCR") && !IsKeyword(token_, u"HKEY_CLASSES_ROOT")) return false;
      if (!Advance()) return false;
      if (token_.kind == TokenKind::kOpen && !Block(keys, nullptr, 1)) return false;
    }
    return true;
  }

 private:
  bool Advance() { return lexer_.Next(&token_); }

  // Reads the items of a block whose "{" is the current token, through its
  // "}". `values` is null for a root's block: the root itself takes none.
  bool Block(std::vector<ScriptKey>* keys, std::vector<ScriptValue>* values, size_t depth) {
    if (depth > kMaxKeyDepth || !Advance()) return false;
    while (token_.kind != TokenKind::kClose) {
      if (IsKeyword(token_, u"val")) {
        ScriptValue value;
        if (!values || !Advance() || !Text(&value.name) || !ValueNameAllowed(value.name)) return false;
        if (!Advance() || !Assignment(&value.text)) return false;
        values->push_back(std::move(value));
        continue;
      }
      ScriptKey key;
      if (IsKeyword(token_, u"ForceRemove")) {
        key.mark = KeyMark::kForceRemove;
      } else if (IsKeyword(token_, u"NoRemove")) {
        key.mark = KeyMark::kNoRemove;
      } else if (IsKeyword(token_, u"Delete")) {
        key.mark = KeyMark::kDelete;
      }
      if (key.mark != KeyMark::kNone && !Advance()) return false;
      if (!Text(&key.name) || !KeyNameAllowed(&key.name) || !Advance()) return false;
      if (token_.kind == TokenKind::kEquals) {
        key.hasDefault = true;
        if (!Assignment(&key.defaultText)) return false;
      }
      if (token_.kind == TokenKind::kOpen && !Block(&key.children, &key.values, depth + 1)) return false;
      keys->push_back(std::move(key));
    }
    return Advance();
  }

  // Reads "= s text" from its "=" on, leaving the token after it current.
  bool Assignment(std::u16string* text) {
    if (token_.kind != TokenKind::kEquals || !Advance()) return false;
    if (!IsKeyword(token_, u"s") || !Advance()) return false;
    return Text(text) && Advance();
  }

  // The current token as a name or text, with its replacements made.
  bool Text(std::u16string* out) {
    if (token_.kind != TokenKind::kWord && token_.kind != TokenKind::kQuoted) return false;
    out->clear();
    const std::u16string& raw = token_.text;
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != u'%') {
        *out += raw[i];
        continue;
      }
      const size_t end = raw.find(u'%', i + 1);
      if (end == std::u16string::npos) return false;
      if (end == i + 1) {
        *out += u'%';
      } else {
        auto found = replacements_.find(raw.substr(i + 1, end - i - 1));
        if (found == replacements_.end()) return false;
        *out += found->second;
      }
      i = end;
    }
    return true;
  }

  static bool KeyNameAllowed(std::u16string* name) {
    if (name->empty() || name->size() > kMaxKeyNameChars || !HasNoControlCharacter(*name) ||
        name->find(u'\\') != std::u16string::npos) {
      return false;
    }
    *name = NormalizeKeyName(*name);
    return true;
  }

  static bool ValueNameAllowed(const std::u16string& name) {
    return !name.empty() && name.size() <= kMaxValueNameChars && HasNoControlCharacter(name);
  }

  Lexer lexer_;
  const Replacements& replacements_;
  Token token_;
};

}  // namespace

bool ParseScript(std::u16string_view script, const Replacements& replacements, std::vector<ScriptKey>* keys) {
  keys->clear();
  return Parser(script, replacements).Script(keys);
}

}  // namespace registry
}  // namespace comrt
