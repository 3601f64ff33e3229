#include "geometry_options.h"

#include <cstdio>

namespace zelto::grab {

int ApplyGeometryOptions(const Options& options, CardSession& s) {
  const bool card_specific = options.scaling || options.frame_rate;
  if (card_specific && !s.card_image) {
    std::fprintf(stderr, "zeltograb: this module has no scaling or frame rate interface\n");
    return kExitModuleError;
  }
  HRESULT hr = S_OK;
  if (options.roi) {
    const Options::Region& r = *options.roi;
    hr = s.image->SetROI(r.width, r.height, r.offset_x, r.offset_y);
    if (FAILED(hr)) return ReportComFailure("SetROI", hr);
  }
  if (options.scaling) {
    hr = s.card_image->SetScalingMode(1);
    if (SUCCEEDED(hr))
      hr = s.card_image->SetScaling(options.scaling->width, options.scaling->height);
    if (FAILED(hr)) return ReportComFailure("SetScaling", hr);
  }
  if (options.frame_rate) {
    hr = s.card_image->SetFrameRate(*options.frame_rate);
    if (FAILED(hr)) return ReportComFailure("SetFrameRate", hr);
  }
  return kExitOk;
}

void PrintGeometry(CardSession& s) {
  if (!s.card_image) return;
  int32_t w = 0, h = 0, x = 0, y = 0;
  if (SUCCEEDED(s.card_image->GetRoi(&w, &h, &x, &y))) {
    std::printf("region         %d x %d at %d,%d\n", w, h, x, y);
  }
  int32_t mode = 0;
  s.card_image->GetScalingMode(&mode);
  if (SUCCEEDED(s.card_image->GetScaling(&w, &h))) {
    std::printf("scaling        %s, %d x %d\n", mode != 0 ? "on" : "off (region mode)", w, h);
  }
  int32_t rate = 0, fixed = 0;
  s.card_image->GetFrameRate(&rate);
  s.card_image->GetFixedRateMode(&fixed);
  // Without module pacing the frame rate is the source's, as the module found it.
  if (fixed != 0) {
    std::printf("frame rate     module paced at %d fps\n", rate);
  } else {
    std::printf("frame rate     source %d Hz, not module paced\n", rate);
  }
}

}  // namespace zelto::grab
