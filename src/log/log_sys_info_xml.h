// A configuration read from an XML file: a FACTORY element names where the
// records go, FILTERLIST/FILTER elements which subjects and levels are
// written. Until Load reads the file, and whenever it cannot, the defaults of
// CLogSysInfo stay (Null factory, empty filter).
//
//   <anyRoot>
//     <FACTORY name="IOutputLogSystemFactory" class="opLogSys::File::COutputLogSystemFactory"
//              autoflush="true" location="./logs"/>
//     <FILTERLIST><FILTER subject="Default" minLevel="0" maxLevel="4"/></FILTERLIST>
//   </anyRoot>
#pragma once

#include <string>

#include "comrt/xml_dom.h"
#include "log/log_sys_info.h"

namespace opLogSys {

class CLogSysInfoFromXML final : public Common::CReference<ILogSysInfo> {
 public:
  // Holds `path` and the defaults; nothing is read yet.
  explicit CLogSysInfoFromXML(std::u16string path);

  IOutputLogSystemFactory* GetFactory() override;
  ILogFilter* GetFilter() override;

  // Reads the attributes "name", "class", "autoflush" and "location" of
  // `node` and replaces the factory: the named class when "name" is
  // "IOutputLogSystemFactory" and "class" one of the three, else a Null
  // factory. S_OK; E_OUTOFMEMORY when no factory could be made.
  virtual HRESULT ReadFactory(IXMLDOMNode* node);
  // Adds the filter entry of a "FILTER" node ("subject", "minLevel",
  // "maxLevel"; levels that are not numbers read as 0); S_FALSE for any
  // other node.
  virtual HRESULT ReadFilter(IXMLDOMNode* node);
  // ReadFilter for every child of `node`.
  virtual HRESULT ReadFilterList(IXMLDOMNode* node);
  // "FACTORY" to ReadFactory, "FILTERLIST" to ReadFilterList; S_FALSE for
  // anything else (other elements, text, comments), which is passed over.
  virtual HRESULT ReadElement(IXMLDOMNode* node);
  // Loads the file completely, then reads each child of its root element in
  // document order. S_FALSE when the path is empty, the file is missing or
  // does not load; the failure of the XML document's creation.
  virtual HRESULT Load();

 private:
  std::u16string path_;
  Common::CRefPtr<CLogSysInfo> info_;
};

// A level as the configuration writes it: leading blanks, a sign and decimal
// digits up to the first other character; anything else reads as 0.
LONG ParseLevel(const std::u16string& text);

}  // namespace opLogSys
