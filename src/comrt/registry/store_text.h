// The store file's text form, meant to be read and edited by a person:
//
//   comrt registry 1
//
//   [CLSID]
//
//   [CLSID\{0687B02D-DC73-4784-8BD6-83FA5736E991}]
//   @="Thing Class"
//   "AppID"="{645A3A6E-6D8A-4536-B888-4332E0832966}"
//
// The first line names the format and its version. Each key has a section
// headed by its full path, in tree order; its values follow, `@` naming the
// default value. Values of the root, if any, stand before the first section.
// Quoted text escapes \\, \", \n, \r, \t and writes other control characters
// and lone surrogates as \uXXXX, so every value comes back exactly. Blank
// lines and blanks around a line are ignored.
#pragma once

#include <string>
#include <string_view>

#include "registry/key_tree.h"

namespace comrt {
namespace registry {

// `root` in text form (UTF-8). Throws std::bad_alloc only.
std::string FormatStore(const RegKey& root);

// Replaces `*root` with the tree that `text` holds; false, leaving `*root`
// unspecified, when anything in it does not parse (ill-formed UTF-8, an
// unknown first line, a bad escape or name, a key or value given twice).
// Throws std::bad_alloc only.
bool ParseStore(std::string_view text, RegKey* root);

}  // namespace registry
}  // namespace comrt
