// Per-log files: their timestamped and numbered names, the folder a location
// text names, and the text each write leaves in the file.
#include <gtest/gtest.h>

#include <regex>

#include "comrt/text_conversion.h"
#include "log/file_io.h"
#include "log/log_location.h"
#include "log/log_test_support.h"

namespace {

using opLogSys::ResolveLogFolder;
using opLogSys::Common::CRefPtr;
using opLogSys::File::CFileIO;
using varnel_test::ReadFile;
using varnel_test::TemporaryFolder;
using varnel_test::Wide;
using varnel_test::WriteFile;

std::string Narrow(const std::u16string& text) { return comrt::ToUtf8(text); }

class FileIOTest : public ::testing::Test {
 protected:
  CRefPtr<CFileIO> Make(const std::u16string& location, bool autoflush = false) {
    return CRefPtr<CFileIO>::Adopt(new CFileIO(u"halden.debug", autoflush, location, executable_.Folder()));
  }
  // The file name that `output` would take for the number `n`.
  static std::string Numbered(CFileIO& output, int n) {
    std::string path = Narrow(output.Path());
    char suffix[16];  // room for any int, which the compiler cannot rule out
    std::snprintf(suffix, sizeof suffix, "[%02d]", n);
    return path.insert(path.size() - 4, suffix);
  }

  TemporaryFolder executable_;  // stands for the host program's folder
  TemporaryFolder other_;
};

TEST_F(FileIOTest, NameCarriesTheLogNameAndTimeAndTheFileComesWithTheFirstWrite) {
  auto output = Make(other_.Folder());
  const std::string path = Narrow(output->Path());
  const std::regex name(R"(halden\.debug-\d{4}-\d{2}-\d{2} \[\d{2}-\d{2}-\d{2}\]\.log)");
  EXPECT_EQ(other_.path().string() + "/", path.substr(0, other_.path().string().size() + 1));
  EXPECT_TRUE(std::regex_match(path.substr(other_.path().string().size() + 1), name)) << path;
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(7, output->Write(u"a\u00e9b\u20ac"));
  EXPECT_EQ("a\xC3\xA9" "b\xE2\x82\xAC", ReadFile(path));
}

TEST_F(FileIOTest, WriteLineWritesUtf16WithoutByteOrderMark) {
  auto output = Make(other_.Folder());
  EXPECT_EQ(4, output->WriteLine(u"A\u00e9"));
  EXPECT_EQ(std::string("A\0\xE9\0\r\0\n\0", 8), ReadFile(Narrow(output->Path())));
}

TEST_F(FileIOTest, ExistingNameTakesTheFirstFreeNumber) {
  auto output = Make(other_.Folder());
  const std::string taken = Narrow(output->Path());
  const std::string first = Numbered(*output, 1);
  WriteFile(taken, "someone else's");
  output->Write(u"mine");
  EXPECT_EQ(first, Narrow(output->Path()));
  EXPECT_EQ("mine", ReadFile(Narrow(output->Path())));
  EXPECT_EQ("someone else's", ReadFile(taken));
}

TEST_F(FileIOTest, WhenEveryNumberIsTakenTheLastIsAppendedTo) {
  auto output = Make(other_.Folder());
  WriteFile(Narrow(output->Path()), "base");
  for (int n = 1; n <= 99; ++n) WriteFile(Numbered(*output, n), "old;");
  const std::string last = Numbered(*output, 99);
  output->Write(u"new");
  EXPECT_EQ(last, Narrow(output->Path()));
  EXPECT_EQ("old;new", ReadFile(Narrow(output->Path())));
}

TEST_F(FileIOTest, FileThatCannotBeOpenedFailsAndIsTriedAgain) {
  const std::string folder = other_.File("gone");
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  auto output = Make(Wide(folder));
  std::filesystem::remove(folder);
  EXPECT_EQ(-1, output->Write(u"lost"));
  EXPECT_EQ(-1, output->WriteLine(u"lost"));
  std::filesystem::create_directory(folder);
  EXPECT_EQ(5, output->Write(u"found"));
  EXPECT_EQ("found", ReadFile(Narrow(output->Path())));
}

class LogLocationTest : public FileIOTest {};

TEST_F(LogLocationTest, DotLocationIsMadeBesideTheExecutable) {
  const std::u16string folder = ResolveLogFolder(u"./logs/today", executable_.Folder());
  EXPECT_EQ(executable_.Folder() + u"logs/today/", folder);
  EXPECT_TRUE(std::filesystem::is_directory(executable_.File("logs/today")));

  auto output = Make(u"./logs");
  output->Write(u"x");
  EXPECT_EQ(executable_.Folder() + u"logs/", output->Path().substr(0, executable_.Folder().size() + 5));
}

TEST_F(LogLocationTest, CurrentAndEmptyMeanTheExecutablesFolder) {
  EXPECT_EQ(executable_.Folder(), ResolveLogFolder(u"", executable_.Folder()));
  EXPECT_EQ(executable_.Folder(), ResolveLogFolder(u"current", executable_.Folder()));
  // Exact comparison: this is a relative path that does not exist.
  EXPECT_EQ(executable_.Folder(), ResolveLogFolder(u"Current", executable_.Folder()));
}

TEST_F(LogLocationTest, ExistingFolderOrFileNamesItsFolder) {
  const std::u16string folder = Wide(other_.path().string());
  EXPECT_EQ(folder + u"/", ResolveLogFolder(folder, executable_.Folder()));
  EXPECT_EQ(folder + u"/", ResolveLogFolder(folder + u"/", executable_.Folder()));
  WriteFile(other_.File("some.file"), "");
  EXPECT_EQ(folder + u"/", ResolveLogFolder(folder + u"/some.file", executable_.Folder()));
}

TEST_F(LogLocationTest, WhatNamesNoUsableFolderFallsBackToTheExecutablesFolder) {
  EXPECT_EQ(executable_.Folder(), ResolveLogFolder(Wide(other_.File("missing/folder")), executable_.Folder()));
  // A file in the way of a folder to be made.
  WriteFile(executable_.File("blocker"), "");
  EXPECT_EQ(executable_.Folder(), ResolveLogFolder(u"./blocker/logs", executable_.Folder()));
  // Only 259 characters are taken: the rest of a long path is cut away.
  const std::u16string longPath = Wide(other_.path().string()) + u"/" + std::u16string(300, u'x');
  EXPECT_EQ(executable_.Folder(), ResolveLogFolder(longPath, executable_.Folder()));
}

}  // namespace
