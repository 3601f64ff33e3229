#include "options.h"

#include <gtest/gtest.h>

namespace zelto::grab {
namespace {

ParseResult Parse(std::vector<std::string> args, bool png = true, bool png_default = true) {
  return ParseCommandLine(args, png, png_default);
}

TEST(OptionsTest, GrabDefaultsRunUntilStoppedWithoutFiles) {
  ParseResult r = Parse({"grab"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.command, Command::kGrab);
  EXPECT_FALSE(r.options.frames);
  EXPECT_FALSE(r.options.seconds);
  EXPECT_TRUE(r.options.out_dir.empty());
  EXPECT_EQ(r.options.buffers, kDefaultBuffers);
  EXPECT_EQ(r.options.every, 1);
  EXPECT_EQ(r.options.format, ImageFileFormat::kPng);
  EXPECT_EQ(r.options.key, "Software\\Zelto\\zeltograb\\");
}

TEST(OptionsTest, GrabTakesEveryOption) {
  ParseResult r =
      Parse({"grab", "--frames", "120", "--buffers", "3", "--out", "frames", "--every", "10",
             "--format", "bmp", "--sim", "pacing=free;channels=1", "--driver", "/x/ZeltoSim.so",
             "--key", "Software\\Me\\", "--module", "/x/libOrvZeltoRGB.so"});
  ASSERT_TRUE(r.ok) << r.error;
  const Options& o = r.options;
  EXPECT_EQ(*o.frames, 120);
  EXPECT_EQ(o.buffers, 3);
  EXPECT_EQ(o.out_dir, "frames");
  EXPECT_EQ(o.every, 10);
  EXPECT_EQ(o.format, ImageFileFormat::kBmp);
  EXPECT_EQ(*o.sim, "pacing=free;channels=1");
  EXPECT_EQ(*o.driver, "/x/ZeltoSim.so");
  EXPECT_EQ(o.key, "Software\\Me\\");
  EXPECT_EQ(*o.module, "/x/libOrvZeltoRGB.so");
}

TEST(OptionsTest, GeometryOptionsOfGrab) {
  ParseResult r = Parse({"grab", "--roi", "640x480+4+2", "--frame-rate", "25"});
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_TRUE(r.options.roi);
  EXPECT_EQ(r.options.roi->width, 640);
  EXPECT_EQ(r.options.roi->height, 480);
  EXPECT_EQ(r.options.roi->offset_x, 4);
  EXPECT_EQ(r.options.roi->offset_y, 2);
  EXPECT_EQ(*r.options.frame_rate, 25);
  r = Parse({"grab", "--scaling", "800x600"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.scaling->width, 800);
  EXPECT_EQ(r.options.scaling->height, 600);

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"grab", "--roi", "640x480"},
        {"grab", "--roi", "640x480+4"},
        {"grab", "--roi", "640x480+-4+0"},
        {"grab", "--roi", "0x480+0+0"},
        {"grab", "--roi", "640x480+0+0x"},
        {"grab", "--scaling", "800"},
        {"grab", "--scaling", "800x"},
        {"grab", "--frame-rate", "0"},
        {"grab", "--roi", "64x64+0+0", "--scaling", "800x600"},
        {"info", "--roi", "64x64+0+0"}}) {
    EXPECT_FALSE(Parse(bad).ok) << bad[1] << " " << bad[2];
  }
}

// The module keeps its values at host key + "ZELTORGB": without the backslash they
// would land in a sibling key.
TEST(OptionsTest, HostKeyAlwaysEndsInABackslash) {
  ParseResult r = Parse({"info", "--key", "Software\\Me"});
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.options.key, "Software\\Me\\");
  EXPECT_FALSE(Parse({"info", "--key", "\\"}).ok);
  EXPECT_FALSE(Parse({"info", "--key", ""}).ok);
}

TEST(OptionsTest, SecondsAcceptFractions) {
  ParseResult r = Parse({"grab", "--seconds", "2.5"});
  ASSERT_TRUE(r.ok);
  EXPECT_DOUBLE_EQ(*r.options.seconds, 2.5);
}

