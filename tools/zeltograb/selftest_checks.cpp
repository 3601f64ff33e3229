// The checks of `zeltograb selftest`, in running order. Each talks to the module
// through its COM interfaces only and returns one line.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <iterator>
#include <set>

#include "pixel_format.h"
#include "platform/registry.h"
#include "selftest.h"
#include "settings_command.h"
#include "time_source_command.h"
#include "timesource/time_source_settings.h"
#include "trace_capture.h"
#include "zeltosim_pattern.h"

namespace zelto::grab {
namespace {

using std::chrono::milliseconds;

std::string Hr(HRESULT hr) { return DescribeHresult(hr); }

// --- object ----------------------------------------------------------------------

struct InterfaceName {
  const IID* iid;
  const char* name;
};
const InterfaceName kInterfaces[] = {
    {&IID_ISupportErrorInfo, "ISupportErrorInfo"},
    {&IID_IOrvaneZeltoRGB, "IOrvaneZeltoRGB"},
    {&IID_ISpecifyPropertyPages, "ISpecifyPropertyPages"},
    {&IID_IOrvaneGenericGrabber, "IOrvaneGenericGrabber"},
    {&IID_IOrvaneImageProp, "IOrvaneImageProp"},
    {&IID_IOrvaneZeltoRGBImageProp, "IOrvaneZeltoRGBImageProp"},
    {&IID_IOrvaneAdjustment, "IOrvaneAdjustment"},
    {&IID_IOrvaneSettingsProp, "IOrvaneSettingsProp"},
    {&IID_IOrvaneGenericButtonClickProp, "IOrvaneGenericButtonClickProp"},
    {&IID_IOrvaneBufferUsageProp, "IOrvaneBufferUsageProp"},
    {&IID_IOrvaneTimeSourceProp, "IOrvaneTimeSourceProp"},
};

CheckResult CheckObject(SelfTest& test) {
  TestCard card;
  HRESULT hr = test.NewObject(&card);
  if (FAILED(hr)) return CheckFail("no object: " + Hr(hr));
  ComPtr<IUnknown> identity;
  card.grabber->QueryInterface(IID_IUnknown, identity.PutVoid());
  int offered = 0;
  std::string missing, broken;
  bool adjustment_missing = false;
  for (const InterfaceName& i : kInterfaces) {
    ComPtr<IUnknown> p;
    if (FAILED(card.grabber->QueryInterface(*i.iid, p.PutVoid())) || !p) {
      if (i.iid == &IID_IOrvaneAdjustment) {
        adjustment_missing = true;
      } else {
        missing += std::string(missing.empty() ? "" : ", ") + i.name;
      }
      continue;
    }
    ++offered;
    // One object: every interface leads back to the same IUnknown.
    ComPtr<IUnknown> back;
    if (FAILED(p->QueryInterface(IID_IUnknown, back.PutVoid())) || back.Get() != identity.Get()) {
      broken += std::string(broken.empty() ? "" : ", ") + i.name;
    }
  }
  const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* none = &card;  // anything but null: the refusal must clear it
  hr = card.grabber->QueryInterface(unknown, &none);
  if (hr != E_NOINTERFACE || none != nullptr) {
    return CheckFail("an unknown interface gives " + Hr(hr) + " and a non-null pointer");
  }
  ComPtr<ISupportErrorInfo> errors;
  if (SUCCEEDED(card.grabber->QueryInterface(IID_ISupportErrorInfo, errors.PutVoid()))) {
    if (errors->InterfaceSupportsErrorInfo(IID_IOrvaneZeltoRGB) != S_OK ||
        errors->InterfaceSupportsErrorInfo(IID_IOrvaneGenericGrabber) != S_FALSE) {
      return CheckFail("ISupportErrorInfo does not answer S_OK for IOrvaneZeltoRGB alone");
    }
  }
  // Before CreateCard the card's methods fail without a crash.
  hr = card.grabber->AllocateBuffers(1);
  if (hr != E_FAIL) return CheckFail("AllocateBuffers before CreateCard gives " + Hr(hr));
  if (card.settings) {
    int32_t count = 0;
    hr = card.settings->GetSettingsCount(&count);
    if (hr != E_FAIL) return CheckFail("GetSettingsCount before CreateCard gives " + Hr(hr));
  }
  if (!missing.empty()) return CheckFail("not offered: " + missing);
  if (!broken.empty()) return CheckFail("not one object's identity: " + broken);
  const std::string count =
      std::to_string(offered) + " of " + std::to_string(std::size(kInterfaces)) + " interfaces";
  if (adjustment_missing) return CheckSkip(count + "; IOrvaneAdjustment: interface not offered");
  return CheckOk(count + ", one identity; E_FAIL before CreateCard");
}

// --- error convention ---------------------------------------------------------

// The source and description of the calling thread's error information.
bool TakeErrorInfo(std::string* source, std::string* description) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return false;
  BSTR text = nullptr;
  if (SUCCEEDED(info->GetSource(&text))) *source = NarrowBstr(text);
  SysFreeString(text);
  text = nullptr;
  if (SUCCEEDED(info->GetDescription(&text))) *description = NarrowBstr(text);
  SysFreeString(text);
  return true;
}

CheckResult CheckErrorConvention(SelfTest& test) {
  // A wait ended with nothing ready: S_FALSE, "overrun", no record.
  TestCard card;
  std::string error = test.Open(&card);
  if (!error.empty()) return CheckFail(error);
  card.grabber->AllocateBuffers(2);
  card.grabber->EnableGrab();
  ImageRecord* record = nullptr;
  HRESULT hr;
  {
    // No buffer is armed, so no frame can come: only the signal ends the wait.
    Deadline wake(card.grabber.Get(), milliseconds(0));
    hr = card.grabber->GetFrame(&record);
  }
  std::string source, description;
  const bool info = TakeErrorInfo(&source, &description);
  card.grabber->DisableGrab();
  card.grabber->FreeAllBuffers();
  if (hr != S_FALSE || record != nullptr || !info || description != "overrun") {
    return CheckFail("a GetFrame woken with nothing ready gives " + Hr(hr) +
                     (record != nullptr ? " with a record" : "") + ", description \"" +
                     description + "\"");
  }
  card = TestCard{};

  if (!test.driver_is_zeltosim()) {
    return CheckSkip("overrun as S_FALSE ok; a forced CreateCard failure needs ZeltoSim");
  }
  // The driver's first call fails once: the card cannot start.
  TestCard failing;
  hr = test.NewObject(&failing);
  if (FAILED(hr)) return CheckFail("no object: " + Hr(hr));
  test.InjectDriverError("RGBCaptureInitialise", 0x10002, 1);
  BSTR key = AllocBstr(test.test_key());
  hr = failing.grabber->CreateCard(key);
  SysFreeString(key);
  source.clear();
  description.clear();
  const bool failure_info = TakeErrorInfo(&source, &description);
  if (hr != DISP_E_EXCEPTION) {
    return CheckFail("CreateCard with a failing driver gives " + Hr(hr) + ", not DISP_E_EXCEPTION");
  }
  if (!failure_info || description != "Camera Initialization FAILED..." ||
      source.rfind(ZELTORGB_VERSION_INDEPENDENT_PROGID, 0) != 0) {
    return CheckFail("the failed CreateCard's error information is \"" + description +
                     "\" from \"" + source + "\"");
  }
  hr = failing.grabber->AllocateBuffers(1);
  if (hr != E_FAIL) return CheckFail("after a failed CreateCard AllocateBuffers gives " + Hr(hr));
  return CheckOk("overrun as S_FALSE; a failed start as DISP_E_EXCEPTION \"" + description +
                 "\" from " + source);
}

// --- frame queue ----------------------------------------------------------------

CheckResult CheckQueue(SelfTest& test) {
  constexpr int kBuffers = 4;
  TestCard card;
  std::string error = test.Open(&card);
  if (!error.empty()) return CheckFail(error);
  IOrvaneGenericGrabber* g = card.grabber.Get();
  auto count = [&] {
    int16_t n = -1;
    g->GetBufferCount(&n);
    return n;
  };
  auto fail = [&](const std::string& why) {
    g->DisableGrab();
    g->FreeAllBuffers();
    return CheckFail(why);
  };
  g->AllocateBuffers(kBuffers);
  if (count() != kBuffers) return fail("GetBufferCount " + std::to_string(count()) + " after 4");
  std::set<const void*> seen;
  for (int round = 0; round < 3; ++round) {
    if (FAILED(g->EnableGrab())) return fail("EnableGrab failed");
    int32_t total = 0;
    card.usage->GetTotalBuffers(&total);
    if (total != kBuffers) {
      return fail("round " + std::to_string(round) + ": " + std::to_string(total) +
                  " buffers in the queue at EnableGrab, not 4");
    }
    Deadline deadline(g, test.FrameLimit());
    // Every buffer is free: none of these may wait.
    for (int i = 0; i < kBuffers; ++i) {
      HRESULT hr = g->ArmBuffer();
      if (hr != S_OK) {
        return fail("round " + std::to_string(round) + ": buffer " + std::to_string(i + 1) +
                    " of 4 was not free (" + Hr(hr) + ")");
      }
    }
    // As many frames as were armed, each in a buffer of its own.
    std::set<const void*> round_buffers;
    for (int i = 0; i < kBuffers; ++i) {
      ImageRecord* record = nullptr;
      while (record == nullptr && !deadline.expired()) g->GetFrame(&record);
      if (record == nullptr) {
        test.MissedFrames();
        return fail("round " + std::to_string(round) + ": frame " + std::to_string(i + 1) +
                    " of 4 never came");
      }
      if (!round_buffers.insert(record->Data).second) {
        return fail("a buffer was delivered twice without being armed again");
      }
      seen.insert(record->Data);
      g->ReleaseCurrentFrame();
    }
    if (seen.size() > kBuffers) return fail("more buffers delivered than allocated");
    if (count() != kBuffers) {
      return fail("GetBufferCount " + std::to_string(count()) + " with nothing armed");
    }
    // Disabling with buffers armed hands them back as frames.
    g->ArmBuffer();
    g->ArmBuffer();
    g->DisableGrab();
    if (count() != kBuffers) {
      return fail("after DisableGrab with 2 armed: GetBufferCount " + std::to_string(count()));
    }
    for (int i = 0; i < 2; ++i) {
      ImageRecord* record = nullptr;
      while (record == nullptr && !deadline.expired()) g->GetFrame(&record);
      if (record == nullptr) return fail("an armed buffer was not handed back at DisableGrab");
      g->ReleaseCurrentFrame();
    }
  }
  g->FreeAllBuffers();
  if (count() != 0) return CheckFail("GetBufferCount " + std::to_string(count()) + " after free");
  return CheckOk("4 buffers through 3 arm/get/release/disable rounds, each in one place");
}

CheckResult CheckGrabControl(SelfTest& test) {
  TestCard card;
  std::string error = test.Open(&card);
  if (!error.empty()) return CheckFail(error);
  IOrvaneGenericGrabber* g = card.grabber.Get();
  g->AllocateBuffers(3);
  HRESULT first = g->EnableGrab(), second = g->EnableGrab();
  int32_t total = 0;
  card.usage->GetTotalBuffers(&total);
  std::string problem;
  if (first != S_OK || second != S_OK) problem = "EnableGrab twice gives " + Hr(second);
  int frames = 0;
  {
    Deadline deadline(g, test.FrameLimit());
    for (int i = 0; i < 3; ++i) g->ArmBuffer();
    while (frames < 5 && !deadline.expired()) {
      ImageRecord* record = nullptr;
      g->GetFrame(&record);
      if (record == nullptr) continue;
      ++frames;
      g->ReleaseCurrentFrame();
      g->ArmBuffer();
    }
  }
  first = g->DisableGrab();
  second = g->DisableGrab();
  if (problem.empty() && (first != S_OK || second != S_OK)) {
    problem = "DisableGrab twice gives " + Hr(second);
  }
  g->ReleaseAllFrames();
  if (problem.empty() && total != 3) problem = std::to_string(total) + " buffers after two enables";
  if (frames < 5) test.MissedFrames();
  if (problem.empty() && frames < 5) problem = "only " + std::to_string(frames) + " frames";
  // And once more from the start.
  GrabOutcome again;
  if (problem.empty()) {
    g->FreeAllBuffers();
    again = test.Grab(card, 3, 3, test.FrameLimit());
    if (!again.error.empty()) problem = "after disabling twice: " + again.error;
  } else {
    g->FreeAllBuffers();
  }
  if (!problem.empty()) return CheckFail(problem);
  return CheckOk("EnableGrab and DisableGrab twice each; frames flow, and again after");
}

// --- frames ---------------------------------------------------------------------

CheckResult CheckFrameRate(SelfTest& test) {
  const SelfTest::FrameRun& run = test.Frames();
  if (!run.grab.error.empty()) return CheckFail(run.grab.error);
  if (run.source_rate <= 0) return CheckSkip("the card reports no source frame rate");
  return JudgeFrameRate(run.grab.frames, run.source_rate, 0.1);
}

CheckResult CheckTimeStamps(SelfTest& test) {
  const SelfTest::FrameRun& run = test.Frames();
  if (!run.grab.error.empty()) return CheckFail(run.grab.error);
  const TimeSourceSettings settings = ReadTimeSourceSettings(test.test_key());
  CheckResult result = JudgeTimeStamps(run.grab.frames, settings.offset_us, 1000000);
  if (settings.offset_us != 0 && result.outcome == CheckOutcome::kOk) {
    result.detail += " (after the time offset of " + std::to_string(settings.offset_us) + " us)";
  }
  return result;
}

CheckResult CheckTearing(SelfTest& test) {
  const SelfTest::FrameRun& run = test.Frames();
  if (!run.grab.error.empty()) return CheckFail(run.grab.error);
  return JudgeTearing(run.grab.frames);
}

// --- settings -------------------------------------------------------------------

// The list as far as the module gives it; a failing call shows as a missing
// entry in the checks that use it.
std::vector<SettingInfo> ReadSettings(IOrvaneSettingsProp* settings) {
  std::vector<SettingInfo> list;
  std::string failed_call;
  ReadSettingEntries(settings, &list, &failed_call);
  return list;
}

// Rebuilds the lists without showing a property page: a set of an identifier
// that is not listed changes nothing but rebuilds.
void RebuildLists(IOrvaneSettingsProp* settings) { settings->SetSettingValue(-1, 0); }

const SettingInfo* FindSetting(const std::vector<SettingInfo>& list, int32_t id) {
  for (const SettingInfo& s : list) {
    if (s.id == id) return &s;
  }
  return nullptr;
}

struct SettingsWalk {
  IOrvaneSettingsProp* settings;
  std::set<int32_t> tested;
  int sets = 0;
  std::string failure;
  std::string notes;

