#include "xml/node_view.h"

#include <libxml/tree.h>

#include <cstdint>
#include <cstring>

#include "comrt/text_conversion.h"
#include "xml/node_names.h"
#include "xml/tree_walk.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

xmlNodePtr NodeOf(void* node) { return static_cast<xmlNodePtr>(node); }

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

constexpr uint64_t kHighBits = 0x8080808080808080ull;

uint64_t Load8(const unsigned char* in) {
  uint64_t word;
  std::memcpy(&word, in, sizeof word);
  return word;
}

// Widens four ASCII bytes (as a 32-bit load holds them) into four UTF-16
// units (as a 64-bit store lays them out), whatever the byte order.
uint64_t Widen4(uint32_t bytes) {
  uint64_t units = bytes;
  units = (units | units << 16) & 0x0000FFFF0000FFFFull;
  return (units | units << 8) & 0x00FF00FF00FF00FFull;
}

void WidenAscii8(const unsigned char* in, char16_t* out) {
  uint32_t half[2];
  std::memcpy(half, in, sizeof half);
  const uint64_t units[2] = {Widen4(half[0]), Widen4(half[1])};
  std::memcpy(out, units, sizeof units);
}

// The UTF-16 units that `text` takes when well-formed: one per byte that
// starts a character, and one more per four-byte character.
size_t Utf16Length(std::string_view text) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text.data());
  size_t units = 0;
  size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    if (!(Load8(in + at) & kHighBits)) {
      units += 8;
      continue;
    }
    for (size_t k = 0; k < 8; ++k) units += !IsContinuation(in[at + k]) + (in[at + k] >= 0xF0);
  }
  for (; at < text.size(); ++at) units += !IsContinuation(in[at]) + (in[at] >= 0xF0);
  return units;
}

// Decodes the well-formed UTF-8 at the start of `text` into `out`, which has
// room for `room` units; returns how many bytes it took,
// stopping before a character that would not fit and at the first
// ill-formed sequence. `*units` gets the units written.
size_t DecodeWellFormed(std::string_view text, char16_t* out, size_t room, size_t* units) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  size_t at = 0;
  size_t written = 0;
  while (at < size && written < room) {
    const unsigned char lead = in[at];
    if (lead < 0x80) {
      // ASCII, most text, eight bytes at a time.
      while (at + 8 <= size && written + 8 <= room && !(Load8(in + at) & kHighBits)) {
        WidenAscii8(in + at, out + written);
        at += 8;
        written += 8;
      }
      if (at < size && in[at] < 0x80 && written < room) {
        out[written++] = in[at];
        ++at;
      }
    } else if (lead >= 0xC2 && lead <= 0xDF && at + 1 < size && IsContinuation(in[at + 1])) {
      out[written++] = static_cast<char16_t>((lead & 0x1F) << 6 | (in[at + 1] & 0x3F));
      at += 2;
    } else if (lead >= 0xE0 && lead <= 0xEF && at + 2 < size && IsContinuation(in[at + 1]) &&
               IsContinuation(in[at + 2]) && (lead != 0xE0 || in[at + 1] >= 0xA0) &&
               (lead != 0xED || in[at + 1] <= 0x9F)) {
      out[written++] = static_cast<char16_t>((lead & 0x0F) << 12 | (in[at + 1] & 0x3F) << 6 | (in[at + 2] & 0x3F));
      at += 3;
    } else if (lead >= 0xF0 && lead <= 0xF4 && written + 2 <= room && at + 3 < size && IsContinuation(in[at + 1]) &&
               IsContinuation(in[at + 2]) && IsContinuation(in[at + 3]) && (lead != 0xF0 || in[at + 1] >= 0x90) &&
               (lead != 0xF4 || in[at + 1] <= 0x8F)) {
      const char32_t codePoint = static_cast<char32_t>((lead & 0x07) << 18 | (in[at + 1] & 0x3F) << 12 |
                                                       (in[at + 2] & 0x3F) << 6 | (in[at + 3] & 0x3F)) -
                                 0x10000;
      out[written++] = static_cast<char16_t>(0xD800 + (codePoint >> 10));
      out[written++] = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
      at += 4;
    } else {
      break;
    }
  }
  *units = written;
  return at;
}

}  // namespace

