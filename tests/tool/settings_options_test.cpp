#include "settings_options.h"

#include <gtest/gtest.h>

#include "options.h"

namespace zelto::grab {
namespace {

ParseResult Parse(std::vector<std::string> args) { return ParseCommandLine(args, true, true); }

TEST(SettingsOptionsTest, SettingsSetAndTheCaptureOptionsParse) {
  ParseResult r = Parse({"settings", "--sim", "pacing=free"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.command, Command::kSettings);

  r = Parse({"set", "Capture Format=RGB 24", "--key", "Software\\Me\\"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.command, Command::kSet);
  EXPECT_EQ(*r.options.settings.name, "Capture Format");
  EXPECT_EQ(r.options.settings.value, "RGB 24");
  r = Parse({"set", "a=b=c"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.settings.value, "b=c");

  r = Parse({"grab", "--capture-format", "RGB24", "--capture-rate", "50%"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(*r.options.settings.capture_format, "rgb24");
  EXPECT_EQ(*r.options.settings.capture_rate, 50);
  EXPECT_TRUE(Parse({"grab", "--capture-format", "888", "--capture-rate", "1"}).ok);

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"set"},
        {"set", "capture_format"},
        {"set", "=3"},
        {"set", "capture_format="},
        {"set", "a=1", "b=2"},
        {"settings", "x=1"},
        {"settings", "--frames", "2"},
        {"settings", "--time-source", "System"},
        {"info", "--capture-format", "555"},
        {"grab", "--capture-format", "rgb32"},
        {"grab", "--capture-format"},
        {"grab", "--capture-rate", "0"},
        {"grab", "--capture-rate", "101"},
        {"grab", "--capture-rate", "-5"},
        {"grab", "--capture-rate", "50", "--frame-rate", "30"}}) {
    ParseResult failed = Parse(bad);
    EXPECT_FALSE(failed.ok) << bad.size() << " arguments, last " << bad.back();
    EXPECT_FALSE(failed.error.empty());
  }
  r = Parse({"set", "--help"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_NE(Usage(r.options.command).find("usage: zeltograb set NAME=VALUE"), std::string::npos);
}

// The settings as ZeltoSim's card lists them through the module.
std::vector<SettingInfo> CardSettings() {
  return {
      {0, "Input Channel", 1, {{0, "1"}, {1, "2"}}},
      {2, "Capture Format", 0, {{0, "5-5-5"}, {1, "5-6-5"}, {2, "8-8-8"}, {3, "RGB 24"}}},
      {4,
       "Capture Rate",
       9,
       {{100, "Fixed Rate"},
        {0, "100%   60.00 fps"},
        {1, "  50%   30.00 fps"},
        {9, "  10%    6.00 fps"},
        {99, "    1%    0.60 fps"}}},
      {10, "Startup Resolution", 6, {{5, "1024 x 768"}, {6, "1024 x 1024"}}},
  };
}

TEST(SettingsOptionsTest, NamesAndValuesAreFoundAsAPersonTypesThem) {
  const std::vector<SettingInfo> settings = CardSettings();
  for (const char* name : {"Capture Format", "capture_format", "CAPTURE-FORMAT", "captureformat"}) {
    const SettingInfo* found = FindSetting(settings, name);
    ASSERT_NE(found, nullptr) << name;
    EXPECT_EQ(found->id, 2);
  }
  EXPECT_EQ(FindSetting(settings, "format"), nullptr);
  EXPECT_EQ(FindSetting(settings, ""), nullptr);

  struct Case {
    int index;
    const char* text;
    std::optional<int32_t> value;
  };
  for (const Case c :
       {Case{1, "rgb24", 3}, Case{1, "RGB 24", 3}, Case{1, "555", 0}, Case{1, "3", 3},
        Case{1, "7", std::nullopt}, Case{1, "rgb", std::nullopt},
        // A label before a number: the channel labelled 1 is value 0.
        Case{0, "1", 0}, Case{0, "0", 0}, Case{0, "2", 1}, Case{0, "3", std::nullopt},
        // Percent texts with their sign; a bare number is an option's value.
        Case{2, "50%", 1}, Case{2, "1%", 99}, Case{2, "1", 1}, Case{2, "100", 100},
        Case{2, "fixed rate", 100}, Case{2, "50", std::nullopt}, Case{2, "100%", 0},
        Case{3, "1024x768", 5}, Case{3, "1024 x 1024", 6}, Case{3, "1024", std::nullopt},
        Case{3, "", std::nullopt}}) {
    EXPECT_EQ(FindOptionValue(settings[c.index], c.text), c.value)
        << settings[c.index].name << " '" << c.text << "'";
  }
  EXPECT_EQ(SettingNames(settings),
            "Input Channel, Capture Format, Capture Rate, Startup Resolution");
  EXPECT_EQ(OptionList(settings[2]),
            "Fixed Rate (100), 100% 60.00 fps (0), 50% 30.00 fps (1), 10% 6.00 fps (9), 1% 0.60 "
            "fps (99)");
  EXPECT_EQ(OptionList(SettingInfo{0, "Input Channel", 0, {}}), "(none)");
}

TEST(SettingsOptionsTest, ListingShowsIdsValuesAndMarksTheCurrentOption) {
  const std::vector<SettingInfo> settings = CardSettings();
  EXPECT_EQ(FormatSettings({settings[0], settings[2]}),
            "           Input Channel id 0   (menu)   : value=1 (2)\n"
            "                               0: 1\n"
            "                         *     1: 2\n"
            "            Capture Rate id 4   (menu)   : value=9 (10% 6.00 fps)\n"
            "                             100: Fixed Rate\n"
            "                               0: 100%   60.00 fps\n"
            "                               1:   50%   30.00 fps\n"
            "                         *     9:   10%    6.00 fps\n"
            "                              99:     1%    0.60 fps\n");
  // A current value that no option has is shown as its number.
  EXPECT_NE(FormatSettings({SettingInfo{6, "Lock Channel Mode", 2, {{0, "Off"}, {1, "On"}}}})
                .find(": value=2 (2)\n"),
            std::string::npos);
}

}  // namespace
}  // namespace zelto::grab
