// Command-line parsing: every option, and refusals that name the option.
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace hv {
namespace {

bool Parse(std::vector<const char*> args, StationOptions* o, std::string* error) {
  args.insert(args.begin(), "halvane");
  return ParseCommandLine(static_cast<int>(args.size()), args.data(), o, error);
}

TEST(CommandLine, AcceptsEveryOption) {
  StationOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--headless", "--config", "/tmp/c", "--device", "IP127.0.0.9", "--set", "SonoThreshold=33",
                     "--set=SonoDetail=5", "--run-for", "2.5", "--mode", "autosnap", "--record", "/tmp/r/site.wav",
                     "--play", "x.wav", "--loop", "--timebase", "1:4", "--audio", "wav:/tmp/a.wav"},
                    &o, &error))
      << error;
  EXPECT_TRUE(o.headless);
  EXPECT_EQ(o.configDir, "/tmp/c");
  EXPECT_EQ(o.device, "IP127.0.0.9");
  EXPECT_EQ(o.settings, (std::vector<std::string>{"SonoThreshold=33", "SonoDetail=5"}));
  EXPECT_EQ(o.runForSeconds, 2.5);
  EXPECT_EQ(o.recordMode, 3);
  EXPECT_EQ(o.recordBasePath, "/tmp/r/site.wav");
  EXPECT_TRUE(o.loop);
  EXPECT_EQ(o.timebase, "1:4");
  EXPECT_EQ(o.audio, "wav:/tmp/a.wav");
}

TEST(CommandLine, RefusesBadValuesNamingTheOption) {
  const std::vector<std::vector<const char*>> bad = {
      {"--device", "Ezusb-4"}, {"--device", "IP300.1.1.1"}, {"--device", "IP1.2.3"}, {"--run-for", "-1"},
      {"--run-for"},           {"--timebase", "1:0"},       {"--timebase", "2:1"},   {"--audio", "wav:"},
      {"--set", "NoEquals"},   {"--whatever"},              {"--loop"},
  };
  for (const auto& args : bad) {
    StationOptions o;
    std::string error;
    EXPECT_FALSE(Parse(args, &o, &error)) << args[0];
    EXPECT_NE(error.find(std::string(args[0]).substr(0, 6)), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace hv
