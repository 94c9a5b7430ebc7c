// The registrar: runs a component's registration script against the
// registry's classes root, with replacements.
//
// Script syntax (one or more roots; names and values may be bare words or
// quoted with '...', a quote inside written twice):
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {0687B02D-DC73-4784-8BD6-83FA5736E991} = s 'Thing Class'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Both'
//         }
//       }
//     }
//   }
//
// A key line is `[ForceRemove|NoRemove|Delete] name [= s 'default'] [{ ... }]`;
// a value line is `val name = s 'text'`. The root is HKCR or
// HKEY_CLASSES_ROOT. Only string values (type `s`) exist. `%NAME%` in a name
// or value is replaced by the text added for NAME; `%%` is one "%".
//
// Registering creates every key (ForceRemove: deletes the existing key with
// its tree first; Delete: deletes the key and creates nothing) and sets its
// values. Unregistering deletes every key with its tree, except those marked
// NoRemove, which are kept while their own script content is unregistered;
// keys and values that are missing already are no failure.
//
// A script is parsed whole before the registry is touched: a syntax error, an
// unknown replacement or another root changes nothing and gives
// DISP_E_EXCEPTION. The run is then one change to the store: a registry
// failure (a store that is corrupt, unreadable or read-only) leaves it as it
// was and gives HRESULT_FROM_WIN32 of the registry's code.
#pragma once

#include <map>
#include <string>

#include "comrt/result_codes.h"
#include "comrt/types.h"

namespace comrt {

class COMRT_API CRegObject {
 public:
  // Adds (or replaces) the text for %key%. E_INVALIDARG for a null or empty
  // key or a null item.
  HRESULT AddReplacement(LPCOLESTR key, LPCOLESTR item);
  HRESULT ClearReplacements();

  // Registers or unregisters `script`. E_INVALIDARG for a null script.
  HRESULT StringRegister(LPCOLESTR script);
  HRESULT StringUnregister(LPCOLESTR script);

 private:
  std::map<std::u16string, std::u16string> replacements_;
};

}  // namespace comrt