NodeView NodeView::FirstChild() const {
  xmlNodePtr node = NodeOf(node_);
  return NodeView(node && HasTreeChildren(node) ? node->children : nullptr);
}

NodeView NodeView::NextSibling() const {
  xmlNodePtr node = NodeOf(node_);
  return NodeView(node ? node->next : nullptr);
}

DOMNodeType NodeView::Type() const { return node_ ? TypeOf(NodeRef(NodeOf(node_))) : NODE_INVALID; }

std::string_view NodeView::LocalName() const {
  xmlNodePtr node = NodeOf(node_);
  if (!node) return std::string_view();
  if (node->type == XML_PI_NODE) return View(node->name);
  if (node->type != XML_ELEMENT_NODE) return std::string_view();
  const std::string_view name = View(node->name);
  if (node->ns) return name;
  // A name given whole at creation ("s:Envelope") shows the name after the colon, as
  // LocalName in node_names.cpp splits it.
  const size_t colon = name.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == name.size()) return name;
  return name.substr(colon + 1);
}

std::string_view NodeView::NamespaceUri() const {
  xmlNodePtr node = NodeOf(node_);
  if (!node || node->type != XML_ELEMENT_NODE || !node->ns) return std::string_view();
  return View(node->ns->href);
}

std::string_view NodeView::QualifiedName(std::string* scratch) const {
  xmlNodePtr node = NodeOf(node_);
  if (!node) return std::string_view();
  switch (node->type) {
    case XML_ELEMENT_NODE:
      if (node->ns && node->ns->prefix) {
        scratch->assign(C(node->ns->prefix));
        scratch->push_back(':');
        scratch->append(C(node->name));
        return *scratch;
      }
      return View(node->name);
    case XML_TEXT_NODE:
      return "#text";
    case XML_CDATA_SECTION_NODE:
      return "#cdata-section";
    case XML_COMMENT_NODE:
      return "#comment";
    case XML_DOCUMENT_NODE:
      return "#document";
    default:
      return View(node->name);
  }
}

bool NodeView::HasValue() const {
  xmlNodePtr node = NodeOf(node_);
  if (!node) return false;
  switch (node->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return true;
    default:
      return false;
  }
}

std::string_view NodeView::Value() const { return HasValue() ? View(NodeOf(node_)->content) : std::string_view(); }

std::string NodeView::Text() const {
  xmlNodePtr node = NodeOf(node_);
  if (!node) return std::string();
  if (node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE) return TextOf(node);
  return std::string(Value());
}

BSTR AllocBstrFromUtf8(std::string_view text) {
  const size_t units = Utf16Length(text);
  BSTR made = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (!made) return nullptr;
  size_t written = 0;
  if (DecodeWellFormed(text, made, units, &written) == text.size() && written == units) return made;
  // Ill-formed: as comrt::FromUtf8 has it.
  SysFreeString(made);
  try {
    const std::u16string wide = FromUtf8(text);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void AppendUtf16(std::string_view text, std::u16string* out) {
  // UTF-8 never takes fewer bytes than UTF-16 takes units.
  out->reserve(out->size() + text.size());
  char16_t piece[512];
  while (!text.empty()) {
    size_t units = 0;
    const size_t taken = DecodeWellFormed(text, piece, sizeof piece / sizeof piece[0], &units);
    out->append(piece, units);
    text.remove_prefix(taken);
    if (taken == 0) {
      // Decoding starts afresh after each whole character, so an ill-formed
      // rest converts on its own exactly as comrt::FromUtf8 converts the
      // whole.
      out->append(FromUtf8(text));
      return;
    }
  }
}

}  // namespace xml
}  // namespace comrt
