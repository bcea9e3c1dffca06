// "Calibr.inf": defaults, the 728-byte layout, Windows text-mode files, short files, checking.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analyzer/calibration.h"
#include "analyzer/initstruct.h"

namespace {

namespace fsys = std::filesystem;

const double kMvpc = 20000.0 / 16777215.0;

class CalibrFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fsys::temp_directory_path() / ("calibr_test_" + std::to_string(::getpid()));
    fsys::create_directories(dir_);
    path_ = (dir_ / "Calibr.inf").string();
    hs.mvpc = kMvpc;
    std::memset(&cch, 0, sizeof cch);
  }
  void TearDown() override { fsys::remove_all(dir_); }

  void WriteBytes(const std::vector<unsigned char>& bytes) {
    std::ofstream f(path_, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<unsigned char> ReadBytes() {
    std::ifstream f(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }

  fsys::path dir_;
  std::string path_;
};

// A 728-byte image built by hand from the layout: ten blocks of eight little-endian doubles,
// eight 7-byte unit slots, eight little-endian ints.
struct Image {
  std::vector<unsigned char> b = std::vector<unsigned char>(728, 0);
  void Double(int block, int input, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int k = 0; k < 8; ++k)
      b[block * 64 + input * 8 + k] = static_cast<unsigned char>(bits >> (8 * k));
  }
  void Unit(int input, std::initializer_list<unsigned char> cp1251) {
    int k = 0;
    for (unsigned char c : cp1251) b[640 + input * 7 + k++] = c;
  }
  void Mode(int input, std::int32_t m) {
    for (int k = 0; k < 4; ++k)
      b[696 + input * 4 + k] = static_cast<unsigned char>(static_cast<std::uint32_t>(m) >> (8 * k));
  }
  // A valid entry for every input: sen 100·(i+1), gain 2, lo 2e-5 "Па", mode 1.
  Image() {
    for (int i = 0; i < 8; ++i) {
      Double(0, i, 100.0 * (i + 1));
      Double(2, i, 2.0);
      Double(4, i, 8388607.0);
      Double(7, i, 2e-05);
      Unit(i, {0xCF, 0xE0});  // "Па"
      Mode(i, 1);
    }
  }
};

enum Block { kSen = 0, kUpc, kGain, kUpcdb, kFsc, kRes1, kRes2, kLo, kLodb, kReldb };

TEST_F(CalibrFile, MissingFileGivesDefaultsForEveryInput) {
  for (int i = 0; i < 8; ++i) hs.inmode[i] = 3;
  EXPECT_EQ(GetParamCalibrFrom(path_.c_str()), 0);
  for (int i = 0; i < 8; ++i) {
    EXPECT_DOUBLE_EQ(cch.sen[i], 1000.0);
    EXPECT_DOUBLE_EQ(cch.gain[i], 1.0);
    EXPECT_DOUBLE_EQ(cch.lo[i], 1e-05);
    EXPECT_NEAR(cch.lodb[i], -100.0, 1e-9);
    EXPECT_STREQ(cch.dim[i], "В");
    EXPECT_EQ(cch.mode[i], 1);
    EXPECT_EQ(hs.inmode[i], 1);
    // 1000 mV per volt: one count is mvpc / 1000 volts, and its dB offset is relative to 1e-05 V.
    EXPECT_NEAR(cch.upc[i], kMvpc / 1000.0, 1e-18);
    EXPECT_NEAR(cch.reldb[i], 20.0 * std::log10(kMvpc / 1000.0) + 100.0, 1e-9);
  }
  // A pipe without a writer (a plain open would wait on it for ever) or a directory under the
  // name is no calibration file either.
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_EQ(GetParamCalibrFrom(path_.c_str()), 0);
  std::filesystem::remove(path_);
  std::filesystem::create_directory(path_);
  EXPECT_EQ(GetParamCalibrFrom(path_.c_str()), 0);
  std::filesystem::remove(path_);
}

TEST_F(CalibrFile, HandBuiltImageIsReadFieldByField) {
  Image img;
  img.Unit(3, {0xEC, 0x2F, 0xF1, 0x5E, 0x32});  // "м/с^2"
  img.Double(kLo, 3, 1e-06);
  img.Mode(5, 3);
  img.Double(kRes1, 6, 42.0);
  WriteBytes(img.b);
  EXPECT_EQ(GetParamCalibrFrom(path_.c_str()), 1);
  EXPECT_DOUBLE_EQ(cch.sen[4], 500.0);
  EXPECT_DOUBLE_EQ(cch.gain[0], 2.0);
  EXPECT_STREQ(cch.dim[0], "Па");
  EXPECT_STREQ(cch.dim[3], "м/с^2");
  EXPECT_DOUBLE_EQ(cch.lo[3], 1e-06);
  EXPECT_EQ(cch.mode[5], 3);
  EXPECT_DOUBLE_EQ(cch.reserved1[6], 42.0);
  // Derived fields follow the primary ones whatever the file held (it held zeros).
  EXPECT_NEAR(cch.upc[1], kMvpc / 200.0 / 2.0, 1e-18);
  EXPECT_NEAR(cch.lodb[1], 20.0 * std::log10(2e-05), 1e-9);
  EXPECT_NEAR(cch.reldb[1], 20.0 * std::log10(kMvpc / 400.0) - 20.0 * std::log10(2e-05), 1e-9);
}

TEST_F(CalibrFile, RoundTripWritesExactLayout) {
  GetParamCalibrFrom(path_.c_str());  // defaults
  cch.sen[2] = 12.5;
  std::snprintf(cch.dim[2], kDimTextLen, "%s", "Вел.");
  cch.lo[2] = 1.0;
  cch.mode[7] = 0;
  CalibrDerive(2);
  const CalibrRecord saved = cch;
  ASSERT_EQ(SaveParamCalibrTo(path_.c_str()), 1);
  EXPECT_FALSE(fsys::exists(path_ + ".tmp"));
  std::vector<unsigned char> bytes = ReadBytes();
  ASSERT_EQ(bytes.size(), 728u);
  // "Вел." in Windows-1251, zero-terminated within its 7-byte slot; "В" is 0xC2.
  const unsigned char vel[] = {0xC2, 0xE5, 0xEB, 0x2E, 0x00};
  EXPECT_EQ(std::memcmp(&bytes[640 + 2 * 7], vel, sizeof vel), 0);
  EXPECT_EQ(bytes[640], 0xC2);
  EXPECT_EQ(bytes[641], 0x00);
  double sen2;
  std::memcpy(&sen2, &bytes[2 * 8], 8);  // the test host is little-endian like the file
  EXPECT_EQ(sen2, 12.5);
  EXPECT_EQ(bytes[696 + 7 * 4], 0);
  EXPECT_EQ(bytes[696 + 6 * 4], 1);

  std::memset(&cch, 0, sizeof cch);
  ASSERT_EQ(GetParamCalibrFrom(path_.c_str()), 1);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(cch.sen[i], saved.sen[i]);
    EXPECT_EQ(cch.lo[i], saved.lo[i]);
    EXPECT_EQ(cch.upc[i], saved.upc[i]);
    EXPECT_EQ(cch.mode[i], saved.mode[i]);
    EXPECT_STREQ(cch.dim[i], saved.dim[i]);
  }
}

