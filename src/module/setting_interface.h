// CSettingInterface: IOrvaneSettingsProp, a base of COrvaneZeltoRGB (which
// supplies IUnknown). Each method forwards to the card's settings list; E_FAIL
// while no card is bound (before CreateCard). An index or option index outside
// the list gives E_INVALIDARG with the outputs untouched; null out pointers give
// E_POINTER. A text exception from a setting's write (a refused change while
// grabbing, a failed re-initialisation after an input channel change) becomes
// DISP_E_EXCEPTION with the text as error information; no exception leaves a
// method.
//
// Threads: the host's only.
#ifndef ZELTO_MODULE_SETTING_INTERFACE_H_
#define ZELTO_MODULE_SETTING_INTERFACE_H_

#include "module/com_types.h"

namespace zelto {

class CSettingsStruct;

class CSettingInterface : public IOrvaneSettingsProp {
 public:
  // The list forwarded to, not owned; null before CreateCard.
  void BindSettings(CSettingsStruct* settings) { settings_ = settings; }

  HRESULT STDMETHODCALLTYPE GetSettingsCount(int32_t* count) override;
  HRESULT STDMETHODCALLTYPE GetOptionCount(int32_t id, int32_t* count) override;
  HRESULT STDMETHODCALLTYPE GetSetting(int32_t index, BSTR* name, int32_t* id) override;
  HRESULT STDMETHODCALLTYPE GetOption(int32_t id, int32_t option_index, BSTR* label,
                                      int32_t* value) override;
  HRESULT STDMETHODCALLTYPE GetSettingValue(int32_t id, int32_t* value) override;
  HRESULT STDMETHODCALLTYPE SetSettingValue(int32_t id, int32_t value) override;

 protected:
  CSettingInterface() = default;
  virtual ~CSettingInterface() = default;

 private:
  CSettingsStruct* settings_ = nullptr;
};

}  // namespace zelto

#endif  // ZELTO_MODULE_SETTING_INTERFACE_H_
