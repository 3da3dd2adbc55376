#include "platform/version.h"

#include <cstring>
#include <gtest/gtest.h>

#include "test_support.h"

using kv::platform::FixedVersionRecord;
using kv::platform::ReadFileVersion;
using kv::platform::VersionRead;

namespace {

std::string RecordBytes(const char *text) {
  // Built at run time so that this test program itself carries no record.
  static const volatile unsigned char kInverted[8] = {0x42, 0xFB, 0x10, 0x01, 0xB4, 0xA9, 0xB9, 0xB6};
  FixedVersionRecord r{};
  for (int i = 0; i < 8; ++i)
    r.Signature[i] = static_cast<unsigned char>(~kInverted[i]);

  for (int i = 0; i < 4; ++i)
    r.Numbers[i] = kv::platform::detail::VersionPart(text, i);
  return std::string(reinterpret_cast<const char *>(&r), sizeof r);
}

} // namespace

TEST(Version, ParsesTheVersionText) {
  static_assert(kv::platform::detail::VersionPart("2005.0.0.27", 0) == 2005);
  static_assert(kv::platform::detail::VersionPart("2005.0.0.27", 3) == 27);
  static_assert(kv::platform::detail::VersionPart("1.2", 3) == 0);
  EXPECT_EQ(sizeof(FixedVersionRecord), 16u);
}

TEST(Version, FindsTheRecordAnywhereInAFile) {
  kvtest::TempDir dir;
  std::array<uint16_t, 4> v{};
  // Across the end of the reader's first piece.
  std::string big(kv::platform::kVersionScanChunk - 5, 'x');
  kvtest::WriteFile(dir.file("prog"), big + RecordBytes("2005.0.0.27") + "tail");
  ASSERT_EQ(ReadFileVersion(dir.file("prog"), v), VersionRead::Found);
  EXPECT_EQ(v, (std::array<uint16_t, 4>{2005, 0, 0, 27}));

  kvtest::WriteFile(dir.file("short"), RecordBytes("1.2.3.4"));
  ASSERT_EQ(ReadFileVersion(dir.file("short"), v), VersionRead::Found);
  EXPECT_EQ(v, (std::array<uint16_t, 4>{1, 2, 3, 4}));
}

TEST(Version, AFileWithoutRecordAndAMissingFile) {
  kvtest::TempDir dir;
  std::array<uint16_t, 4> v{};
  kvtest::WriteFile(dir.file("plain"), std::string(3000, '\xBD'));
  EXPECT_EQ(ReadFileVersion(dir.file("plain"), v), VersionRead::NoRecord);
  // A record cut short at the end of the file is no record.
  kvtest::WriteFile(dir.file("cut"), RecordBytes("1.2.3.4").substr(0, 12));
  EXPECT_EQ(ReadFileVersion(dir.file("cut"), v), VersionRead::NoRecord);
  EXPECT_EQ(ReadFileVersion(dir.file("missing"), v), VersionRead::Failed);
  EXPECT_EQ(ReadFileVersion("/dev/zero", v), VersionRead::Failed); // no program file, and endless
  EXPECT_EQ(ReadFileVersion(dir.path(), v), VersionRead::Failed);
  // This test program carries no record, and its reader does not find its own pattern.
  EXPECT_EQ(ReadFileVersion("/proc/self/exe", v), VersionRead::NoRecord);
}