TEST_F(CalibrFile, WindowsTextModeFileReadsBack) {
  Image img;
  // Values whose bytes hold 0x0A (and a 0x0D 0x0A pair) as the Windows program stored them.
  double tricky;
  const unsigned char raw[8] = {0x0A, 0x0D, 0x0A, 0x0A, 0x00, 0x00, 0x59, 0x40};  // ≈ 100.0
  std::memcpy(&tricky, raw, 8);
  img.Double(kSen, 6, tricky);
  std::vector<unsigned char> text;
  for (unsigned char c : img.b) {
    if (c == 0x0A) text.push_back(0x0D);
    text.push_back(c);
  }
  ASSERT_GT(text.size(), 728u);
  WriteBytes(text);
  ASSERT_EQ(GetParamCalibrFrom(path_.c_str()), 1);
  EXPECT_EQ(cch.sen[6], tricky);
  EXPECT_DOUBLE_EQ(cch.sen[5], 600.0);
  EXPECT_STREQ(cch.dim[7], "Па");
  EXPECT_EQ(cch.mode[7], 1);
}

TEST_F(CalibrFile, ExactSizeFileIsTakenByteForByte) {
  Image img;
  double v;
  const unsigned char raw[8] = {0x0D, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x59, 0x40};
  std::memcpy(&v, raw, 8);
  img.Double(kSen, 1, v);
  WriteBytes(img.b);
  ASSERT_EQ(GetParamCalibrFrom(path_.c_str()), 1);
  EXPECT_EQ(cch.sen[1], v);
  EXPECT_DOUBLE_EQ(cch.sen[2], 300.0);
}

