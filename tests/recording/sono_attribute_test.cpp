#include "recording/sono_attribute.h"

#include <gtest/gtest.h>

#include <cstring>

#include "recording/attribute_record.h"

namespace hv {
namespace {

struct Parsed {
  bool ok;
  int64_t r = -1, e = 10, k = -1;
  std::string body;
};

Parsed Parse(const std::string& text) {
  Parsed p;
  SonoAttribute a;
  p.ok = a.ParseRecord(int(text.size()), text.data(), &p.r, &p.e, &p.k, &p.body);
  return p;
}

TEST(SonoAttribute, ParseRecordFieldsAndBody) {
  Parsed p = Parse("MMMMMMMMM<&10&>DEV=x,CMT=<a,b>MMMMMMMMM");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.e, 10);
  EXPECT_EQ(p.r, -1);
  EXPECT_EQ(p.k, -1);
  EXPECT_EQ(p.body, "DEV=x,CMT=<a,b>");

  p = Parse("MMMMMMMMM(#25000#)<&10&>[!full!]DEV=yMMMMMMMMM   trailing");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.r, 25000);
  EXPECT_EQ(p.k, 250);
  EXPECT_EQ(p.body, "DEV=y");

  p = Parse("MMMMMMMMM(#500000#)<&1&>[!500!]MMMMMMMMM ");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.k, 500);
  EXPECT_EQ(p.body, "");
}

TEST(SonoAttribute, KnownInconsistentRecordsAreRepaired) {
  EXPECT_EQ(Parse("MMMMMMMMM(#37500#)<&1&>MMMMMMMMM").e, 10);
  EXPECT_EQ(Parse("MMMMMMMMM(#25000#)<&1&>MMMMMMMMM").e, 10);
  EXPECT_EQ(Parse("MMMMMMMMM(#250000#)<&10&>MMMMMMMMM").e, 1);
  EXPECT_EQ(Parse("MMMMMMMMM(#30000#)<&1&>MMMMMMMMM").e, 1);
  EXPECT_EQ(Parse("MMMMMMMMM(#250000#)MMMMMMMMM").e, 1);  // E preset to 10 by the caller
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
  SonoAttribute a;
  const std::string body = "DEV=x,DC=Off,UTC=2024:01:31::23:59:59.123,LTB= -60,GPS=<lat:1 lon:2,3 alt:4>,CMT=<a,b>";
  std::string v;
  EXPECT_TRUE(a.GetField("DEV", body, &v));
  EXPECT_EQ(v, "x");
  EXPECT_TRUE(a.GetField("CMT", body, &v));
  EXPECT_EQ(v, "a,b");
  EXPECT_TRUE(a.GetField("GPS", body, &v));
  EXPECT_EQ(v, "lat:1 lon:2,3 alt:4");
  EXPECT_TRUE(a.GetField("LTB", body, &v));
  EXPECT_EQ(v, " -60");
  EXPECT_FALSE(a.GetField("XYZ", body, &v));
  EXPECT_FALSE(a.GetField("CMT", "CMT=", &v));  // nothing after "="
  EXPECT_TRUE(a.GetField("CMT", "CMT=<open", &v));
  EXPECT_EQ(v, "open");
}

TEST(SonoAttribute, ParseTimeAndUnsigned) {
  SonoAttribute a;
  CalendarTime t;
  ASSERT_TRUE(a.ParseTime("2024:01:31::23:59:58.123", &t));
  EXPECT_EQ(t.year, 2024);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 31);
  EXPECT_EQ(t.hour, 23);
  EXPECT_EQ(t.minute, 59);
  EXPECT_EQ(t.second, 58);
  EXPECT_EQ(t.millisecond, 123);
  CalendarTime partial;
  EXPECT_FALSE(a.ParseTime("2024:01:31:23:59:58.123", &partial));
  EXPECT_EQ(partial.day, 31);  // read before the mismatch
  EXPECT_FALSE(a.ParseTime("2024:01:31::23:59:58.1", &partial));

  uint32_t v = 9;
  EXPECT_FALSE(a.ParseUnsigned(" -60", &v));
  EXPECT_TRUE(a.ParseUnsigned(" 300", &v));
  EXPECT_EQ(v, 300u);
  EXPECT_TRUE(a.ParseUnsigned("", &v));
  EXPECT_EQ(v, 0u);
  EXPECT_TRUE(a.ParseUnsigned("  42  x", &v));
  EXPECT_EQ(v, 42u);
  EXPECT_FALSE(a.ParseUnsigned("99999999999", &v));
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
  text = ComposeAttribute(in);
  Parsed p = Parse(text);
  ASSERT_TRUE(p.ok);
  SonoAttribute a;
  std::string v;
  ASSERT_TRUE(a.GetField("GPS", p.body, &v));
  EXPECT_EQ(v, "lat:51.5 lon:-0.1 alt:12.0");
  ASSERT_TRUE(a.GetField("UTC", p.body, &v));
  CalendarTime t;
  EXPECT_TRUE(a.ParseTime(v, &t));
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
  Parsed p = Parse(text.substr(0, text.size() & ~size_t(1)));
  ASSERT_TRUE(p.ok);
  SonoAttribute a;
  std::string v;
  ASSERT_TRUE(a.GetField("DEV", p.body, &v));
  EXPECT_EQ(v.size(), 127u);
  ASSERT_TRUE(a.GetField("CMT", p.body, &v));
  EXPECT_LT(v.size(), 255u);
  EXPECT_EQ(v.find('\xC3'), std::string::npos);
}

}  // namespace
}  // namespace hv