  // Every option of setting `id` set and read back, then its value put back. A
  // setting that appears on the way (the startup settings under Lock Channel
  // Mode On) is walked right then.
  void Walk(int32_t id, int depth) {
    tested.insert(id);
    const std::vector<SettingInfo> list = ReadSettings(settings);
    const SettingInfo* found = FindSetting(list, id);
    if (found == nullptr) return;
    const SettingInfo s = *found;
    for (const auto& [value, label] : s.options) {
      if (!failure.empty()) return;
      HRESULT hr = settings->SetSettingValue(id, value);
      ++sets;
      const std::string description = TakeErrorDescription();
      int32_t read = INT32_MIN;
      settings->GetSettingValue(id, &read);
      if (FAILED(hr)) {
        // A channel without a signal cannot be opened: a fact about the input.
        if (s.name == "Input Channel") {
          notes += " channel " + label + ": " + description + ";";
          continue;
        }
        failure = "\"" + s.name + "\" = " + label + ": " + Hr(hr) + " " + description;
        return;
      }
      if (read != value) {
        failure = "\"" + s.name + "\" set to " + label + " (" + std::to_string(value) +
                  ") reads back " + std::to_string(read);
        return;
      }
      if (depth < 2) {
        for (const SettingInfo& other : ReadSettings(settings)) {
          if (FindSetting(list, other.id) == nullptr && tested.count(other.id) == 0) {
            Walk(other.id, depth + 1);
          }
        }
      }
    }
    settings->SetSettingValue(id, s.value);
    int32_t read = INT32_MIN;
    settings->GetSettingValue(id, &read);
    if (failure.empty() && read != s.value) {
      failure = "\"" + s.name + "\" put back to " + std::to_string(s.value) + " reads " +
                std::to_string(read);
    }
  }
};

CheckResult CheckSettings(SelfTest& test) {
  TestCard card;
  std::string error = test.Open(&card);
  if (!error.empty()) return CheckFail(error);
  if (!card.settings) return CheckFail("IOrvaneSettingsProp not offered");
  RebuildLists(card.settings.Get());
  const std::vector<SettingInfo> list = ReadSettings(card.settings.Get());
  if (list.empty()) return CheckFail("no settings listed after a rebuild");
  std::set<int32_t> ids;
  for (size_t i = 0; i < list.size(); ++i) {
    const SettingInfo& s = list[i];
    if (s.name.empty()) return CheckFail("setting " + std::to_string(i) + " has no name");
    if (!ids.insert(s.id).second) return CheckFail("identifier " + std::to_string(s.id) + " twice");
    if (s.options.empty()) return CheckFail("\"" + s.name + "\" has no options");
    bool listed = false;
    for (const auto& o : s.options) listed = listed || o.value == s.value;
    if (!listed) {
      return CheckFail("\"" + s.name + "\" holds " + std::to_string(s.value) +
                       ", which is none of its options");
    }
  }
  SettingsWalk walk{card.settings.Get()};
  for (const SettingInfo& s : list) {
    if (walk.tested.count(s.id) == 0) walk.Walk(s.id, 0);
  }
  if (!walk.failure.empty()) return CheckFail(walk.failure);
  std::string detail = std::to_string(list.size()) + " listed; " +
                       std::to_string(walk.tested.size()) + " settings, " +
                       std::to_string(walk.sets) + " options set and read back, values put back";
  if (!walk.notes.empty()) detail += ";" + walk.notes;
  return CheckOk(detail);
}

// --- adjustments ----------------------------------------------------------------

struct AdjustmentView {
  int32_t id = 0;
  std::string name;
  int32_t min = 0, max = 0, is_integer = 0;
};

std::vector<AdjustmentView> ReadAdjustments(IOrvaneAdjustment* adjustment) {
  std::vector<AdjustmentView> list;
  int32_t count = 0;
  adjustment->GetAdjustmentCount(&count);
  for (int32_t i = 0; i < count; ++i) {
    AdjustmentView a;
    BSTR name = nullptr;
    double real_min = 0, real_max = 0;
    int32_t words[4] = {};
    if (FAILED(adjustment->GetAdjustmentInfo(i, &a.id, &name, &a.min, &a.max, &real_min, &real_max,
                                             &a.is_integer, &words[0], &words[1], &words[2],
                                             &words[3]))) {
      SysFreeString(name);
      continue;
    }
    a.name = NarrowBstr(name);
    SysFreeString(name);
    list.push_back(std::move(a));
  }
  return list;
}

// A value inside the range next to `value`, for a change the driver keeps.
int32_t Neighbour(const AdjustmentView& a, int32_t value) {
  return value < a.max ? value + 1 : value - 1;
}

CheckResult CheckAdjustments(SelfTest& test) {
  TestCard card;
  std::string error = test.Open(&card);
  if (!error.empty()) return CheckFail(error);
  if (!card.adjustment) return CheckSkip("IOrvaneAdjustment: interface not offered");
  if (card.settings) RebuildLists(card.settings.Get());
  const std::vector<AdjustmentView> list = ReadAdjustments(card.adjustment.Get());
  if (list.empty()) return CheckFail("no adjustments listed after a rebuild");
  std::set<int32_t> ids;
  int sets = 0;
  for (const AdjustmentView& a : list) {
    if (a.name.empty()) return CheckFail("an adjustment without a name");
    if (!ids.insert(a.id).second) return CheckFail("identifier " + std::to_string(a.id) + " twice");
    if (a.is_integer != 1 || a.min > a.max) {
      return CheckFail("\"" + a.name + "\" has the range " + std::to_string(a.min) + ".." +
                       std::to_string(a.max) + (a.is_integer != 1 ? ", not integer" : ""));
    }
    int32_t original = 0;
    card.adjustment->GetIntegerValue(a.id, &original);
    for (int32_t v : {a.min, Neighbour(a, original), original}) {
      card.adjustment->SetIntegerValue(a.id, v);
      ++sets;
      int32_t read = INT32_MIN;
      card.adjustment->GetIntegerValue(a.id, &read);
      if (read != v) {
        return CheckFail("\"" + a.name + "\" set to " + std::to_string(v) + " reads back " +
                         std::to_string(read));
      }
    }
  }
  return CheckOk(std::to_string(list.size()) + " listed; " + std::to_string(sets) +
                 " values set and read back, values put back");
}

// --- persistence ----------------------------------------------------------------

CheckResult CheckPersistence(SelfTest& test) {
  int32_t format_id = -1, format_value = 0, rate = 0;
  std::string format_label;
  AdjustmentView adjusted;
  int32_t adjusted_value = 0;
  bool adjustment_offered = false;
  {
    TestCard first;
    std::string error = test.Open(&first);
    if (!error.empty()) return CheckFail(error);
    if (!first.settings || !first.card_image)
      return CheckFail("the settings interfaces are missing");
    RebuildLists(first.settings.Get());
    for (const SettingInfo& s : ReadSettings(first.settings.Get())) {
      if (s.name != "Capture Format") continue;
      for (const auto& [value, label] : s.options) {
        if (value != s.value) {
          format_id = s.id;
          format_value = value;
          format_label = label;
        }
      }
    }
    if (format_id < 0) return CheckFail("no \"Capture Format\" with a second option");
    first.settings->SetSettingValue(format_id, format_value);
    // Half the source rate, module paced.
    int32_t source = 0;
    first.card_image->SetFrameRate(INT32_MAX);
    first.card_image->GetFrameRate(&source);
    rate = std::max(1, source / 2);
    first.card_image->SetFrameRate(rate);
    if (first.adjustment) {
      adjustment_offered = true;
      std::vector<AdjustmentView> list = ReadAdjustments(first.adjustment.Get());
      if (!list.empty()) {
        adjusted = list.front();
        int32_t v = 0;
        first.adjustment->GetIntegerValue(adjusted.id, &v);
        adjusted_value = Neighbour(adjusted, v);
        first.adjustment->SetIntegerValue(adjusted.id, adjusted_value);
      }
    }
  }
  // A second instance on the same registry starts with what the first left.
  TestCard second;
  std::string error = test.Open(&second, false);
  if (!error.empty()) return CheckFail("the second instance: " + error);
  RebuildLists(second.settings.Get());
  int32_t read = INT32_MIN;
  second.settings->GetSettingValue(format_id, &read);
  if (read != format_value) {
    return CheckFail("\"Capture Format\" " + format_label + " comes back as " +
                     std::to_string(read));
  }
  int32_t read_rate = 0, fixed = 0;
  second.card_image->GetFrameRate(&read_rate);
  second.card_image->GetFixedRateMode(&fixed);
  if (read_rate != rate || fixed != 1) {
    return CheckFail("module-paced " + std::to_string(rate) + " fps comes back as " +
                     std::to_string(read_rate) + " fps, fixed rate mode " + std::to_string(fixed));
  }
  std::string detail = "\"Capture Format\" " + format_label + " and module pacing at " +
                       std::to_string(rate) + " fps restored by a second instance";
  if (adjustment_offered && !adjusted.name.empty()) {
    int32_t value = INT32_MIN;
    second.adjustment->GetIntegerValue(adjusted.id, &value);
    if (value != adjusted_value) {
      return CheckFail("\"" + adjusted.name + "\" " + std::to_string(adjusted_value) +
                       " comes back as " + std::to_string(value));
    }
    detail += ", and \"" + adjusted.name + "\"";
  } else if (!adjustment_offered) {
    detail += "; adjustments skipped (interface not offered)";
  }
  return CheckOk(detail);
}

// --- geometry -------------------------------------------------------------------

// Compares the delivered picture with ZeltoSim's pattern: output pixel (x, y)
// shows source pixel (left + x * width / out_width, top + y * height / out_height).
// "" when it matches or the picture carries no frame code.
std::string ComparePicture(const uint8_t* data, const Geometry& g, int32_t source_w,
                           int32_t source_h, int32_t left, int32_t top, int32_t crop_w,
                           int32_t crop_h) {
  std::optional<PixelFormatInfo> format = DescribeFormat(g.format);
  if (!format) return {};
  uint32_t frame = 0;
  const size_t stride = static_cast<size_t>(g.width) * static_cast<size_t>(format->bytes_per_pixel);
  if (!sim::DecodeFrameNumber(data + stride * static_cast<size_t>(g.height - 1), format->layout,
                              &frame)) {
    return {};
  }
  for (int32_t y : {1, g.height / 2, g.height - 2}) {
    for (int32_t x = sim::kFrameCodePixels; x < g.width; x += 5) {
      const uint32_t sx = static_cast<uint32_t>(left + static_cast<int64_t>(x) * crop_w / g.width);
      const uint32_t sy = static_cast<uint32_t>(top + static_cast<int64_t>(y) * crop_h / g.height);
      uint8_t packed[4];
      sim::StorePixel(packed, format->layout,
                      sim::PatternColour(sx, sy, frame, static_cast<uint32_t>(source_w),
                                         static_cast<uint32_t>(source_h)));
      const sim::Rgb want = sim::LoadPixel(packed, format->layout);
      const sim::Rgb got =
          sim::LoadPixel(data + stride * static_cast<size_t>(y) +
                             static_cast<size_t>(x) * static_cast<size_t>(format->bytes_per_pixel),
                         format->layout);
      if (!(want == got)) {
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + " is not source pixel " +
               std::to_string(sx) + "," + std::to_string(sy);
      }
    }
  }
  return {};
}

// One frame of the open card, its bytes copied.
bool OneFrame(SelfTest& test, TestCard& card, std::vector<uint8_t>* bytes, std::string* error) {
  IOrvaneGenericGrabber* g = card.grabber.Get();
  g->AllocateBuffers(2);
  const Geometry geometry = test.ReadGeometry(card);
  g->EnableGrab();
  bool got = false;
  {
    Deadline deadline(g, test.FrameLimit());
    g->ArmBuffer();
    g->ArmBuffer();
    // The first frame may still be of the geometry before; the second is not.
    for (int n = 0; n < 2 && !deadline.expired();) {
      ImageRecord* record = nullptr;
      g->GetFrame(&record);
      if (record == nullptr) continue;
      if (++n == 2 && record->Data != nullptr) {
        const auto* data = static_cast<const uint8_t*>(record->Data);
        bytes->assign(data, data + std::max(0, geometry.bytes));
        got = true;
      }
      g->ReleaseCurrentFrame();
      g->ArmBuffer();
    }
  }
  g->DisableGrab();
  g->FreeAllBuffers();
  if (!got) test.MissedFrames();
  if (!got) *error = "no frame within " + std::to_string(test.FrameLimit().count()) + " ms";
  return got;
}

// The source size: a region larger than any source is clamped to it.
void SourceSize(TestCard& card, int32_t* width, int32_t* height) {
  int32_t x = 0, y = 0;
  if (card.card_image) card.card_image->SetScalingMode(0);
  card.image->SetROI(INT32_MAX / 4, INT32_MAX / 4, 0, 0);
  card.image->GetImageGeometry(width, height, &x, &y);
}

CheckResult CheckRegion(SelfTest& test) {
  TestCard card;
  std::string error = test.Open(&card);
  if (!error.empty()) return CheckFail(error);
  int32_t source_w = 0, source_h = 0;
  SourceSize(card, &source_w, &source_h);
  if (source_w < 64 || source_h < 64) return CheckFail("source of " + std::to_string(source_w));
  const int32_t w = source_w / 2 / 16 * 16, h = source_h / 2 / 16 * 16;
  const int32_t x = source_w / 4 / 16 * 16, y = source_h / 8;
  HRESULT hr = card.image->SetROI(w, h, x, y);
  if (FAILED(hr)) return CheckFail("SetROI: " + Hr(hr));
  const Geometry g = test.ReadGeometry(card);
  char asked[160];
  std::snprintf(asked, sizeof asked, "%dx%d+%d+%d gives %dx%d+%d+%d", w, h, x, y, g.width, g.height,
                g.offset_x, g.offset_y);
  if (std::abs(g.width - w) > 16 || std::abs(g.height - h) > 16 || std::abs(g.offset_x - x) > 16 ||
      std::abs(g.offset_y - y) > 16) {
    return CheckFail(std::string("the region ") + asked);
  }
  if (g.bytes != static_cast<int32_t>(static_cast<int64_t>(g.width) * g.height * g.bits / 8)) {
    return CheckFail(std::string(asked) + " but " + std::to_string(g.bytes) + " image bytes");
  }
  std::vector<uint8_t> bytes;
  if (!OneFrame(test, card, &bytes, &error)) return CheckFail(error);
  error = ComparePicture(bytes.data(), g, source_w, source_h, g.offset_x, g.offset_y, g.width,
                         g.height);
  if (!error.empty()) return CheckFail(std::string(asked) + ", but " + error);
  return CheckOk(std::string(asked) + ", delivered as such");
}

CheckResult CheckScaling(SelfTest& test) {
  TestCard card;
  std::string error = test.Open(&card);
  if (!error.empty()) return CheckFail(error);
  if (!card.card_image) return CheckFail("IOrvaneZeltoRGBImageProp not offered");
  int32_t source_w = 0, source_h = 0;
  SourceSize(card, &source_w, &source_h);
  const int32_t w = source_w * 3 / 4 / 16 * 16, h = source_h * 3 / 4 / 16 * 16;
  card.card_image->SetScalingMode(1);
  HRESULT hr = card.card_image->SetScaling(w, h);
  if (FAILED(hr)) return CheckFail("SetScaling: " + Hr(hr));
  const Geometry g = test.ReadGeometry(card);
  char asked[160];
  std::snprintf(asked, sizeof asked, "%dx%d of %dx%d gives %dx%d", w, h, source_w, source_h,
                g.width, g.height);
  if (g.width != w || g.height != h) return CheckFail(std::string("scaling ") + asked);
  if (g.bytes != static_cast<int32_t>(static_cast<int64_t>(g.width) * g.height * g.bits / 8)) {
    return CheckFail(std::string(asked) + " but " + std::to_string(g.bytes) + " image bytes");
  }
  std::vector<uint8_t> bytes;
  if (!OneFrame(test, card, &bytes, &error)) return CheckFail(error);
  error = ComparePicture(bytes.data(), g, source_w, source_h, 0, 0, source_w, source_h);
  if (!error.empty()) return CheckFail(std::string(asked) + ", but " + error);
  return CheckOk(std::string(asked) + ", delivered as such");
}

// --- time source ----------------------------------------------------------------

constexpr const char* kFallbackTrace =
    "Loading the time source failed. Defaulting to system clock.";
constexpr const char* kInitFallbackTrace =
    "Could not initialize the time source. Defaulting to system clock.";

// Grabs a few frames with traces captured; the traces of the time source.
std::string GrabWithTraces(SelfTest& test, TestCard& card, GrabOutcome* outcome, bool* available) {
  TraceCapture capture;
  *available = capture.available();
  *outcome = test.Grab(card, 3, 3, test.FrameLimit());
  return capture.Text();
}

CheckResult CheckTimeSource(SelfTest& test) {
  const TimeSourceSettings settings = ReadTimeSourceSettings(test.test_key());
  TestCard card;
  std::string error = test.Open(&card);
  if (!error.empty()) return CheckFail(error);
  if (!card.time_source) return CheckFail("IOrvaneTimeSourceProp not offered");
  GrabOutcome grab;
  bool available = false;
  const std::string traces = GrabWithTraces(test, card, &grab, &available);
  if (!grab.error.empty()) return CheckFail(grab.error);
  int32_t status = -1, gps = -1;
  card.time_source->GetSynchronizationStatus(&status);
  card.time_source->IsGPSSupported(&gps);
  const std::string state =
      "sync status " + std::to_string(status) + ", GPS " + (gps != 0 ? "yes" : "no");
  if (!settings.plugin) {
    if (status != 0 || gps != 0) return CheckFail("the system clock reports " + state);
    return CheckOk("the system clock (no plug-in configured); " + state);
  }
  if (!available) return CheckOk("plug-in " + settings.dll + "; " + state + " (traces unreadable)");
  if (traces.find(kFallbackTrace) != std::string::npos ||
      traces.find(kInitFallbackTrace) != std::string::npos) {
    return CheckOk("plug-in " + settings.dll +
                   " does not bind: the system clock, with the documented trace");
  }
  return CheckOk("plug-in " + settings.dll + " bound; " + state);
}

CheckResult CheckTimeSourceFallback(SelfTest& test) {
  TestCard card;
  std::string error = test.Open(&card);
  if (!error.empty()) return CheckFail(error);
  // A library that is nowhere: the module must fall back and say so.
  {
    platform::RegistryKey key;
    key.Create(platform::RegistryRoot::kCurrentUser, test.test_key());
    key.SetString(kTimeSourceDllValue, "zeltograb-selftest-no-such-time-source");
  }
  GrabOutcome grab;
  bool available = false;
  const std::string traces = GrabWithTraces(test, card, &grab, &available);
  if (!grab.error.empty()) return CheckFail("without the plug-in: " + grab.error);
  if (!available) return CheckSkip("frames flow on the system clock; traces unreadable here");
  if (traces.find(kFallbackTrace) == std::string::npos) {
    return CheckFail("no trace \"" + std::string(kFallbackTrace) + "\"");
  }
  return CheckOk("a missing plug-in: frames on the system clock, \"" + std::string(kFallbackTrace) +
                 "\"");
}

// --- the user's values ----------------------------------------------------------

CheckResult CheckUserSettings(SelfTest& test) {
  const std::string difference =
      CompareSnapshots(test.user_values(), TakeSnapshot(test.user_key()));
  if (!difference.empty())
    return CheckFail("HKEY_CURRENT_USER\\" + test.user_key() + ": " + difference);
  return CheckOk(std::to_string(test.user_values().values.size()) + " values under " +
                 test.user_key() + " as they were");
}

}  // namespace

