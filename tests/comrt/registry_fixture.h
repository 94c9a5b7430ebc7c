// A registry of its own for each test: COMRT_REGISTRY names a store in a
// fresh temporary folder, which goes again (with the variable's old value
// back) when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>

#include "comrt/registry.h"
#include "support/temporary_registry.h"

class RegistryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = std::make_unique<varnel_test::TemporaryRegistry>();
    folder_ = registry_->Folder();
    store_ = registry_->StorePath();
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override { registry_.reset(); }

  std::string StoreText() const { return registry_->Contents(); }

  void WriteStore(const std::string& text) const {
    std::ofstream out(store_, std::ios::binary | std::ios::trunc);
    out << text;
  }

  // Files beside the store other than the store and its lock file: a change
  // must never leave a temporary file behind.
  std::set<std::string> StrayFiles() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      if (name != "registry" && name != "registry.lock") names.insert(name);
    }
    return names;
  }

  ino_t StoreInode() const {
    struct stat info {};
    ::stat(store_.c_str(), &info);
    return info.st_ino;
  }

  std::string folder_;
  std::string store_;

 private:
  std::unique_ptr<varnel_test::TemporaryRegistry> registry_;
};

using varnel_test::KeyExists;
using varnel_test::QueryAt;
using varnel_test::QueryText;
using varnel_test::SetText;
