// The filter's rules and the reading of the XML configuration: which
// factory and which filter entries a file yields. (Where the module logger
// looks for the file is tried by the host program's tests.)
#include <gtest/gtest.h>

#include "comrt/com_ptr.h"
#include "comrt/error_info.h"
#include "comrt/result_codes.h"
#include "log/log_sys_info.h"
#include "log/log_sys_info_xml.h"
#include "log/output_factories.h"
#include "log/log_test_support.h"

namespace {

using opLogSys::CLogSysInfo;
using opLogSys::CLogSysInfoFromXML;
using opLogSys::IOutputLogSystemFactory;
using opLogSys::ILogFilter;
using opLogSys::Common::CRefPtr;
using varnel_test::TemporaryFolder;
using varnel_test::Wide;

using Filter = CLogSysInfo::COutputLogState;

// Levels 0..4 that `filter` lets through for `subject`, as "01234" digits.
std::string Passing(ILogFilter* filter, const char16_t* subject = u"Default") {
  std::string levels;
  for (int level = 0; level <= 4; ++level) {
    if (filter->IsFiltered(subject, level) == 0) levels += static_cast<char>('0' + level);
  }
  return levels;
}

TEST(LogFilterTest, SubjectsCompareExactlyAndRangesInclusively) {
  auto filter = CRefPtr<Filter>::Adopt(new Filter);
  EXPECT_EQ(E_FAIL, filter->IsEmpty());
  EXPECT_EQ("", Passing(filter.Get()));
  filter->Add(u"default", 0, 4);
  EXPECT_EQ(0, filter->IsEmpty());
  filter->Add(u"Other", 1, 1);
  EXPECT_EQ("", Passing(filter.Get()));
  EXPECT_EQ("01234", Passing(filter.Get(), u"default"));
  EXPECT_EQ(E_FAIL, filter->IsFiltered(nullptr, 1));
  EXPECT_EQ(E_FAIL, filter->IsFiltered(u"Other", 5));
}

TEST(LogFilterTest, RangesThatHoldNothingOrOneLevel) {
  auto backwards = CRefPtr<Filter>::Adopt(new Filter);
  backwards->Add(u"Default", 3, 1);
  EXPECT_EQ("", Passing(backwards.Get()));
  auto errorsOnly = CRefPtr<Filter>::Adopt(new Filter);
  errorsOnly->Add(u"Default", 1, 1);
  EXPECT_EQ("1", Passing(errorsOnly.Get()));
}

TEST(LogFilterTest, SecondEntryCoveringTheFirstsMaximumOverwritesIt) {
  auto filter = CRefPtr<Filter>::Adopt(new Filter);
  filter->Add(u"Default", 0, 4);
  filter->Add(u"Default", 2, 3);  // 3 lies in 0..4
  EXPECT_EQ("23", Passing(filter.Get()));

  auto disjoint = CRefPtr<Filter>::Adopt(new Filter);
  disjoint->Add(u"Default", 0, 1);
  disjoint->Add(u"Default", 3, 4);  // 4 lies outside 0..1: a second entry
  EXPECT_EQ("0134", Passing(disjoint.Get()));
}

class LogConfigurationTest : public ::testing::Test {
 protected:
  // Loads `body` inside a root element from a configuration file.
  CRefPtr<CLogSysInfoFromXML> Read(const std::string& body, const std::string& root = "LOGSYS") {
    const std::string path = folder_.File("config.xml");
    varnel_test::WriteFile(path, "<?xml version=\"1.0\"?>\n<" + root + ">" + body + "</" + root + ">\n");
    return ReadFile(path);
  }
  static CRefPtr<CLogSysInfoFromXML> ReadFile(const std::string& path, HRESULT expected = S_OK) {
    auto info = CRefPtr<CLogSysInfoFromXML>::Adopt(new CLogSysInfoFromXML(Wide(path)));
    EXPECT_EQ(expected, info->Load());
    return info;
  }
  static CRefPtr<IOutputLogSystemFactory> FactoryOf(CLogSysInfoFromXML* info) {
    return CRefPtr<IOutputLogSystemFactory>::Adopt(info->GetFactory());
  }
  static std::string PassingOf(CLogSysInfoFromXML* info) {
    auto filter = CRefPtr<ILogFilter>::Adopt(info->GetFilter());
    return Passing(filter.Get());
  }
  template <class Factory>
  static Factory* As(const CRefPtr<IOutputLogSystemFactory>& factory) {
    return dynamic_cast<Factory*>(factory.Get());
  }