const std::vector<SelfTestCheck>& SelfTestChecks() {
  static const std::vector<SelfTestCheck> checks = {
      {"object", "the object, its eleven interfaces, E_FAIL before CreateCard", &CheckObject},
      {"create-card", "CreateCard on the selftest key", nullptr},
      {"error-convention", "overrun as S_FALSE; a forced failure as DISP_E_EXCEPTION",
       &CheckErrorConvention},
      {"queue", "every buffer in one place through arm/get/release/disable", &CheckQueue},
      {"grab-control", "EnableGrab and DisableGrab idempotent", &CheckGrabControl},
      {"frame-rate", "frames at the source frame rate", &CheckFrameRate},
      {"time-stamps", "stamps rising and close to the wall clock", &CheckTimeStamps},
      {"tearing", "no frame torn, frames in order (ZeltoSim frame numbers)", &CheckTearing},
      {"settings", "every setting listed, every option set and read back", &CheckSettings},
      {"adjustments", "every adjustment listed, values set and read back", &CheckAdjustments},
      {"persistence", "values restored by a second module instance", &CheckPersistence},
      {"region", "a region applied is the size and picture delivered", &CheckRegion},
      {"scaling", "a scaled size is the size and picture delivered", &CheckScaling},
      {"time-source", "the configured time source bound or falling back", &CheckTimeSource},
      {"time-source-fallback", "a missing plug-in falls back with the documented trace",
       &CheckTimeSourceFallback},
      {"user-settings", "the user's values untouched", &CheckUserSettings},
  };
  return checks;
}

}  // namespace zelto::grab
