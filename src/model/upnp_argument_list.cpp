#include "model/upnp_argument_list.h"

#include "comrt/text_conversion.h"

namespace {

// True when every surrogate in `text` is half of a pair.
bool IsWellFormed(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// Room for one more element, growing geometrically.
template <class Vector>
void MakeRoom(Vector& vector) {
  if (vector.size() == vector.capacity()) vector.reserve(vector.size() < 4 ? 4 : 2 * vector.size());
}

}  // namespace

void CUPnPArgumentList::Add(std::u16string name, boost::shared_ptr<CUPnPArgument> argument) {
  const bool wellFormed = IsWellFormed(name);
  std::string utf8 = wellFormed ? comrt::ToUtf8(name) : std::string();
  const size_t position = entries_.size();
  MakeRoom(entries_);
  MakeRoom(utf8Names_);
  MakeRoom(firstOfName_);
  bool first = false;
  if (wellFormed) first = positions_.emplace(utf8, position).second;
  // Nothing below throws: the list changes whole or not at all.
  entries_.emplace_back(std::move(name), std::move(argument));
  utf8Names_.push_back(std::move(utf8));
  firstOfName_.push_back(first);
}

size_t CUPnPArgumentList::Find(const std::u16string& name) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].first == name) return i;
  }
  return npos;
}

size_t CUPnPArgumentList::Find(std::string_view utf8Name, size_t expected) const {
  if (expected < entries_.size() && firstOfName_[expected] && utf8Names_[expected] == utf8Name) return expected;
  const auto found = positions_.find(std::string(utf8Name));
  return found == positions_.end() ? npos : found->second;
}
