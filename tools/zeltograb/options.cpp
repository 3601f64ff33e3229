#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace zelto::grab {
namespace {

constexpr int kMaxBuffers = 1000;

bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size() || v < min || v > max) return false;
  *value = v;
  return true;
}

bool ParsePositiveReal(const std::string& text, double* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v) || v <= 0) {
    return false;
  }
  *value = v;
  return true;
}

// --- Geometry options ---------------------------------------------------------

bool IsGeometryOption(const std::string& name) {
  return name == "--roi" || name == "--scaling" || name == "--frame-rate";
}

// "W" "x" "H" and, with `offsets`, "+X+Y"; sizes at least 1, offsets 0 or more.
bool ParseRectangle(const std::string& text, bool offsets, int32_t* out) {
  const int count = offsets ? 4 : 2;
  const char separators[] = {'x', '+', '+'};
  size_t at = 0;
  for (int k = 0; k < count; ++k) {
    const size_t end = k + 1 < count ? text.find(separators[k], at) : text.size();
    if (end == std::string::npos) return false;
    int64_t v = 0;
    if (!ParseInteger(text.substr(at, end - at), k < 2 ? 1 : 0, INT32_MAX, &v)) return false;
    out[k] = static_cast<int32_t>(v);
    at = end + 1;
  }
  return true;
}

// Empty when `name` took `value`, else why not.
std::string ParseGeometryOption(const std::string& name, const std::string& value, Options* o) {
  if (name == "--roi") {
    int32_t v[4] = {};
    if (!ParseRectangle(value, true, v)) return "--roi wants WxH+X+Y, as 640x480+0+0";
    o->roi = Options::Region{v[0], v[1], v[2], v[3]};
  } else if (name == "--scaling") {
    int32_t v[2] = {};
    if (!ParseRectangle(value, false, v)) return "--scaling wants WxH, as 800x600";
    o->scaling = Options::Scaled{v[0], v[1]};
  } else if (name == "--frame-rate") {
    int64_t n = 0;
    if (!ParseInteger(value, 1, INT32_MAX, &n)) return "--frame-rate wants 1 or more";
    o->frame_rate = static_cast<int32_t>(n);
  }
  return {};
}

// --- end of the geometry options -------------------------------------------------

struct CommandName {
  const char* name;
  Command command;
};
constexpr CommandName kCommandNames[] = {
    {"grab", Command::kGrab},
    {"info", Command::kInfo},
    {"timesource", Command::kTimeSource},
    {"settings", Command::kSettings},
    {"set", Command::kSet},
    {"selftest", Command::kSelfTest},
    {"adjust", Command::kAdjust},
};

Command FindCommand(const std::string& name) {
  for (const CommandName& entry : kCommandNames) {
    if (name == entry.name) return entry.command;
  }
  return Command::kNone;
}

