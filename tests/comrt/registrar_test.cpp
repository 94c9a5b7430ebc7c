#include "comrt/registrar.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "comrt/registry.h"
#include "comrt/result_codes.h"
#include "registry_fixture.h"

namespace {

using RegistrarTest = RegistryFixture;

constexpr char16_t kThingScript[] = uR"(
HKCR
{
  Thing.Class.1 = s 'Thing Class'
  {
    CLSID = s '{0687B02D-DC73-4784-8BD6-83FA5736E991}'
  }
  NoRemove CLSID
  {
    ForceRemove {0687B02D-DC73-4784-8BD6-83FA5736E991} = s 'Thing Class'
    {
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Both'
      }
    }
  }
  NoRemove AppID
  {
    val Shared = s 'ours'
  }
}
)";

constexpr char16_t kThingKey[] = u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}";
constexpr char16_t kThingServer[] = u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}\\InprocServer32";

void MakeKey(const char16_t* path, const char16_t* name = nullptr, const std::u16string& text = u"") {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
  if (name) {
    EXPECT_EQ(SetText(key, name, text), ERROR_SUCCESS);
  }
  RegCloseKey(key);
}

comrt::CRegObject WithModule(const char16_t* path) {
  comrt::CRegObject registrar;
  EXPECT_EQ(registrar.AddReplacement(u"MODULE", path), S_OK);
  return registrar;
}

TEST_F(RegistrarTest, UnregisterTakesOnlyWhatTheScriptOwns) {
  MakeKey(u"CLSID\\{11111111-2222-3333-4444-555555555555}", u"", u"Neighbour");
  MakeKey(u"AppID", u"Other", u"theirs");

  comrt::CRegObject registrar = WithModule(u"/opt/thing/libthing.so");
  ASSERT_EQ(registrar.StringRegister(kThingScript), S_OK);
  EXPECT_EQ(QueryAt(kThingKey, u""), u"Thing Class");
  EXPECT_EQ(QueryAt(kThingServer, u""), u"/opt/thing/libthing.so");
  EXPECT_EQ(QueryAt(kThingServer, u"ThreadingModel"), u"Both");
  EXPECT_EQ(QueryAt(u"Thing.Class.1\\CLSID", u""), u"{0687B02D-DC73-4784-8BD6-83FA5736E991}");
  EXPECT_EQ(QueryAt(u"AppID", u"Shared"), u"ours");

  ASSERT_EQ(registrar.StringUnregister(kThingScript), S_OK);
  EXPECT_FALSE(KeyExists(kThingKey));
  EXPECT_FALSE(KeyExists(u"Thing.Class.1"));
  EXPECT_EQ(QueryAt(u"CLSID\\{11111111-2222-3333-4444-555555555555}", u""), u"Neighbour");
  EXPECT_EQ(QueryAt(u"AppID", u"Shared"), u"<code 2>");
  EXPECT_EQ(QueryAt(u"AppID", u"Other"), u"theirs");

  // Again, with everything already gone, and on a registry that never had it.
  EXPECT_EQ(registrar.StringUnregister(kThingScript), S_OK);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(registrar.StringUnregister(kThingScript), S_OK);
  EXPECT_FALSE(KeyExists(u"CLSID"));  // a missing NoRemove key is not made
}

TEST_F(RegistrarTest, ForceRemoveDropsStaleSubkeysAndPlainKeysKeepThem) {
  MakeKey(u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}\\Stale", u"", u"old");
  MakeKey(u"Thing.Class.1\\Stale");
  ASSERT_EQ(WithModule(u"/lib/x.so").StringRegister(kThingScript), S_OK);
  EXPECT_FALSE(KeyExists(u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}\\Stale"));
  EXPECT_TRUE(KeyExists(kThingServer));
  EXPECT_TRUE(KeyExists(u"Thing.Class.1\\Stale"));
}

TEST_F(RegistrarTest, DeleteRemovesTheKeyAndCreatesNothing) {
  MakeKey(u"Old.Name\\CLSID", u"", u"{x}");
  comrt::CRegObject registrar;
  const char16_t* script = u"HKCR { Delete Old.Name { Inner = s 'ignored' } Delete Never.Was }";
  ASSERT_EQ(registrar.StringRegister(script), S_OK);
  EXPECT_FALSE(KeyExists(u"Old.Name"));
  EXPECT_FALSE(KeyExists(u"Never.Was"));
}

TEST_F(RegistrarTest, RegisteringTwiceGivesTheSameStore) {
  comrt::CRegObject registrar = WithModule(u"/lib/x.so");
  ASSERT_EQ(registrar.StringRegister(kThingScript), S_OK);
  const std::string first = StoreText();
  struct stat before {};
  ::stat(store_.c_str(), &before);
  ASSERT_EQ(registrar.StringRegister(kThingScript), S_OK);
  EXPECT_EQ(StoreText(), first);
  EXPECT_EQ(StoreInode(), before.st_ino);  // nothing to change, nothing written
}

TEST_F(RegistrarTest, ReplacementTextGoesInUnchanged) {
  const std::u16string path = u"/tmp/it's here/{odd} = s 'x' %MODULE%/libx.so";
  comrt::CRegObject registrar = WithModule(path.c_str());
  ASSERT_EQ(registrar.AddReplacement(u"CLSID", u"{0687B02D-DC73-4784-8BD6-83FA5736E991}"), S_OK);
  ASSERT_EQ(registrar.AddReplacement(u"NAME", u"Model"), S_OK);
  const char16_t* script = uR"(HKCR { NoRemove CLSID { %CLSID% { InprocServer32 = s %MODULE% {
      val 'Threading%NAME%' = s '100%% it''s' } } } })";
  ASSERT_EQ(registrar.StringRegister(script), S_OK);
  EXPECT_EQ(QueryAt(kThingServer, u""), path);
  EXPECT_EQ(QueryAt(kThingServer, u"ThreadingModel"), u"100% it's");

  ASSERT_EQ(registrar.ClearReplacements(), S_OK);
  EXPECT_EQ(registrar.StringUnregister(script), DISP_E_EXCEPTION);
  EXPECT_TRUE(KeyExists(kThingServer));
}

