// Spectrogram pictures: a synthetic sweep lands on the rows of its frequency in
// the columns of its time, in WAV and WavPack files; the PNG decodes to the
// picture; the command line and the snapshot hook make their files; files that
// are not recordings are refused.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <tuple>
#include <vector>

#include "display/display_colours.h"
#include "display/sonogram_image.h"
#include "formats/wavpack_file.h"
#include "guano/guano_files.h"
#include "recording/recording_files.h"
#include "settings/settings.h"
#include "sono/snapshot_picture.h"
#include "sono/sono_picture.h"
#include "support/real_recordings.h"
#include "support/recorder_layouts.h"
#include "ui/toolkit/xs.h"

namespace {

constexpr double kRealRate = 250000.0;
constexpr double kSeconds = 0.5;

// The sweep's frequency at real time t: 20 kHz rising linearly to 110 kHz.
double SweepHz(double t) { return 20000.0 + 90000.0 * t / kSeconds; }

// A loud linear sweep recorded with E = 10 (header rate 25000 Hz).
template <class File>
std::string WriteSweep(const std::string& path) {
  const size_t frames = size_t(kRealRate * kSeconds);
  std::vector<uint8_t> bytes(frames * 2);
  double phase = 0.0;
  for (size_t i = 0; i < frames; ++i) {
    phase += 2.0 * M_PI * SweepHz(double(i) / kRealRate) / kRealRate;
    hv::PutLe16(&bytes[2 * i], uint16_t(int16_t(20000.0 * std::sin(phase))));
  }
  EXPECT_TRUE(hv::WriteRecording<File>(path, GuanoTestRecord(), bytes, true));
  return path;
}

// For every tenth column, the row of the loudest pixel's bin is the sweep's row.
void ExpectSweepRows(const hv::SonoPicture& p) {
  ASSERT_EQ(p.realRate, 250000u);
  EXPECT_NEAR(p.seconds, kSeconds, 1e-9);
  const int rowsPerBin = (p.plotHeight + 127) / 128;
  for (int column = 2; column < p.plotWidth - 2; column += 10) {
    int best = 0;
    for (int bin = 1; bin < 128; ++bin)
      if (p.levels[size_t(column) * 128 + bin] > p.levels[size_t(column) * 128 + best]) best = bin;
    // The peak bin's rows, against the sweep's frequency in the middle of the column.
    const double t = (column + 0.5) / p.plotWidth * kSeconds;
    const double binHz = kRealRate / 256.0;
    const int expected = hv::SonoRowForFrequency(p, SweepHz(t));
    const int found = hv::SonoRowForFrequency(p, best * binHz);
    EXPECT_LE(std::abs(found - expected), rowsPerBin + 1) << "column " << column;
    // The pixel there wears the hottest colour of the scale: red, no blue.
    const uint32_t pixel = p.pixels[size_t(p.plotTop + found) * p.width + p.plotLeft + column];
    EXPECT_GT((pixel >> 16) & 255, 128u) << "column " << column;
    EXPECT_EQ(pixel & 255, 0u) << "column " << column;
  }
}

// The unit labels stand in their corners, drawn with the toolkit's font: "kHz"
// at the top left, "ms" at the bottom right (compared with the same text drawn
// by the toolkit into a plain buffer of the picture's background).
void ExpectUnitLabels(const hv::SonoPicture& p) {
  for (auto [label, x, y] : {std::tuple{"kHz", 4, 3}, {"ms", -1, p.plotTop + p.plotHeight + 14}}) {
    int w = 0, h = 0;
    XsTextExtent(label, &w, &h);
    if (x < 0) x = p.width - w - 2;
    std::vector<uint32_t> expected(p.pixels.size(), p.pixels[size_t(y) * p.width + x + w]);
    ASSERT_TRUE(XsDrawTextOnPixels(&expected, p.width, p.height, label, x, y, hv::kBlackPixel));
    int black = 0;
    for (int row = y; row < y + h; ++row)
      for (int col = x; col < x + w; ++col) {
        const size_t i = size_t(row) * p.width + col;
        EXPECT_EQ(p.pixels[i], expected[i]) << label << " at " << col << ", " << row;
        black += p.pixels[i] == hv::kBlackPixel;
      }
    EXPECT_GT(black, 5) << label;
  }
}

TEST(SonoPicture, SweepLandsOnItsRowsInWaveAndWavPack) {
  TempFolder dir;
  const hv::SonoOptions options{.width = 500, .height = 300};
  hv::SonoPicture picture;
  std::string error;
  ASSERT_TRUE(hv::MakeSonoPicture(WriteSweep<hv::WaveFile>(dir / "sweep.wav"), options, &picture, &error)) << error;
  EXPECT_EQ(std::tuple(picture.width, picture.height, picture.pixels.size()), std::tuple(500, 300, 500u * 300u));
  EXPECT_NE(picture.title.find("Receiver 7"), std::string::npos);
  EXPECT_NE(picture.title.find("2026-09-03 20:36:15.250 UTC+02:00"), std::string::npos) << picture.title;
  EXPECT_NE(picture.title.find("Pond west"), std::string::npos);
  ExpectSweepRows(picture);
  ExpectUnitLabels(picture);

  ASSERT_TRUE(hv::MakeSonoPicture(WriteSweep<hv::WavPackFile>(dir / "sweep.wv"), options, &picture, &error)) << error;
  ExpectSweepRows(picture);
}

TEST(SonoPicture, LongFileColumnsKeepShortCalls) {
  // 4 s of silence with one 2 ms call at 60 kHz: a 100-column picture still shows it.
  TempFolder dir;
  const size_t frames = size_t(kRealRate * 4);
  std::vector<uint8_t> bytes(frames * 2, 0);
  const size_t callStart = size_t(kRealRate * 2.5);
  for (size_t i = 0; i < size_t(kRealRate * 0.002); ++i)
    hv::PutLe16(&bytes[2 * (callStart + i)], uint16_t(int16_t(15000.0 * std::sin(2 * M_PI * 60000.0 * i / kRealRate))));
  ASSERT_TRUE(hv::WriteRecording<hv::WaveFile>(dir / "call.wav", GuanoTestRecord(), bytes));
  const hv::SonoOptions options{.width = 100 + 52, .height = 200};  // a plot of 100 columns
  hv::SonoPicture p;
  std::string error;
  ASSERT_TRUE(hv::MakeSonoPicture(dir / "call.wav", options, &p, &error)) << error;
  ASSERT_EQ(p.plotWidth, 100);
  const int callColumn = int(2.501 / 4.0 * 100);
  const int bin = int(std::lround(60000.0 / (kRealRate / 256.0)));
  for (int column = 0; column < 100; ++column) {
    const float level = p.levels[size_t(column) * 128 + bin];
    if (column == callColumn)
      EXPECT_GT(level, 60.0f);
    else
      EXPECT_LT(level, 0.0f) << column;
  }
  // The call's level: a window wholly inside it, worked out in double precision
  // (four-term Blackman-Harris, 256 points), as 10 log10(P) - 20 log10(256):
  // a recording's picture adds no receiver offset.
  double re = 0.0, im = 0.0;
  for (int n = 0; n < 256; ++n) {
    const double a = n / 255.0 * 2.0 * M_PI;
    const double w = 0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2 * a) - 0.01168 * std::cos(3 * a);
    const double x = w * 15000.0 * std::sin(2 * M_PI * 60000.0 * n / kRealRate);
    re += x * std::cos(2 * M_PI * bin * n / 256.0);
    im -= x * std::sin(2 * M_PI * bin * n / 256.0);
  }
  const double expected = 10.0 * std::log10(re * re + im * im) - 20.0 * std::log10(256.0);
  EXPECT_NEAR(p.levels[size_t(callColumn) * 128 + bin], expected, 0.5);
}

