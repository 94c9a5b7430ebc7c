// The store file: reading it whole, and changing it under its lock.
//
// Reads take no lock: every change replaces the file by a rename, so a
// reader always opens one whole version. Changes serialize on an exclusive
// flock of "<store>.lock" (the store itself is replaced, so a lock on it
// would guard a file that is no longer there), re-read the store, apply
// themselves and write a new file that is renamed over the old one.
#pragma once

#include <functional>
#include <memory>

#include "comrt/types.h"
#include "registry/key_tree.h"

namespace comrt {
namespace registry {

// The current store as a tree that nobody changes; a missing store is an
// empty tree. Reading the same file again is answered from the last read
// (the file is known by its device, inode, size, mode and times, once those
// times lie seconds back; every change of the store makes a new file). ERROR_BADDB when it does not parse,
// ERROR_ACCESS_DENIED when it may not be read (a mode without any read bit
// counts so even for root), ERROR_CANTREAD otherwise (a folder, no store
// path).
LONG ReadStore(std::shared_ptr<const RegKey>* root);

// One change: alters `root`, sets `*changed` when it altered anything and
// returns the code its caller answers. It may run twice (once against a
// snapshot, once under the lock) and must depend only on the tree it gets.
using StoreChange = std::function<LONG(RegKey& root, bool* changed)>;

// Applies `change` to the store. A change that alters nothing, or that
// fails, leaves the file untouched. Otherwise the store is rewritten; a
// store whose mode has no write bit gives ERROR_ACCESS_DENIED, other
// failures to write ERROR_CANTWRITE (or ERROR_ACCESS_DENIED for refused
// permissions), and then no temporary file remains.
LONG ChangeStore(const StoreChange& change);

}  // namespace registry
}  // namespace comrt
