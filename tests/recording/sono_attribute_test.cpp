#include "formats/sono_attribute.h"

#include <gtest/gtest.h>

#include <cstring>

#include "formats/attribute_record.h"
#include "recording/recording_files.h"

namespace hv {
namespace {

// The parts of a record read with E preset to 10, the default expansion.
AttributeParts Parse(const std::string& text) { return ParseAttribute(text, 10); }

TEST(SonoAttribute, ParseRecordFieldsBodyAndRepairs) {
  struct Case {
    const char* text;
    int64_t r, e, k;
    const char* body;
  } cases[] = {
      {"MMMMMMMMM<&10&>DEV=x,CMT=<a,b>MMMMMMMMM", -1, 10, -1, "DEV=x,CMT=<a,b>"},
      {"MMMMMMMMM(#25000#)<&10&>[!full!]DEV=yMMMMMMMMM   trailing", 25000, 10, 250, "DEV=y"},
      {"MMMMMMMMM(#500000#)<&1&>[!500!]MMMMMMMMM ", 500000, 1, 500, ""},
  };
  for (const Case& c : cases) {
    AttributeParts p = ParseAttribute(c.text);
    ASSERT_TRUE(p.ok) << c.text;
    EXPECT_EQ(std::tuple(p.r, p.e, p.k, p.body), std::tuple(c.r, c.e, c.k, std::string(c.body)));
  }
  // Known inconsistent records are repaired (E preset to 10 by the caller).
  for (auto [text, e] : {std::pair{"MMMMMMMMM(#37500#)<&1&>MMMMMMMMM", 10}, {"MMMMMMMMM(#25000#)<&1&>MMMMMMMMM", 10},
                         {"MMMMMMMMM(#250000#)<&10&>MMMMMMMMM", 1}, {"MMMMMMMMM(#30000#)<&1&>MMMMMMMMM", 1},
                         {"MMMMMMMMM(#250000#)MMMMMMMMM", 1}})
    EXPECT_EQ(Parse(text).e, e) << text;
}

TEST(SonoAttribute, MalformedRecordsFail) {
  for (const char* bad : {"", "MMMMMMMM", "MMMMMMMMM", "MMMMMMMMMx", "XMMMMMMMMDEV=xMMMMMMMMM",
                          "MMMMMMMMM(#25000)DEV=xMMMMMMMMM", "MMMMMMMMM(#25000#DEV=xMMMMMMMMM",
                          "MMMMMMMMM<&1x&>MMMMMMMMM", "MMMMMMMMM[!full!MMMMMMMMM", "MMMMMMMMMDEV=xMMMM",
                          "MMMMMMMMM(#99999999999999999999#)MMMMMMMMM"})
    EXPECT_FALSE(Parse(bad).ok) << bad;
  SonoAttribute a;
  int64_t r, e, k;
  EXPECT_FALSE(a.ParseRecord(20, nullptr, &r, &e, &k, nullptr));
}

TEST(SonoAttribute, GetFieldValues) {
  const std::string body = "DEV=x,DC=Off,UTC=2024:01:31::23:59:59.123,LTB= -60,GPS=<lat:1 lon:2,3 alt:4>,CMT=<a,b>";
  EXPECT_EQ(Field(body, "DEV"), "x");
  EXPECT_EQ(Field(body, "CMT"), "a,b");
  EXPECT_EQ(Field(body, "GPS"), "lat:1 lon:2,3 alt:4");
  EXPECT_EQ(Field(body, "LTB"), " -60");
  EXPECT_EQ(Field(body, "XYZ"), std::nullopt);
  EXPECT_EQ(Field("CMT=", "CMT"), std::nullopt);  // nothing after "="
  EXPECT_EQ(Field("CMT=<open", "CMT"), "open");
}

TEST(SonoAttribute, ParseTimeAndUnsigned) {
  SonoAttribute a;
  CalendarTime t;
  ASSERT_TRUE(a.ParseTime("2024:01:31::23:59:58.123", &t));
  EXPECT_EQ(std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond),
            std::tuple(2024, 1, 31, 23, 59, 58, 123));
  CalendarTime partial;
  EXPECT_FALSE(a.ParseTime("2024:01:31:23:59:58.123", &partial));
  EXPECT_EQ(partial.day, 31);  // read before the mismatch
  EXPECT_FALSE(a.ParseTime("2024:01:31::23:59:58.1", &partial));

  uint32_t v = 9;
  EXPECT_FALSE(a.ParseUnsigned(" -60", &v));
  EXPECT_FALSE(a.ParseUnsigned("99999999999", &v));
  for (auto [text, value] : {std::pair{" 300", 300u}, {"", 0u}, {"  42  x", 42u}}) {
    EXPECT_TRUE(a.ParseUnsigned(text, &v)) << text;
    EXPECT_EQ(v, value) << text;
  }
}

AttributeInputs Inputs() {
  AttributeInputs in;
  in.headerRate = 25000;
  in.expansion = 10;
  in.realRateKHz = 250;
  in.device = "HX302";
  in.compensated = true;
  in.start.utcSeconds = 1706745599;  // 2024-01-31 23:59:59 UTC
  in.start.milliseconds = 123;
  in.start.biasMinutes = -60;
  in.comment = "a,b";
  return in;
}

TEST(AttributeRecord, ComposedTextParsesBack) {
  AttributeInputs in = Inputs();
  std::string text = ComposeAttribute(in);
  EXPECT_EQ(text, "MMMMMMMMM(#25000#)<&10&>[!250!]DEV=HX302,DC=On,UTC=2024:01:31::23:59:59.123,LTB= -60,"
                  "CMT=<a,b>MMMMMMMMM ");
  in.withGps = true;
  in.latitude = "51.5";
  in.longitude = "-0.1";
  in.altitude = "12.0";
  AttributeParts p = Parse(ComposeAttribute(in));
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(Field(p.body, "GPS"), "lat:51.5 lon:-0.1 alt:12.0");
  CalendarTime t;
  EXPECT_TRUE(SonoAttribute().ParseTime(Field(p.body, "UTC").value_or(""), &t));
}

TEST(AttributeRecord, OverLongTextCutsTheComment) {
  AttributeInputs in = Inputs();
  in.withGps = true;
  in.device = std::string(200, 'd');
  in.latitude = in.longitude = in.altitude = std::string(40, '9');
  in.comment = std::string(254, 'c') + "\xC3\xA9";  // ends in a two-byte character
  std::string text = ComposeAttribute(in);
  EXPECT_LE(text.size(), 513u);
  EXPECT_GE(text.size(), 511u);
  AttributeParts p = Parse(text.substr(0, text.size() & ~size_t(1)));
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(Field(p.body, "DEV").value_or("").size(), 127u);
  std::string comment = Field(p.body, "CMT").value_or("none");
  EXPECT_LT(comment.size(), 255u);
  EXPECT_EQ(comment.find('\xC3'), std::string::npos);
}

}  // namespace
}  // namespace hv