TEST_F(CalibrFile, ShortFileLeavesTheRestAsItWas) {
  GetParamCalibrFrom((path_ + ".none").c_str());  // defaults everywhere
  cch.lo[4] = 2e-05;
  std::snprintf(cch.dim[4], kDimTextLen, "%s", "Па");
  Image img;
  img.b.resize(64);  // the sensitivities only
  WriteBytes(img.b);
  ASSERT_EQ(GetParamCalibrFrom(path_.c_str()), 1);
  EXPECT_DOUBLE_EQ(cch.sen[3], 400.0);
  EXPECT_DOUBLE_EQ(cch.gain[3], 1.0);
  EXPECT_DOUBLE_EQ(cch.lo[4], 2e-05);
  EXPECT_STREQ(cch.dim[4], "Па");
  EXPECT_STREQ(cch.dim[0], "В");
  EXPECT_NEAR(cch.upc[3], kMvpc / 400.0, 1e-18);
}

TEST_F(CalibrFile, BadEntriesGetDefaultsOthersKept) {
  Image img;
  img.Double(kSen, 1, std::nan(""));
  img.Double(kLo, 2, -1e-05);
  img.Unit(3, {'x', 'y', 'z'});
  img.Mode(4, 2);
  img.Double(kGain, 5, 0.0);
  img.Double(kSen, 6, INFINITY);
  img.Unit(7, {0xC2, 0xC2, 0xC2, 0xC2, 0xC2, 0xC2, 0xC2});  // no terminating zero in the slot
  for (int i = 0; i < 8; ++i) hs.inmode[i] = 3;
  WriteBytes(img.b);
  ASSERT_EQ(GetParamCalibrFrom(path_.c_str()), 1);
  EXPECT_DOUBLE_EQ(cch.sen[0], 100.0);
  EXPECT_STREQ(cch.dim[0], "Па");
  EXPECT_EQ(hs.inmode[0], 3);
  // A unit that is none of the seven (a recording's) keeps its calibration and its text.
  EXPECT_DOUBLE_EQ(cch.sen[3], 400.0);
  EXPECT_DOUBLE_EQ(cch.lo[3], 2e-05);
  EXPECT_STREQ(cch.dim[3], "xyz");
  EXPECT_DOUBLE_EQ(cch.gain[3], 2.0);
  EXPECT_NEAR(cch.upc[3], kMvpc / 400.0 / 2.0, 1e-18);
  for (int i = 1; i < 8; ++i) {
    if (i == 3) continue;
    SCOPED_TRACE(i);
    EXPECT_DOUBLE_EQ(cch.sen[i], 1000.0);
    EXPECT_DOUBLE_EQ(cch.gain[i], 1.0);
    EXPECT_DOUBLE_EQ(cch.lo[i], 1e-05);
    EXPECT_STREQ(cch.dim[i], "В");
    EXPECT_EQ(cch.mode[i], 1);
    EXPECT_EQ(hs.inmode[i], 1);
    EXPECT_TRUE(std::isfinite(cch.reldb[i]));
  }
}

TEST_F(CalibrFile, UnwritablePlaceFailsAndKeepsNothingBehind) {
  const std::string bad = (dir_ / "missing" / "Calibr.inf").string();
  EXPECT_EQ(SaveParamCalibrTo(bad.c_str()), 0);
  EXPECT_FALSE(fsys::exists(bad + ".tmp"));
}

TEST(CalibrUnits, TableAndReferenceLevels) {
  EXPECT_EQ(UnitIndex("Па"), 1);
  EXPECT_EQ(UnitIndex("В"), 6);
  EXPECT_EQ(UnitIndex("м/с"), 4);
  EXPECT_EQ(UnitIndex("Pa"), -1);
  // Choosing "Па" gives a 0 dB level of 2e-05, about −93.98 dB re 1.
  EXPECT_NEAR(20.0 * std::log10(support_unit[UnitIndex("Па")]), -93.979, 1e-3);
}

}  // namespace
