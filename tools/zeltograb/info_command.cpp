#include <cstdio>
#include <string>
#include <vector>

#include "card_session.h"
#include "commands.h"
#include "geometry_options.h"
#include "pixel_format.h"
#include "settings_command.h"

namespace zelto::grab {
namespace {

// One line a setting: its name and the current value's label.
void PrintSettings(IOrvaneSettingsProp* settings) {
  std::vector<SettingInfo> list;
  if (ReadSettingsList(settings, &list) != kExitOk || list.empty()) return;
  std::printf("settings\n");
  for (const SettingInfo& setting : list)
    std::printf("  %-22s %s\n", setting.name.c_str(), ValueText(setting, setting.value).c_str());
}

}  // namespace

int RunInfo(const Options& options) {
  CardSession s;
  int status = OpenCard(options, &s);
  if (status != kExitOk) {
    CloseCard(&s);
    return status;
  }
  int32_t width = 0, height = 0, offset_x = 0, offset_y = 0;
  int32_t bytes = 0, bits = 0, depth = 0, format = 0;
  s.image->GetImageGeometry(&width, &height, &offset_x, &offset_y);
  s.image->GetImageBytes(&bytes);
  s.image->GetBitsPerPixel(&bits);
  s.image->GetBitDepth(&depth);
  s.image->GetImageFormat(&format);
  std::optional<PixelFormatInfo> described = DescribeFormat(format);

  std::printf("module         %s\n", s.module_path.c_str());
  std::printf("driver         %s\n", s.driver_path.c_str());
  std::printf("host key       HKEY_CURRENT_USER\\%sZELTORGB\n", options.key.c_str());
  if (s.card_image) {
    int32_t scaled_w = 0, scaled_h = 0, rate = 0, roi_w = 0, roi_h = 0, roi_x = 0, roi_y = 0;
    s.card_image->GetScaling(&scaled_w, &scaled_h);
    s.card_image->GetFrameRate(&rate);
    s.card_image->GetRoi(&roi_w, &roi_h, &roi_x, &roi_y);
    std::printf("mode           %dx%d %d Hz\n", roi_w, roi_h, rate);
    std::printf("source size    %d x %d (scaling %d x %d)\n", roi_w, roi_h, scaled_w, scaled_h);
  } else {
    std::printf("mode           %dx%d\n", width, height);
  }
  std::printf("image          %d x %d at offset %d,%d, %d bytes\n", width, height, offset_x,
              offset_y, bytes);
  std::printf("bits per pixel %d\n", bits);
  std::printf("bit depth      %d\n", depth);
  std::printf("format         %d (%s)\n", format, described ? described->name : "unknown");
  PrintGeometry(s);  // region, scaling, frame rates

  int32_t ready = 0, peak = 0, total = 0;
  s.usage->GetReadyCount(&ready);
  s.usage->GetPeakReadyCount(&peak);
  s.usage->GetTotalBuffers(&total);
  int16_t buffers = 0;
  s.grabber->GetBufferCount(&buffers);
  std::printf("buffers        %d allocated; ready %d, peak ready %d, total %d\n", buffers, ready,
              peak, total);
  if (s.settings) PrintSettings(s.settings.Get());
  CloseCard(&s);
  return kExitOk;
}

}  // namespace zelto::grab