TEST_F(RegistrarTest, KeywordsIgnoreCaseAndQuotedWordsAreNames) {
  comrt::CRegObject registrar;
  const char16_t* script = uR"(hkey_classes_root { noremove 'val' { 'NoRemove' = S 'a key' } }
      hkcr { forceremove Second { val 's' = s plain } })";
  ASSERT_EQ(registrar.StringRegister(script), S_OK);
  EXPECT_EQ(QueryAt(u"val\\NoRemove", u""), u"a key");
  EXPECT_EQ(QueryAt(u"Second", u"s"), u"plain");
}

TEST_F(RegistrarTest, BadScriptsChangeNothing) {
  MakeKey(u"CLSID\\{11111111-2222-3333-4444-555555555555}", u"", u"Neighbour");
  const std::string before = StoreText();
  comrt::CRegObject registrar;
  ASSERT_EQ(registrar.AddReplacement(u"MODULE", u"/lib/x.so"), S_OK);
  const char16_t* bad[] = {
      u"HKCR { Good = s 'x' Missing { }",
      u"HKCR { Good = s 'x' } }",
      u"HKCR { Good = s '%UNKNOWN%' }",
      u"HKCR { Good = s '%MODULE' }",
      u"HKLM { Software = s 'x' }",
      u"HKCR { Good = d '1' }",
      u"HKCR { Good = s 'unterminated }",
      u"HKCR { val Good = s 'no key to hold it' }",
      u"HKCR { Good { val = s 'x' } }",
      u"HKCR { '' = s 'empty name' }",
      u"HKCR { 'A\\B' = s 'a path' }",
      u"HKCR { Go'od = s 'x' }",
      u"HKCR { Good = }",
      u"HKCR { NoRemove }",
      u"HKCR { = s 'x' }",
      u"Good = s 'x'",
  };
  for (const char16_t* script : bad) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(script)));
    EXPECT_EQ(registrar.StringRegister(script), DISP_E_EXCEPTION);
    EXPECT_EQ(registrar.StringUnregister(script), DISP_E_EXCEPTION);
    EXPECT_EQ(StoreText(), before);
  }

  std::u16string deep = u"HKCR ";
  for (int i = 0; i < 600; ++i) deep += u"{ K ";
  EXPECT_EQ(registrar.StringRegister(deep.c_str()), DISP_E_EXCEPTION);
  EXPECT_EQ(StoreText(), before);

  EXPECT_EQ(registrar.StringRegister(nullptr), E_INVALIDARG);
  EXPECT_EQ(registrar.AddReplacement(nullptr, u"x"), E_INVALIDARG);
  EXPECT_EQ(registrar.AddReplacement(u"", u"x"), E_INVALIDARG);
  EXPECT_EQ(registrar.AddReplacement(u"X", nullptr), E_INVALIDARG);
  EXPECT_EQ(registrar.StringRegister(u"  "), S_OK);  // nothing to do
}

TEST_F(RegistrarTest, StoreFailureGivesItsCodeAndLeavesTheStore) {
  MakeKey(u"CLSID");
  const std::string before = StoreText();
  ASSERT_EQ(::chmod(store_.c_str(), 0444), 0);
  comrt::CRegObject registrar = WithModule(u"/lib/x.so");
  EXPECT_EQ(registrar.StringRegister(kThingScript), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_EQ(StoreText(), before);

  ASSERT_EQ(::chmod(store_.c_str(), 0644), 0);
  WriteStore("not a store");
  EXPECT_EQ(registrar.StringUnregister(kThingScript), HRESULT_FROM_WIN32(ERROR_BADDB));
  EXPECT_EQ(StoreText(), "not a store");
  EXPECT_TRUE(StrayFiles().empty());
}

}  // namespace
