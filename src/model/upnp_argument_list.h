// The input or output arguments of an action, in description order. Names may
// repeat; lookups find the first entry of a name.
#pragma once

#include <cassert>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "model/upnp_argument.h"

class CUPnPArgumentList {
 public:
  using Entry = std::pair<std::u16string, boost::shared_ptr<CUPnPArgument>>;
  static constexpr size_t npos = static_cast<size_t>(-1);

  void Add(std::u16string name, boost::shared_ptr<CUPnPArgument> argument) {
    entries_.emplace_back(std::move(name), std::move(argument));
  }
  size_t GetSize() const { return entries_.size(); }
  // REQUIRES: position < GetSize().
  const Entry& operator[](size_t position) const {
    assert(position < entries_.size());
    return entries_[position];
  }
  // Position of the first entry named exactly `name`, or npos.
  size_t Find(const std::u16string& name) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].first == name) return i;
    }
    return npos;
  }

  std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
  std::vector<Entry>::const_iterator end() const { return entries_.end(); }

 private:
  std::vector<Entry> entries_;
};