ParseResult Fail(std::string error) {
  ParseResult result;
  result.error = std::move(error);
  return result;
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args, bool png_supported,
                             bool png_default) {
  ParseResult result;
  Options& o = result.options;
  o.format = png_supported && png_default ? ImageFileFormat::kPng : ImageFileFormat::kBmp;

  size_t i = 0;
  if (args.empty()) return Fail("no command given");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    o.help = true;
    if (args.size() > 1) o.command = FindCommand(args[1]);
    result.ok = true;
    return result;
  }
  o.command = FindCommand(command);
  if (o.command == Command::kNone) return Fail("unknown command '" + command + "'");
  ++i;

  const bool grab = o.command == Command::kGrab;
  while (i < args.size()) {
    const std::string& name = args[i++];
    if (name == "--help" || name == "-h") {
      o.help = true;
      continue;
    }
    if (grab && name == "--report") {
      o.report = true;
      continue;
    }
    if (o.command == Command::kSelfTest && name == "--list") {
      o.selftest_list = true;
      continue;
    }
    if (o.command == Command::kSelfTest && name == "--only") {
      if (i >= args.size() || args[i].empty()) return Fail("--only wants a check name");
      o.selftest_only.push_back(args[i++]);
      continue;
    }
    // adjust: the one NAME=VALUE.
    if (o.command == Command::kAdjust && name.rfind("--", 0) != 0) {
      if (!o.adjustment.empty()) return Fail("adjust sets one adjustment at a time");
      if (name.find('=') == std::string::npos) return Fail("adjust wants NAME=VALUE");
      o.adjustment = name;
      continue;
    }
    // The time source values: grab and timesource (time_source_options.cpp).
    if (IsTimeSourceOption(name) && (grab || o.command == Command::kTimeSource)) {
      if (i >= args.size()) return Fail("option " + name + " needs a value");
      std::string error;
      if (!ParseTimeSourceOption(name, args[i++], &o.time_source, &error)) return Fail(error);
      continue;
    }
    // The settings (settings_options.cpp): set's NAME=VALUE, grab's capture options.
    if (o.command == Command::kSet && name.rfind("--", 0) != 0) {
      std::string error;
      if (!ParseAssignment(name, &o.settings, &error)) return Fail(error);
      continue;
    }
    if (IsCaptureOption(name) && grab) {
      if (i >= args.size()) return Fail("option " + name + " needs a value");
      std::string error;
      if (!ParseCaptureOption(name, args[i++], &o.settings, &error)) return Fail(error);
      continue;
    }
    const bool grab_only = name == "--frames" || name == "--seconds" || name == "--buffers" ||
                           name == "--out" || name == "--every" || name == "--format" ||
                           IsGeometryOption(name);
    const bool common =
        name == "--sim" || name == "--driver" || name == "--key" || name == "--module";
    if (!common && !(grab && grab_only)) {
      return Fail("unknown option '" + name + "' for " + command);
    }
    if (i >= args.size()) return Fail("option " + name + " needs a value");
    const std::string& value = args[i++];

    if (IsGeometryOption(name)) {
      std::string error = ParseGeometryOption(name, value, &o);
      if (!error.empty()) return Fail(std::move(error));
      continue;
    }

    int64_t n = 0;
    if (name == "--frames") {
      if (!ParseInteger(value, 1, INT32_MAX, &n))
        return Fail("--frames wants a count of 1 or more");
      o.frames = n;
    } else if (name == "--seconds") {
      double s = 0;
      if (!ParsePositiveReal(value, &s)) return Fail("--seconds wants a time above 0");
      o.seconds = s;
    } else if (name == "--buffers") {
      if (!ParseInteger(value, 1, kMaxBuffers, &n)) return Fail("--buffers wants 1 to 1000");
      o.buffers = static_cast<int>(n);
    } else if (name == "--every") {
      if (!ParseInteger(value, 1, INT32_MAX, &n)) return Fail("--every wants 1 or more");
      o.every = static_cast<int>(n);
    } else if (name == "--out") {
      if (value.empty()) return Fail("--out wants a directory");
      o.out_dir = value;
    } else if (name == "--format") {
      if (value == "png") {
        if (!png_supported) return Fail("this build writes bmp and raw, not png");
        o.format = ImageFileFormat::kPng;
      } else if (value == "bmp") {
        o.format = ImageFileFormat::kBmp;
      } else if (value == "raw") {
        o.format = ImageFileFormat::kRaw;
      } else {
        return Fail("--format wants png, bmp or raw");
      }
    } else if (name == "--sim") {
      o.sim = value;
    } else if (name == "--driver") {
      if (value.empty()) return Fail("--driver wants a path");
      o.driver = value;
    } else if (name == "--module") {
      if (value.empty()) return Fail("--module wants a path");
      o.module = value;
    } else if (name == "--key") {
      if (value.empty() || value == "\\") return Fail("--key wants a key path");
      o.key = value.back() == '\\' ? value : value + "\\";
    }
  }
  if (o.frames && o.seconds) return Fail("give --frames or --seconds, not both");
  if (o.command == Command::kSet && !o.settings.name && !o.help)
    return Fail("set wants NAME=VALUE");
  if (o.settings.capture_rate && o.frame_rate) {
    return Fail("give --capture-rate or --frame-rate (module pacing), not both");
  }
  result.ok = true;
  if (o.roi && o.scaling) return Fail("give --roi or --scaling, not both");
  if (o.report && o.out_dir.empty()) return Fail("--report needs --out DIR");
  return result;
}

std::string CardOptionsUsage() {
  return "  --sim TEXT      ZeltoSim settings for this run, as ZELTOSIM=\"key=value;...\"\n"
         "  --driver PATH   store PATH as the driver library in the registry\n"
         "  --key KEY       host key under HKEY_CURRENT_USER (default\n"
         "                  Software\\Zelto\\zeltograb\\)\n"
         "  --module PATH   load this module instead of the bundled one\n";
}

