// GUANO metadata: the chunk in other recorders' files (built here, and the real
// recordings when present), time stamps, devices, and truncated, oversized or
// malformed input.
#include <gtest/gtest.h>

#include <sstream>

#include "formats/guano.h"
#include "formats/guano_chunk.h"
#include "replay_harness.h"
#include "support/real_recordings.h"
#include "support/recorder_layouts.h"

namespace hv {
namespace {

using test::RealRecording;
using test::UtcText;

TEST(GuanoTimestamp, OffsetsAndFractionsInTheirLenientForms) {
  struct Case {
    const char* text;
    const char* utc;
    int bias;
    bool hasOffset;
  } cases[] = {
      {"2024-09-03T20:26:15+01:00", "2024-09-03 19:26:15.000", -60, true},
      {"2024-09-03T20:26:15+0100", "2024-09-03 19:26:15.000", -60, true},
      {"2024-09-03T20:26:15+01", "2024-09-03 19:26:15.000", -60, true},
      {"2024-09-03T00:26:15-05:30", "2024-09-03 05:56:15.000", 330, true},
      {"2024-01-01T00:30:00+01:00", "2023-12-31 23:30:00.000", -60, true},
      {"2024-05-31T22:39:11Z", "2024-05-31 22:39:11.000", 0, true},
      {"2024-05-31T22:39:11.1234567+02:00", "2024-05-31 20:39:11.123", -120, true},
      {"2024-05-31 22:39:11.5", "2024-05-31 22:39:11.500", 0, false},
      {"  2024-05-31T22:39:11  ", "2024-05-31 22:39:11.000", 0, false},
      {"2024-05-31T22:39", "2024-05-31 22:39:00.000", 0, false},
  };
  for (const Case& c : cases) {
    StreamTime t;
    bool hasOffset = !c.hasOffset;
    ASSERT_TRUE(ParseIsoTimestamp(c.text, &t, &hasOffset)) << c.text;
    EXPECT_EQ(UtcText(t), c.utc) << c.text;
    EXPECT_EQ(t.biasMinutes, c.bias) << c.text;
    EXPECT_EQ(hasOffset, c.hasOffset) << c.text;
  }
}

TEST(GuanoTimestamp, RefusesMalformedStamps) {
  StreamTime t;
  for (const char* bad : {"", "2024", "2024-13-01T00:00:00", "2023-02-29T00:00:00", "2024-05-31X22:39:11",
                          "2024-05-31T25:00:00", "2024-05-31T22:39:11+25:00", "2024-05-31T22:39:11+1",
                          "2024-05-31T22:39:11.", "2024-05-31T22:39:11 junk", "24-05-31T22:39:11", "2024/05/31T22:39:11"})
    EXPECT_FALSE(ParseIsoTimestamp(bad, &t, nullptr)) << bad;
}

TEST(GuanoText, FieldsTheStationUses) {
  GuanoInfo info;
  ASSERT_TRUE(ParseGuano(std::string("GUANO|Version: 1.0\r\nMake: Acme\r\nModel: Listener 2\r\nTE: 10\r\n"
                         "Timestamp: 2024-05-31T22:39:11+0100\r\nLoc Position: 49.09 5.04\r\nNote: near the pond\r\n"
                         "Acme|Gain: 3\r\n") + std::string(3, '\0'),
                         &info));
  EXPECT_EQ(std::tuple(info.DeviceName(), info.hasExpansion, info.expansion, info.hasTime, UtcText(info.time),
                       info.position, info.note),
            std::tuple("Acme Listener 2", true, 10u, true, "2024-05-31 21:39:11.000", "49.09 5.04", "near the pond"));

  GuanoInfo partial;  // TE not an integer factor, a stamp that is no time
  ASSERT_TRUE(ParseGuano("GUANO|Version:1.0\nModel:Solo\nTE: 2.5\nTimestamp: yesterday\nno colon here", &partial));
  EXPECT_EQ(partial.DeviceName(), "Solo");
  EXPECT_EQ(std::tuple(partial.hasExpansion, partial.expansion, partial.hasTime), std::tuple(false, 1u, false));

  EXPECT_FALSE(ParseGuano("", &info));
  EXPECT_FALSE(ParseGuano("Make: Acme\nGUANO|Version: 1.0\n", &info));
}

// The files are built the way the recorders lay them out: a test that reads
// them is only as good as the layouts, so they are checked first.
TEST(RecorderLayouts, HoldTheChunksTheirRecordersWrite) {
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    bool oddBeforeData;      // a pad byte to step over before the data
    bool oddLastWithoutPad;  // the file ends without the last chunk's pad byte
  } cases[] = {
      {"list-before-guan-after-250k.wav", {"fmt ", "LIST", "data", "guan"}, false, true},
      {"guan-after-312k.wav", {"fmt ", "data", "guan"}, false, false},
      {"plain-500k.wav", {"fmt ", "data"}, false, false},
      {"list-id3-after-192k.wav", {"fmt ", "data", "LIST", "id3 "}, false, false},
      {"guan-before-te8-384k.wav", {"fmt ", "guan", "data"}, true, false},
      {"id3-before-guan-after-256k.wav", {"fmt ", "id3 ", "LIST", "fact", "data", "junk", "guan"}, true, false},
  };
  std::vector<test::RecorderFile> files = test::RecorderFiles();
  ASSERT_EQ(files.size(), std::size(cases));
  for (size_t i = 0; i < files.size(); ++i) {
    const std::vector<uint8_t>& b = files[i].image;
    SCOPED_TRACE(files[i].name);
    EXPECT_EQ(files[i].name, cases[i].name);
    EXPECT_EQ(Le32At(b, 4), b.size() - 8);
    std::vector<std::string> ids;
    bool oddBeforeData = false, unpadded = false, seenData = false;
    for (size_t at = 12; at + 8 <= b.size();) {
      uint32_t size = Le32At(b, at + 4);
      ids.emplace_back(reinterpret_cast<const char*>(&b[at]), 4);
      seenData |= ids.back() == "data";
      oddBeforeData |= (size & 1) && !seenData;
      unpadded = (size & 1) && at + 8 + size == b.size();
      at += 8 + size + (size & 1);
    }
    EXPECT_EQ(ids, cases[i].chunks);
    EXPECT_EQ(std::pair(oddBeforeData, unpadded), std::pair(cases[i].oddBeforeData, cases[i].oddLastWithoutPad));
  }
}

TEST(GuanoChunk, OtherRecordersFilesGiveTheirStampsAndDevices) {
  TempFolder dir;
  for (const test::RecorderFile& f : test::RecorderFiles()) {
    SCOPED_TRACE(f.name);
    test::WriteRecorderFiles(dir.path, {f});
    std::string text;
    ASSERT_EQ(ReadGuanoText(dir / f.name, &text), !f.guano.empty());
    if (f.guano.empty()) continue;
    EXPECT_EQ(text, f.guano);
    GuanoInfo info;
    ASSERT_TRUE(ParseGuano(text, &info));
    EXPECT_EQ(std::tuple(info.DeviceName(), info.hasTime, UtcText(info.time), info.time.biasMinutes, info.position,
                         info.hasExpansion ? info.expansion : 1u),
              std::tuple(f.device, true, f.utcStart, f.biasMinutes, f.position, f.realRate / f.headerRate));
  }
  std::string text;
  EXPECT_FALSE(ReadGuanoText(dir / "no-such-file.wav", &text));
}

TEST(GuanoChunk, RealRecordingsGiveTheirStampsAndDevices) {
  REQUIRE_REAL_RECORDINGS("audiomoth-250k-guano.wav", "audiomoth-250k-nocalls.wav", "batlogger-312k-guano.wav",
                          "myomys-500k.wav", "selection-192k-list-id3.wav");
  struct Case {
    const char* file;
    const char* device;
    const char* utc;
    int bias;
    const char* position;
  } cases[] = {
      {"audiomoth-250k-guano.wav", "Open Acoustic Devices AudioMoth", "2024-09-03 19:26:15.000", -60, ""},
      {"audiomoth-250k-nocalls.wav", "Open Acoustic Devices AudioMoth", "2024-09-03 18:31:30.000", -60, ""},
      {"batlogger-312k-guano.wav", "BATLOGGER S2", "2024-05-31 22:39:11.000", 0, "49.093119 5.047867"},
  };
  for (const Case& c : cases) {
    std::string text;
    ASSERT_TRUE(ReadGuanoText(RealRecording(c.file), &text)) << c.file;
    GuanoInfo info;
    ASSERT_TRUE(ParseGuano(text, &info)) << c.file;
    EXPECT_EQ(std::tuple(info.DeviceName(), info.hasTime, UtcText(info.time), info.time.biasMinutes, info.position,
                         info.hasExpansion),
              std::tuple(c.device, true, c.utc, c.bias, c.position, false));
  }
  std::string text;
  EXPECT_FALSE(ReadGuanoText(RealRecording("myomys-500k.wav"), &text));
  EXPECT_FALSE(ReadGuanoText(RealRecording("selection-192k-list-id3.wav"), &text));
}

std::string Chunk(const std::string& id, const std::string& data, uint32_t claimed) {
  std::string c = id;
  for (int i = 0; i < 4; ++i) c += static_cast<char>((claimed >> (8 * i)) & 0xff);
  return c + data;
}

TEST(GuanoChunk, TruncatedOversizedAndMalformedStreams) {
  const std::string guano = "GUANO|Version: 1.0\nMake: X\n";
  const std::string head("RIFF\0\0\0\0WAVE", 12);
  auto find = [](const std::string& bytes, std::string* text) {
    std::istringstream in(bytes);
    return FindGuanoChunk(in, text);
  };
  std::string text;
  // An odd-length chunk before it is followed by its pad byte.
  std::string ok = head + Chunk("LIST", "abc", 3) + '\0' + Chunk("guan", guano, guano.size());
  ASSERT_TRUE(find(ok, &text));
  EXPECT_EQ(text, guano);
  // Cut inside the text, inside a chunk header, or claiming more than is allowed.
  EXPECT_FALSE(find(ok.substr(0, ok.size() - 5), &text));
  EXPECT_FALSE(find(ok.substr(0, 20), &text));
  EXPECT_FALSE(find(head + Chunk("guan", guano, 0xFFFFFFF0u), &text));
  EXPECT_FALSE(find(head + Chunk("data", "", 0xFFFFFFFFu) + Chunk("guan", guano, guano.size()),
                    &text));
  EXPECT_FALSE(find(std::string("RIFX\0\0\0\0WAVE", 12) + Chunk("guan", guano, guano.size()), &text));
  EXPECT_FALSE(find("", &text));
}

}  // namespace
}  // namespace hv
