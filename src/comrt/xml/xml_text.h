// Text between the DOM's UTF-16 strings and libxml2's UTF-8, and the small
// answers every DOM method gives (strings out, error information).
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>

#include "comrt/bstr.h"
#include "comrt/variant.h"

namespace comrt {
namespace xml {

// Owns a string that libxml2 allocated.
struct XmlFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlString = std::unique_ptr<xmlChar, XmlFree>;

inline const xmlChar* X(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }
inline const char* C(const xmlChar* text) { return reinterpret_cast<const char*>(text); }
inline std::string_view View(const xmlChar* text) {
  return text ? std::string_view(C(text)) : std::string_view();
}

// The whole BSTR (embedded zeros stop libxml2 later, so they are dropped
// there); null is empty. Throws std::bad_alloc only.
std::string ToUtf8(BSTR text);

// Hands out `text` as a new BSTR. E_INVALIDARG for a null `out`,
// E_OUTOFMEMORY.
HRESULT HandOut(std::string_view text, BSTR* out);
HRESULT HandOut(std::u16string_view text, BSTR* out);
// As HandOut, into a VARIANT (VT_BSTR).
HRESULT HandOutVariant(std::string_view text, VARIANT* out);

// The value as text for put_nodeValue and friends: VT_EMPTY and VT_NULL are
// empty, other types go through VariantChangeType. DISP_E_TYPEMISMATCH and
// the conversion's other failures.
HRESULT VariantText(const VARIANT& value, std::string* text);

// Makes `description` the thread's error information (source "XML DOM") and
// returns `hr`, so that a failing method can `return Fail(E_FAIL, u"...")`.
HRESULT Fail(HRESULT hr, std::u16string_view description);
HRESULT Fail(HRESULT hr, std::string_view utf8Description);

// True for the characters XML counts as white space.
inline bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsAllXmlSpace(std::string_view text);
// As IsAllXmlSpace for libxml2's zero-terminated text (null is empty),
// looking no further than its first other character.
inline bool IsAllXmlSpace(const xmlChar* text) {
  if (!text) return true;
  for (; *text; ++text) {
    if (!IsXmlSpace(static_cast<char>(*text))) return false;
  }
  return true;
}

// True when `name` is an XML name (colons allowed) / an NCName (none).
bool IsXmlName(const std::string& name);
bool IsNcName(const std::string& name);

}  // namespace xml
}  // namespace comrt