std::string Usage(Command command) {
  switch (command) {
    case Command::kGrab:
      return "usage: zeltograb grab [options]\n"
             "Grabs frames through the ZeltoRGB module and prints a summary.\n"
             "\n"
             "  --frames N      stop after N frames\n"
             "  --seconds S     stop after S seconds (default: run until Ctrl-C)\n"
             "  --buffers N     image buffers in the module's queue (default 8)\n"
             "  --out DIR       write images, frames.csv and summary.txt into DIR\n"
             "  --every K       write the image of every K-th frame only (default 1)\n"
             "  --report        draw DIR/report.png from the grab (needs --out; python3 with\n"
             "                  matplotlib)\n"
             "  --format F      png, bmp or raw (the module's bytes as delivered); default\n"
             "                  png natively, bmp on Windows\n" +
             CardOptionsUsage() + CaptureOptionsUsage() + TimeSourceUsage() +
             "\n"
             "Geometry and pacing, set through the module before grabbing (it stores them\n"
             "for the next start, as for any host):\n"
             "  --roi WxH+X+Y   deliver that region of the source at 1:1\n"
             "  --scaling WxH   deliver the whole source scaled to W x H\n"
             "  --frame-rate N  the module paces delivery at N frames per second\n"
             "\n"
             "Exit status: 0 done, 2 usage, 3 the module or the driver failed.\n";
    case Command::kTimeSource:
      return "usage: zeltograb timesource [options]\n"
             "Stores the time source values given, opens the card, grabs a few frames and\n"
             "prints the time source settings, whether the plug-in can be bound, its\n"
             "synchronisation status and GPS support.\n"
             "\n" +
             CardOptionsUsage() + TimeSourceUsage() +
             "\n"
             "Exit status: 0 done, 2 usage, 3 the module or the driver failed.\n";
    case Command::kInfo:
      return "usage: zeltograb info [options]\n"
             "Opens the card and prints its mode, image geometry, region, scaling, frame\n"
             "rates, pixel format and buffer counters.\n"
             "\n" +
             CardOptionsUsage() +
             "\n"
             "Exit status: 0 done, 2 usage, 3 the module or the driver failed.\n";
    case Command::kSettings: return SettingsUsage();
    case Command::kSet: return SetUsage();
    case Command::kSelfTest:
      return "usage: zeltograb selftest [options]\n"
             "Checks the module and the configured driver through the module's interfaces,\n"
             "one line per check: ok, FAIL or skip with the reason. Works on a copy of the\n"
             "user's values under <key>-selftest\\ and leaves the user's values untouched.\n"
             "\n"
             "  --list          name the checks and stop\n"
             "  --only NAME     run just this check (repeatable)\n" +
             CardOptionsUsage() +
             "\n"
             "Exit status: 0 nothing failed, 2 usage, 3 a check failed.\n";
    case Command::kAdjust:
      return "usage: zeltograb adjust [NAME=VALUE] [options]\n"
             "Lists the card's adjustments with their ids, ranges and values; with\n"
             "NAME=VALUE (NAME its name in any case, or its id) sets one first. A value\n"
             "outside the range is passed on as given, with a warning. The module stores\n"
             "it for the next start, as for any host.\n"
             "\n" +
             CardOptionsUsage() +
             "\n"
             "Exit status: 0 done, 2 usage or no such adjustment, 3 the module or the\n"
             "driver failed.\n";
    case Command::kNone: break;
  }
  return "usage: zeltograb <command> [options]\n"
         "\n"
         "  grab    grab frames, write images and frames.csv, print a summary\n"
         "  info    print the card's mode, geometry, format and counters\n"
         "  timesource  print the time source binding, sync status and GPS support\n"
         "  settings    list the card's settings: id, value and options\n"
         "  set NAME=VALUE  change one setting (stored for the next start)\n"
         "  selftest    check the module and the driver, one line per check\n"
         "  adjust      list the adjustments (contrast, positions, ...) or set one\n"
         "\n"
         "zeltograb <command> --help shows the options of a command.\n"
         "Without a driver configured, the bundled simulated card (ZeltoSim) is used.\n";
}

const char* FormatName(ImageFileFormat format) {
  switch (format) {
    case ImageFileFormat::kPng: return "png";
    case ImageFileFormat::kBmp: return "bmp";
    case ImageFileFormat::kRaw: return "raw";
  }
  return "?";
}

const char* FormatExtension(ImageFileFormat format) {
  switch (format) {
    case ImageFileFormat::kPng: return ".png";
    case ImageFileFormat::kBmp: return ".bmp";
    case ImageFileFormat::kRaw: return ".raw";
  }
  return "";
}

}  // namespace zelto::grab