TEST(SonoPicture, PngDecodesToThePictureAndCommandLineWorks) {
  TempFolder dir;
  const std::string sweep = WriteSweep<hv::WaveFile>(dir / "sweep.wav");
  const hv::SonoOptions options{.width = 320, .height = 160};
  std::string error;
  ASSERT_TRUE(hv::WriteSonoPicture(sweep, dir / "sweep.png", options, &error)) << error;
  hv::SonoPicture picture;
  ASSERT_TRUE(hv::MakeSonoPicture(sweep, options, &picture, &error));

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir / "sweep.png").c_str()));
  image.format = PNG_FORMAT_RGB;
  ASSERT_EQ(image.width, 320u);
  ASSERT_EQ(image.height, 160u);
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  for (size_t i = 0; i < picture.pixels.size(); i += 97) {
    const uint32_t p = picture.pixels[i];
    ASSERT_EQ(rgb[3 * i], (p >> 16) & 255);
    ASSERT_EQ(rgb[3 * i + 1], (p >> 8) & 255);
    ASSERT_EQ(rgb[3 * i + 2], p & 255);
  }

  const std::string tool = std::string(HALVANE_BUILD_DIR) + "/apps/halvane-sono/halvane-sono";
  EXPECT_EQ(std::system((tool + " '" + sweep + "' -o '" + (dir / "cli.png") + "' --width 400 --height 200").c_str()), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "cli.png"));
  EXPECT_NE(std::system((tool + " '" + sweep + "' --width 400 2>/dev/null").c_str()), 0);
  EXPECT_NE(std::system((tool + " '" + sweep + "' -o x.png --width 3 2>/dev/null").c_str()), 0);
}

