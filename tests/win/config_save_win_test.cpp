// Saving over a configuration file that another program holds open without
// sharing deletion: the replacement fails and the file keeps its content.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/config_store.h"
#include "core/win_handle.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

TEST(ConfigFileWin, SaveOverALockedFileKeepsIt) {
  testing::ScratchDir dir("locked");
  dir.Write("nimbard-demo.json", "old content");
  RecordConfig r;
  r.apiKey = L"k", r.domain = L"example.com", r.record = L"www";
  {
    UniqueFile holder(::CreateFileW(dir.File("nimbard-demo.json").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_FALSE(SaveRecords({r}));
  }
  EXPECT_EQ(dir.ReadBytes("nimbard-demo.json"), "old content");
  EXPECT_EQ(dir.Listing(), "nimbard-demo.json");  // no temporary file left behind
  EXPECT_TRUE(SaveRecords({r}));                  // and the next save goes through
  EXPECT_NE(dir.ReadBytes("nimbard-demo.json"), "old content");
}

}  // namespace
}  // namespace nimbard
