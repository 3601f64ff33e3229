// The card's six video adjustments. Each is a small object of the card whose
// value accessors forward to the card's operation of the same adjustment
// (zelto_rgb_card_adjustments.cpp), so the list's entries can point at them.
// None has a real value, an auxiliary value or a trigger of its own.
#ifndef ZELTO_SETTINGS_ADJUSTMENT_HANDLERS_H_
#define ZELTO_SETTINGS_ADJUSTMENT_HANDLERS_H_

#include <cstdint>

#include "settings/adjustment_support.h"

namespace zelto {

class CZeltoRGBCard;

#define ZELTO_ADJUSTMENT(Name)                                              \
  class Name final : public CAdjustment {                                   \
   public:                                                                  \
    explicit Name(CZeltoRGBCard& card) : card_(card) {}                     \
    void GetIntegerValue(int32_t* value) override { *value = ReadValue(); } \
    void SetIntegerValue(int32_t value) override { WriteValue(value); }     \
    void GetAuxValue(int32_t* value) override { *value = ReadAux(); }       \
    void SetAuxValue(int32_t value) override { WriteAux(value); }           \
    void Trigger() override { DoTrigger(); }                                \
    virtual int32_t ReadValue();                                            \
    virtual void WriteValue(int32_t value);                                 \
    virtual int32_t ReadAux() { return 0; }                                 \
    virtual void WriteAux(int32_t) {}                                       \
    virtual void DoTrigger() {}                                             \
                                                                            \
   private:                                                                 \
    CZeltoRGBCard& card_;                                                   \
  }

ZELTO_ADJUSTMENT(CContrastAdjustment);            // "Contrast"
ZELTO_ADJUSTMENT(CBrightnessAdjustment);          // "Brightness"
ZELTO_ADJUSTMENT(CBlackLevelAdjustment);          // "BlackLevel"
ZELTO_ADJUSTMENT(CPhaseAdjustment);               // "Phase"
ZELTO_ADJUSTMENT(CHorizontalPositionAdjustment);  // "Horizontal Position"
ZELTO_ADJUSTMENT(CVerticalPositionAdjustment);    // "Vertical Position"

#undef ZELTO_ADJUSTMENT

}  // namespace zelto

#endif  // ZELTO_SETTINGS_ADJUSTMENT_HANDLERS_H_