TEST(SonoPicture, NonRecordingsAreRefusedAndNothingIsLeftBehind) {
  TempFolder dir;
  WriteAllBytes(dir / "junk.wav", std::vector<uint8_t>(300, 0x41));
  WriteAllBytes(dir / "empty.wav", {});
  std::vector<uint8_t> header = ReadAllBytes(WriteSweep<hv::WaveFile>(dir / "s.wav"));
  header.resize(40);  // cut inside the fmt chunk
  WriteAllBytes(dir / "cut.wav", header);
  hv::SonoOptions options;
  for (const char* name : {"junk.wav", "empty.wav", "cut.wav", "missing.wav"}) {
    std::string error;
    EXPECT_FALSE(hv::WriteSonoPicture(dir / name, dir / "out.png", options, &error)) << name;
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "out.png"));
  }
  // An output folder that does not exist.
  std::string error;
  EXPECT_FALSE(hv::WriteSonoPicture(dir / "s.wav", dir / "no/such/folder.png", options, &error));
}

TEST(SnapshotPicture, WrittenBesideTheFileOnlyWhenSwitchedOn) {
  EXPECT_EQ(hv::PicturePathFor("night/0101_2030.wav"), "night/0101_2030.png");
  EXPECT_EQ(hv::PicturePathFor("a.b/file"), "a.b/file.png");
  TempFolder dir;
  const std::string sweep = WriteSweep<hv::WavPackFile>(dir / "snap.wv");
  hv::g_settings.SnapshotPictures.store(false);
  hv::WriteSnapshotPicture(sweep);
  EXPECT_FALSE(std::filesystem::exists(dir / "snap.png"));
  hv::g_settings.SnapshotPictures.store(true);
  hv::WriteSnapshotPicture(sweep);
  hv::g_settings.SnapshotPictures.store(false);
  EXPECT_TRUE(std::filesystem::exists(dir / "snap.png"));
}

// Other recorders' layouts: the real rate (TE applied), the length and the
// title's device come from the chunks around the data.
TEST(SonoPicture, OtherRecordersFilesMakePictures) {
  TempFolder dir;
  for (const hv::test::RecorderFile& f : hv::test::RecorderFiles()) {
    SCOPED_TRACE(f.name);
    hv::test::WriteRecorderFiles(dir.path, {f});
    hv::SonoPicture p;
    std::string error;
    ASSERT_TRUE(hv::MakeSonoPicture(dir / f.name, hv::SonoOptions(), &p, &error)) << error;
    EXPECT_NEAR(p.seconds, 0.5, 0.001);
    EXPECT_EQ(p.realRate, f.realRate);
    EXPECT_EQ(p.title.rfind(f.guano.empty() ? f.name : f.device, 0), 0u) << p.title;
  }
}

TEST(SonoPicture, RealRecordingsMakePictures) {
  REQUIRE_REAL_RECORDINGS("audiomoth-250k-guano.wav", "batlogger-312k-guano.wav", "myomys-500k.wav",
                          "selection-192k-list-id3.wav");
  for (const char* name : {"audiomoth-250k-guano.wav", "batlogger-312k-guano.wav", "myomys-500k.wav",
                           "selection-192k-list-id3.wav"}) {
    SCOPED_TRACE(name);
    hv::SonoPicture p;
    std::string error;
    ASSERT_TRUE(hv::MakeSonoPicture(hv::test::RealRecording(name), hv::SonoOptions(), &p, &error)) << error;
    EXPECT_GT(p.seconds, 0.4);
    EXPECT_GE(p.realRate, 192000u);
  }
}

}  // namespace
