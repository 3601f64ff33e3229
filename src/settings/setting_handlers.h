// The handlers of the card's six enumerated settings. Each is a small object of
// the card that forwards its reads and writes to the card's operation of the
// same setting (zelto_rgb_card_settings.cpp), so the list's entries can point
// at them.
#ifndef ZELTO_SETTINGS_SETTING_HANDLERS_H_
#define ZELTO_SETTINGS_SETTING_HANDLERS_H_

#include <cstdint>

#include "settings/settings_struct.h"

namespace zelto {

class CZeltoRGBCard;

#define ZELTO_SETTING_HANDLER(Name)                              \
  class Name final : public CGetSetSettings {                    \
   public:                                                       \
    explicit Name(CZeltoRGBCard& card) : card_(card) {}          \
    int32_t GetValue() override { return ReadValue(); }          \
    void SetValue(int32_t value) override { WriteValue(value); } \
    int32_t ReadValue();                                         \
    void WriteValue(int32_t value);                              \
                                                                 \
   private:                                                      \
    CZeltoRGBCard& card_;                                        \
  }

ZELTO_SETTING_HANDLER(CCameraIndex);                // "Input Channel"
ZELTO_SETTING_HANDLER(CImageFormatSetting);         // "Capture Format"
ZELTO_SETTING_HANDLER(CFrameRate);                  // "Capture Rate"
ZELTO_SETTING_HANDLER(CLockChannelMode);            // "Lock Channel Mode"
ZELTO_SETTING_HANDLER(CStartupImageFormatSetting);  // "Startup Image Format"
ZELTO_SETTING_HANDLER(CStartupResolution);          // "Startup Resolution"

#undef ZELTO_SETTING_HANDLER

}  // namespace zelto

#endif  // ZELTO_SETTINGS_SETTING_HANDLERS_H_