  TemporaryFolder folder_;
};

constexpr char kFactory[] = "<FACTORY name=\"IOutputLogSystemFactory\" class=\"opLogSys::";

TEST_F(LogConfigurationTest, FactoryClassNamesMakeTheirFactories) {
  auto file = Read(std::string(kFactory) + "File::COutputLogSystemFactory\" autoflush=\"true\" location=\"./logs\"/>");
  auto* made = As<opLogSys::File::COutputLogSystemFactory>(FactoryOf(file.Get()));
  ASSERT_NE(nullptr, made);
  EXPECT_TRUE(made->Autoflush());
  EXPECT_EQ(u"./logs", made->Location());

  auto ods = Read(std::string(kFactory) + "Ods::COutputLogSystemFactory\"/>");
  EXPECT_NE(nullptr, As<opLogSys::Ods::COutputLogSystemFactory>(FactoryOf(ods.Get())));
  auto null = Read(std::string(kFactory) + "Null::COutputLogSystemFactory\"/>");
  EXPECT_NE(nullptr, As<opLogSys::Null::COutputLogSystemFactory>(FactoryOf(null.Get())));
}

TEST_F(LogConfigurationTest, OtherNamesClassesAndMissingAttributesMakeNullOrDefaults) {
  for (const std::string& element :
       {std::string("<FACTORY name=\"ILog\" class=\"opLogSys::File::COutputLogSystemFactory\"/>"),
        std::string(kFactory) + "file::COutputLogSystemFactory\"/>",
        std::string("<FACTORY class=\"opLogSys::File::COutputLogSystemFactory\"/>"),
        std::string("<FACTORY name=\"IOutputLogSystemFactory\"/>")}) {
    auto info = Read(element);
    EXPECT_NE(nullptr, As<opLogSys::Null::COutputLogSystemFactory>(FactoryOf(info.Get()))) << element;
  }
  // Only "true" exactly turns autoflush on; a missing location is empty.
  auto file = Read(std::string(kFactory) + "File::COutputLogSystemFactory\" autoflush=\"TRUE\"/>");
  auto* made = As<opLogSys::File::COutputLogSystemFactory>(FactoryOf(file.Get()));
  ASSERT_NE(nullptr, made);
  EXPECT_FALSE(made->Autoflush());
  EXPECT_EQ(u"", made->Location());
}

TEST_F(LogConfigurationTest, LastFactoryWins) {
  auto info = Read(std::string(kFactory) + "Ods::COutputLogSystemFactory\"/>" + kFactory +
                   "File::COutputLogSystemFactory\"/><FILTERLIST/>");
  EXPECT_NE(nullptr, As<opLogSys::File::COutputLogSystemFactory>(FactoryOf(info.Get())));
  auto backToNull = Read(std::string(kFactory) + "Ods::COutputLogSystemFactory\"/><FACTORY name=\"x\"/>");
  EXPECT_NE(nullptr, As<opLogSys::Null::COutputLogSystemFactory>(FactoryOf(backToNull.Get())));
}

TEST_F(LogConfigurationTest, OnlyFilterChildrenOfFilterListsAreRead) {
  auto info = Read(
      "<FILTER subject=\"Default\" minLevel=\"0\" maxLevel=\"0\"/>"  // not inside a list
      "<!-- a comment -->text"
      "<filterlist><FILTER subject=\"Default\" minLevel=\"2\" maxLevel=\"2\"/></filterlist>"
      "<FILTERLIST>between<OTHER subject=\"Default\" minLevel=\"3\" maxLevel=\"3\"/><!-- x -->"
      "<FILTER subject=\"Default\" minLevel=\"1\" maxLevel=\"1\"><FILTER subject=\"Default\" minLevel=\"4\" "
      "maxLevel=\"4\"/></FILTER></FILTERLIST>",
      "anyNameAtAll");
  EXPECT_EQ("1", PassingOf(info.Get()));
  EXPECT_NE(nullptr, As<opLogSys::Null::COutputLogSystemFactory>(FactoryOf(info.Get())));
}

TEST_F(LogConfigurationTest, LevelsThatAreNotNumbersReadAsZero) {
  auto info = Read("<FILTERLIST><FILTER subject=\"Default\" minLevel=\"low\" maxLevel=\" +2x\"/></FILTERLIST>");
  EXPECT_EQ("012", PassingOf(info.Get()));
  auto missing = Read("<FILTERLIST><FILTER subject=\"Default\"/></FILTERLIST>");
  EXPECT_EQ("0", PassingOf(missing.Get()));
  EXPECT_EQ(-12, opLogSys::ParseLevel(u"\t-12abc"));
  EXPECT_EQ(0x7FFFFFFF, opLogSys::ParseLevel(u"99999999999999999999"));
}

TEST_F(LogConfigurationTest, FileThatDoesNotParseLeavesTheDefaultsAndTheThreadsErrorInfo) {
  CComPtr<ICreateErrorInfo> created;
  ASSERT_EQ(S_OK, CreateErrorInfo(&created));
  created->SetSource(const_cast<LPOLESTR>(u"caller"));
  CComPtr<IErrorInfo> callers;
  created.QueryInterface(&callers);
  SetErrorInfo(0, callers);

  const std::string broken = folder_.File("broken.xml");
  varnel_test::WriteFile(broken, std::string("<LOGSYS>") + kFactory +
                                     "Ods::COutputLogSystemFactory\"/><FILTERLIST><FILTER subject=\"Default\" "
                                     "minLevel=\"0\" maxLevel=\"4\"/></FILTERLIST>");  // never closed
  auto info = ReadFile(broken, S_FALSE);
  EXPECT_NE(nullptr, As<opLogSys::Null::COutputLogSystemFactory>(FactoryOf(info.Get())));
  EXPECT_EQ("", PassingOf(info.Get()));

  const std::string withDtd = folder_.File("dtd.xml");
  varnel_test::WriteFile(withDtd, "<!DOCTYPE LOGSYS [<!ENTITY e \"x\">]><LOGSYS><FILTERLIST><FILTER "
                                  "subject=\"Default\" minLevel=\"0\" maxLevel=\"4\"/></FILTERLIST></LOGSYS>");
  EXPECT_EQ("", PassingOf(ReadFile(withDtd, S_FALSE).Get()));
  EXPECT_EQ("", PassingOf(ReadFile(folder_.File("missing.xml"), S_FALSE).Get()));

  CComPtr<IErrorInfo> after;
  GetErrorInfo(0, &after);
  EXPECT_EQ(callers.p, after.p);
}

}  // namespace
