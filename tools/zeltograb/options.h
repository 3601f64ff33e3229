// The command line of zeltograb: commands, options, their defaults and the usage
// texts. Pure: parsing touches neither the environment nor the module.
#ifndef ZELTO_TOOLS_ZELTOGRAB_OPTIONS_H_
#define ZELTO_TOOLS_ZELTOGRAB_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings_options.h"
#include "time_source_options.h"

namespace zelto::grab {

enum class Command { kNone, kGrab, kInfo, kTimeSource, kSettings, kSet, kSelfTest, kAdjust };
enum class ImageFileFormat { kPng, kBmp, kRaw };

inline constexpr const char* kDefaultHostKey = "Software\\Zelto\\zeltograb\\";
inline constexpr int kDefaultBuffers = 8;

struct Options {
  Command command = Command::kNone;
  bool help = false;  // --help: print the usage of `command` and stop

  // grab
  std::optional<int64_t> frames;  // --frames N
  std::optional<double> seconds;  // --seconds S; neither: until interrupted
  int buffers = kDefaultBuffers;  // --buffers N, 1..1000
  std::string out_dir;            // --out DIR; empty: nothing written
  int every = 1;                  // --every K: an image of every K-th frame
  bool report = false;            // --report: DIR/report.png at the end (scripts/report)
  ImageFileFormat format = ImageFileFormat::kPng;

  // grab: geometry and module pacing, set through the module before grabbing (and
  // so persisted by it like a host's setting).
  struct Region {
    int32_t width, height, offset_x, offset_y;
  };
  struct Scaled {
    int32_t width, height;
  };
  std::optional<Region> roi;          // --roi WxH+X+Y: region of interest
  std::optional<Scaled> scaling;      // --scaling WxH: scaling mode at that size
  std::optional<int32_t> frame_rate;  // --frame-rate N: module-paced at N fps

  // selftest
  bool selftest_list = false;              // --list: name the checks and stop
  std::vector<std::string> selftest_only;  // --only NAME (repeatable): just these

  // grab, info and selftest
  std::optional<std::string> sim;     // --sim "key=value;...": ZELTOSIM for this run
  std::optional<std::string> driver;  // --driver PATH: stored as the driver key
  std::string key = kDefaultHostKey;  // --key HOSTKEY, always ending in a backslash
  std::optional<std::string> module;  // --module PATH: the module to load

  // adjust: "NAME=VALUE" (NAME an adjustment's name or id); empty: list them
  std::string adjustment;

  // grab and timesource: the host's time source values (time_source_options.h)
  TimeSourceOptions time_source;

  // grab (capture format and rate) and set (the one NAME=VALUE): settings_options.h
  SettingsOptions settings;
};

struct ParseResult {
  bool ok = false;
  Options options;
  std::string error;  // why parsing failed, one line
};

// Parses the arguments after the program name. `png_supported` says whether this
// build writes PNG, `png_default` whether PNG (else BMP) is the default format.
ParseResult ParseCommandLine(const std::vector<std::string>& args, bool png_supported,
                             bool png_default);

// The usage text of one command, or of the program for Command::kNone.
std::string Usage(Command command);
// The usage lines of the options every command that opens the card takes.
std::string CardOptionsUsage();

const char* FormatName(ImageFileFormat format);
const char* FormatExtension(ImageFileFormat format);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_OPTIONS_H_
