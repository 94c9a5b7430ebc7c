// The input or output arguments of an action, in description order. Names may
// repeat; lookups find the first entry of a name.
#pragma once

#include <cassert>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "model/upnp_argument.h"

class CUPnPArgumentList {
 public:
  using Entry = std::pair<std::u16string, boost::shared_ptr<CUPnPArgument>>;
  static constexpr size_t npos = static_cast<size_t>(-1);

  // Throws std::bad_alloc, leaving the list as it was.
  void Add(std::u16string name, boost::shared_ptr<CUPnPArgument> argument);
  size_t GetSize() const { return entries_.size(); }
  // REQUIRES: position < GetSize().
  const Entry& operator[](size_t position) const {
    assert(position < entries_.size());
    return entries_[position];
  }
  // Position of the first entry named exactly `name`, or npos.
  size_t Find(const std::u16string& name) const;
  // As Find, for a name in UTF-8 (as a message body's tree holds it), trying
  // `expected` first: peers write arguments in description order, so a read
  // costs the same per argument however many there are.
  size_t Find(std::string_view utf8Name, size_t expected) const;

  std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
  std::vector<Entry>::const_iterator end() const { return entries_.end(); }

 private:
  std::vector<Entry> entries_;
  // Each entry's name in UTF-8, empty for a name that no well-formed text
  // spells (a lone surrogate): no element of a body can carry it.
  std::vector<std::string> utf8Names_;
  // Whether each entry is the first of its name.
  std::vector<bool> firstOfName_;
  // The first position of every UTF-8 name.
  std::unordered_map<std::string, size_t> positions_;
};