TEST(OptionsTest, RejectsBadNumbers) {
  for (const char* bad : {"0", "-1", "+3", "12x", "", "1e3", "99999999999", " 5"}) {
    EXPECT_FALSE(Parse({"grab", "--frames", bad}).ok) << bad;
  }
  EXPECT_FALSE(Parse({"grab", "--buffers", "0"}).ok);
  EXPECT_FALSE(Parse({"grab", "--buffers", "1001"}).ok);  // AllocateBuffers takes 16 bits
  EXPECT_FALSE(Parse({"grab", "--every", "0"}).ok);
  EXPECT_FALSE(Parse({"grab", "--seconds", "0"}).ok);
  EXPECT_FALSE(Parse({"grab", "--seconds", "nan"}).ok);
  EXPECT_FALSE(Parse({"grab", "--seconds", "inf"}).ok);
}

TEST(OptionsTest, RejectsMisuse) {
  EXPECT_FALSE(Parse({}).ok);
  EXPECT_FALSE(Parse({"snap"}).ok);
  EXPECT_FALSE(Parse({"grab", "--frames"}).ok);  // value missing
  EXPECT_FALSE(Parse({"grab", "--frames", "5", "--seconds", "1"}).ok);
  EXPECT_FALSE(Parse({"grab", "--format", "jpeg"}).ok);
  EXPECT_FALSE(Parse({"grab", "--colour", "red"}).ok);
  EXPECT_FALSE(Parse({"grab", "extra"}).ok);
  // Grab's options belong to grab.
  EXPECT_FALSE(Parse({"info", "--frames", "5"}).ok);
  ParseResult r = Parse({"grab", "--frames", "0"});
  EXPECT_NE(r.error.find("--frames"), std::string::npos) << r.error;
}

TEST(OptionsTest, SlowPngIsOnRequestOnly) {
  EXPECT_EQ(Parse({"grab"}, true, false).options.format, ImageFileFormat::kBmp);
  EXPECT_EQ(Parse({"grab", "--format", "png"}, true, false).options.format, ImageFileFormat::kPng);
}

TEST(OptionsTest, BuildWithoutPngDefaultsToBmpAndRefusesPng) {
  ParseResult r = Parse({"grab"}, false);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.options.format, ImageFileFormat::kBmp);
  EXPECT_FALSE(Parse({"grab", "--format", "png"}, false).ok);
}

TEST(OptionsTest, HelpEverywhere) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                        {"help"},
                                        {"-h"},
                                        {"grab", "--help"},
                                        {"info", "--help"},
                                        {"grab", "--frames", "3", "-h"},
                                        {"help", "grab"}}) {
    ParseResult r = Parse(args);
    ASSERT_TRUE(r.ok) << args[0];
    EXPECT_TRUE(r.options.help) << args[0];
  }
  EXPECT_EQ(Parse({"grab", "--help"}).options.command, Command::kGrab);
  EXPECT_EQ(Parse({"help", "info"}).options.command, Command::kInfo);
  EXPECT_NE(Usage(Command::kGrab).find("--frames"), std::string::npos);
  EXPECT_NE(Usage(Command::kInfo).find("zeltograb info"), std::string::npos);
  EXPECT_NE(Usage(Command::kNone).find("grab"), std::string::npos);
}

TEST(OptionsTest, AdjustTakesOneNameValueAndTheCommonOptions) {
  ParseResult r = Parse({"adjust"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.command, Command::kAdjust);
  EXPECT_TRUE(r.options.adjustment.empty());
  r = Parse({"adjust", "--sim", "pacing=free", "Horizontal Position=300", "--key", "K"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.adjustment, "Horizontal Position=300");
  EXPECT_EQ(r.options.key, "K\\");
  EXPECT_FALSE(Parse({"adjust", "Contrast"}).ok);
  EXPECT_FALSE(Parse({"adjust", "Contrast=1", "Phase=2"}).ok);
  EXPECT_FALSE(Parse({"adjust", "--frames", "3"}).ok);
  EXPECT_FALSE(Parse({"adjust", "--time-source", "x.so"}).ok);
  EXPECT_EQ(Parse({"--help", "adjust"}).options.command, Command::kAdjust);
}

}  // namespace
}  // namespace zelto::grab
