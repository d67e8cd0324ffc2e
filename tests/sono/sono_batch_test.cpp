// Pictures of a night's files: which files of a folder are recordings, where a
// picture may not be written, picture names, times from names, the trigger
// level, the contact sheet's order and escaping, and the command line over a
// folder (refusing to write over its input).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "guano/guano_files.h"
#include "recording/recording_files.h"
#include "sono/contact_sheet.h"
#include "sono/sono_batch.h"

namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(HALVANE_BUILD_DIR) + "/apps/halvane-sono/halvane-sono";

// A 0.2 s recording at 250 kHz real rate starting at `utcSeconds`: silence,
// with a 40 kHz tone of amplitude `amplitude` over samples [from, to), and
// another over [from2, to2) when given.
std::string WriteTone(const std::string& path, time_t utcSeconds, size_t from, size_t to, double amplitude,
                      size_t from2 = 0, size_t to2 = 0) {
  hv::FormatWithAttribute record = GuanoTestRecord();
  hv::AttributeInputs in;
  in.headerRate = 25000, in.expansion = 10, in.realRateKHz = 250, in.device = "Receiver 7";
  in.start.utcSeconds = utcSeconds;
  record.SetAttribute(hv::ComposeAttribute(in));
  std::vector<uint8_t> bytes(50000 * 2);
  for (size_t i = 0; i < 50000; ++i)
    if ((i >= from && i < to) || (i >= from2 && i < to2))
      hv::PutLe16(&bytes[2 * i], uint16_t(int16_t(amplitude * std::sin(2.0 * M_PI * 40000.0 * double(i) / 250000.0))));
  EXPECT_TRUE(hv::WriteRecording<hv::WaveFile>(path, record, bytes));
  return path;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Touch(const std::string& path, const std::string& text = "x") { std::ofstream(path) << text; }

TEST(SonoBatch, FolderGivesItsFinishedRecordingsInNameOrder) {
  TempFolder dir;
  fs::create_directories(dir / "night/sub");
  for (const char* name : {"b.wav", "A.WV", "c.tmp_wav", "d_D20260101T000000m000.tmp_wv", "notes.txt", "sub/e.wav"})
    Touch(dir / ("night/" + std::string(name)));
  fs::create_directory(dir / "night/folder.wav");
  std::vector<std::string> found;
  std::string error;
  ASSERT_TRUE(hv::CollectRecordings({dir / "night", dir / "night/notes.txt"}, &found, &error)) << error;
  EXPECT_EQ(found, (std::vector<std::string>{dir / "night/A.WV", dir / "night/b.wav", dir / "night/notes.txt"}));
  EXPECT_FALSE(hv::CollectRecordings({dir / "missing"}, &found, &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
}

TEST(SonoBatch, PicturesNeverReplaceAnInputOrAFileThatIsNotAPicture) {
  TempFolder dir;
  const std::string input = dir / "x.wav";
  Touch(input, "RIFF");
  Touch(dir / "old.png", "\x89PNG\r\n\x1a\n....");
  Touch(dir / "given.png", "\x89PNG\r\n\x1a\n....");  // a picture given as an input
  Touch(dir / "notes.txt");
  fs::create_symlink(input, dir / "link.png");
  fs::create_hard_link(input, dir / "hard.png");
  const struct {
    std::string target;
    bool refused;
  } cases[] = {
      {input, true},                 // the input itself
      {dir / "./x.wav", true},       // by another spelling
      {dir / "link.png", true},      // through a symbolic link
      {dir / "hard.png", true},      // a hard link to it
      {dir / "given.png", true},     // an input, even a picture
      {dir / "other.wav", true},     // a name only a recording has
      {dir / "other.WV", true},
      {dir / "notes.txt", true},     // an existing file that is not a picture
      {dir / "old.png", false},      // an earlier picture may be replaced
      {dir / "new.png", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(!hv::PictureTargetRefusal(c.target, {input, dir / "given.png"}).empty(), c.refused) << c.target;
}

TEST(SonoBatch, PictureNamesAreUniqueAndTimesComeFromNames) {
  EXPECT_EQ(hv::PictureNames({"a/x.wav", "b/x.wv", "c/X.wav", "y.wav"}),
            (std::vector<std::string>{"x.png", "x-2.png", "X-3.png", "y.png"}));
  const struct {
    const char* name;
    bool valid;
    time_t utc;
    int ms;
  } cases[] = {
      {"site_D20260614T210307m250.wav", true, 1781470987, 250},
      {"/a.b/D/_D20000229T000000m000.wv", true, 951782400, 0},
      {"site_D20260231T210307m250.wav", false, 0, 0},  // 31 February
      {"site_D20261314T210307m250.wav", false, 0, 0},
      {"site_D2026061xT210307m250.wav", false, 0, 0},
      {"site_D20260614T210307x250.wav", false, 0, 0},
      {"site.wav", false, 0, 0},
  };
  for (const auto& c : cases) {
    hv::StreamTime t;
    EXPECT_EQ(hv::TimeFromName(c.name, &t), c.valid) << c.name;
    if (c.valid) {
      EXPECT_EQ(int64_t(t.utcSeconds) * 1000 + t.milliseconds, int64_t(c.utc) * 1000 + c.ms) << c.name;
    }
  }
}

// The trigger window (samples 1024 to 1279) holds a snapshot's triggering frame:
// a tone there sets the level; the same tone only later in the file does not.
TEST(SonoBatch, TriggerLevelIsTheLevelWhereTheSnapshotStarted) {
  TempFolder dir;
  hv::SonoPicture atTrigger, later;
  std::string error;
  ASSERT_TRUE(hv::MakeSonoPicture(WriteTone(dir / "a.wav", 1, 1024, 1280, 16000), {}, &atTrigger, &error)) << error;
  ASSERT_TRUE(hv::MakeSonoPicture(WriteTone(dir / "b.wav", 1, 20000, 40000, 16000), {}, &later, &error)) << error;
  float a = 0, b = 0;
  ASSERT_TRUE(hv::TriggerLevel(atTrigger, &a));
  ASSERT_TRUE(hv::TriggerLevel(later, &b));
  EXPECT_GT(a, b + 40.0f);
  // Against the level of the loud columns of the later file: the same tone.
  float loudest = -1e9f;
  for (float level : later.levels) loudest = std::max(loudest, level);
  EXPECT_NEAR(a, loudest, 6.0f);
}

TEST(SonoBatch, SheetListsPicturesByTimeWithEscapedNames) {
  std::vector<hv::SheetEntry> entries(4);
  entries[0].recording = "/n/late.wav", entries[0].picture = "late.png", entries[0].start.utcSeconds = 300;
  entries[1].recording = "/n/a<b>&\"c\".wav", entries[1].picture = "a<b>&\"c\".png", entries[1].start.utcSeconds = 100;
  entries[2].recording = "/n/broken.wav", entries[2].error = "not a <readable> recording", entries[2].start.utcSeconds = 200;
  entries[3].recording = "/n/early.wav", entries[3].picture = "early.png", entries[3].start.utcSeconds = 100,
  entries[3].start.milliseconds = 1;
  for (hv::SheetEntry& e : entries) e.timeFrom = hv::SheetEntry::TimeFrom::kRecording;
  entries[0].hasTriggerLevel = true, entries[0].triggerLevel = -12.34f, entries[0].seconds = 2.5;
  entries[0].calls = 12, entries[1].calls = 1, entries[2].calls = 7;  // the failed file's count is not shown
  hv::SortByTime(&entries);
  const std::string html = hv::ContactSheetHtml(entries, "Night <1>");
  const size_t first = html.find("a%3Cb%3E%26%22c%22.png"), second = html.find("early.png"),
               third = html.find("broken.wav"), fourth = html.find("late.png");
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);
  EXPECT_LT(third, fourth);
  EXPECT_NE(html.find("a&lt;b&gt;&amp;&quot;c&quot;.wav"), std::string::npos);
  EXPECT_EQ(html.find("<b>"), std::string::npos) << "a name is text, not markup";
  EXPECT_NE(html.find("not a &lt;readable&gt; recording"), std::string::npos);
  EXPECT_NE(html.find("Night &lt;1&gt;"), std::string::npos);
  EXPECT_NE(html.find("-12.3 dB"), std::string::npos);
  EXPECT_NE(html.find("2.50 s"), std::string::npos);
  EXPECT_NE(html.find("1970-01-01 00:01:40.001 UTC+00:00"), std::string::npos);
  // Counts where counted, "1 call" in the singular, and their sum in the summary.
  EXPECT_NE(html.find(">12 calls<"), std::string::npos);
  EXPECT_NE(html.find(">1 call<"), std::string::npos);
  EXPECT_EQ(html.find("7 calls"), std::string::npos);
  EXPECT_NE(html.find(", 13 calls;"), std::string::npos);
  size_t shown = 0;
  for (size_t at = html.find("class=\"calls\""); at != std::string::npos; at = html.find("class=\"calls\"", at + 1)) ++shown;
  EXPECT_EQ(shown, 2u) << "early.png was not counted";
}

TEST(SonoBatch, SheetReplacesOnlyItsOwnIndex) {
  TempFolder dir;
  Touch(dir / "index.html", "<html>a user's page</html>");
  std::string error;
  EXPECT_FALSE(hv::WriteContactSheet(dir.path, {}, "t", &error));
  EXPECT_EQ(ReadText(dir / "index.html"), "<html>a user's page</html>");
  fs::remove(dir / "index.html");
  ASSERT_TRUE(hv::WriteContactSheet(dir.path, {}, "first", &error)) << error;
  ASSERT_TRUE(hv::WriteContactSheet(dir.path, {}, "second", &error)) << error;
  EXPECT_NE(ReadText(dir / "index.html").find("second"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1) << "no temporary file left";
}

// The command line over a folder whose names sort against their times, with a
// file that is not a recording among them; and refusals that leave inputs alone.
TEST(SonoBatch, CommandLineMakesPicturesAndASheetAndNeverOverwritesItsInput) {
  TempFolder dir;
  fs::create_directory(dir / "night");
  WriteTone(dir / "night/a.wav", 3000, 1024, 4000, 8000);
  WriteTone(dir / "night/b.wav", 1000, 1024, 4000, 8000);
  WriteTone(dir / "night/c.wav", 2000, 1024, 4000, 8000, 30000, 33000);
  Touch(dir / "night/d.wav", "not a recording");
  const std::string out = dir / "sheet";
  EXPECT_NE(std::system((kTool + " '" + dir.path + "/night' -o '" + out + "' >/dev/null 2>&1").c_str()), 0)
      << "a file that could not be drawn fails the run";
  for (const char* name : {"a.png", "b.png", "c.png", "index.html"}) EXPECT_TRUE(fs::exists(out + "/" + name)) << name;
  EXPECT_FALSE(fs::exists(out + "/d.png"));
  const std::string html = ReadText(out + "/index.html");
  const size_t b = html.find("\"b.png\""), c = html.find("\"c.png\""), a = html.find("\"a.png\""), d = html.find("d.wav");
  ASSERT_NE(b, std::string::npos);
  EXPECT_LT(b, c);
  EXPECT_LT(c, a);
  EXPECT_NE(d, std::string::npos) << "the failed file is listed";
  // Each tone is one call, as halvane-calls finds it: c.wav has two.
  size_t counts = 0;
  for (size_t at = html.find(">1 call<"); at != std::string::npos; at = html.find(">1 call<", at + 1)) ++counts;
  EXPECT_EQ(counts, 2u);
  EXPECT_NE(html.find(">2 calls<"), std::string::npos);
  EXPECT_NE(html.find(", 4 calls;"), std::string::npos);

  const std::vector<uint8_t> before = ReadAllBytes(dir / "night/a.wav");
  for (const std::string& target : {dir / "night/a.wav", dir / "night/b.wav", dir / "night/../night/a.wav"})
    EXPECT_NE(std::system((kTool + " '" + dir.path + "/night/a.wav' -o '" + target + "' 2>/dev/null").c_str()), 0)
        << target;
  EXPECT_EQ(ReadAllBytes(dir / "night/a.wav"), before);
  // One file into an existing folder: a picture and a sheet there.
  EXPECT_EQ(std::system((kTool + " '" + dir.path + "/night/a.wav' -o '" + out + "/' >/dev/null").c_str()), 0);
}

}  // namespace
