// Names that the platform reads differently: separators, devices, streams.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"

namespace qev::platform {
namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

const char* const kDeviceOrStreamNames[] = {
    "CON",        "con",      "Con.txt",     "NUL.txt",  "nul.",   "nul..", "CON .txt",
    "aux ",       "PRN.a.b",  "COM1",        "Com3.log", "com9",   "LPT1",  "lpt9.txt",
    "COM0",       "LPT\xB9",  "CONIN$",      "conout$",  "C:name", "x:",    "a.txt:stream",
    "file:$DATA", "sub\\NUL", "sub/con.txt", "NUL\\x"};

const char* const kOrdinaryNames[] = {"CONSOLE", "COM10", "LPT",   "COM",  "nul_",
                                      "xcon",    "a.con", "COM1x", " CON", "NULL.txt",
                                      ".con",    "con_1", "AUX1",  "",     "com\xB4"};

TEST(PlatformNames, SeparatorsOfThePlatform) {
  EXPECT_TRUE(IsPathSeparator('/'));
  EXPECT_EQ(IsPathSeparator('\\'), kWindows);
  EXPECT_FALSE(IsPathSeparator(':'));
}

// On Windows each of these reaches a device or another file's stream; on
// POSIX all are ordinary names.
TEST(PlatformNames, DevicesAndStreamsOnlyOnWindows) {
  for (const char* name : kDeviceOrStreamNames) {
    EXPECT_EQ(IsDeviceOrStreamName(name), kWindows) << name;
  }
  for (const char* name : kOrdinaryNames) EXPECT_FALSE(IsDeviceOrStreamName(name)) << name;
}

class PlatformFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() /
           ("qev-names-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directory(dir_);
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(dir_);
  }

  std::filesystem::path dir_;
  std::filesystem::path previous_;
};

// The file layer holds disk files only: on Windows a device name can be
// neither read (the console would wait for the keyboard) nor created.
TEST_F(PlatformFiles, DeviceNamesOpenNoFileOnWindows) {
  for (const char* name : {"NUL", "con", "nul.txt", "Aux.log", "CONOUT$"}) {
    const NativeFile created = CreateNewForWrite(name);
    EXPECT_EQ(created != kInvalidFile, !kWindows) << name;
    if (created != kInvalidFile) {
      std::uint32_t done = 0;
      EXPECT_TRUE(WriteToFile(created, "x", 1, &done));
      EXPECT_TRUE(CloseFile(created));
    }
    const NativeFile read = OpenExistingForRead(name);
    EXPECT_EQ(read != kInvalidFile, !kWindows) << name;
    if (read != kInvalidFile) {
      EXPECT_EQ(GetFileSizeLow(read), 1u);
      EXPECT_TRUE(CloseFile(read));
    }
  }
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, kWindows ? 0u : 5u);
}

TEST(PlatformFormat, StoresAtMostCapacityLessOne) {
  char buffer[2048];
  EXPECT_EQ(FormatToBuffer(buffer, 6, "%3d,%03d", 12, 5), 5);
  EXPECT_STREQ(buffer, " 12,0");
  EXPECT_EQ(FormatToBuffer(buffer, 1, "%d", 7), 0);
  EXPECT_STREQ(buffer, "");
  // Windows' buffer formatter fills at most 1024 bytes.
  const std::string longText(1500, 'a');
  const int length = FormatToBuffer(buffer, sizeof buffer, "%s", longText.c_str());
  EXPECT_EQ(std::string(buffer), longText.substr(0, static_cast<std::size_t>(length)));
  if (kWindows) {
    EXPECT_GE(length, 1023);
    EXPECT_LE(length, 1024);
  } else {
    EXPECT_EQ(length, 1500);
  }
}

TEST(PlatformCompare, WholeStringsWithoutCase) {
  EXPECT_TRUE(EqualIgnoringCase("Readme.TXT", "readme.txt"));
  EXPECT_TRUE(EqualIgnoringCase("", ""));
  EXPECT_FALSE(EqualIgnoringCase("readme", "readme.txt"));
  EXPECT_FALSE(EqualIgnoringCase("a*.txt", "ab.txt"));
}

}  // namespace
}  // namespace qev::platform
