#include "module/setting_interface.h"

#include <string>

#include "module/com_error.h"
#include "settings/settings_struct.h"

namespace zelto {
namespace {

static_assert(sizeof(OLECHAR) == sizeof(char16_t));

HRESULT CopyOut(const std::u16string& text, BSTR* out) {
  if (!SysReAllocString(out, reinterpret_cast<const OLECHAR*>(text.c_str()))) return E_OUTOFMEMORY;
  return S_OK;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CSettingInterface::GetSettingsCount(int32_t* count) {
  if (settings_ == nullptr) return E_FAIL;
  if (count == nullptr) return E_POINTER;
  *count = settings_->GetSettingsCount();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CSettingInterface::GetOptionCount(int32_t id, int32_t* count) {
  if (settings_ == nullptr) return E_FAIL;
  if (count == nullptr) return E_POINTER;
  *count = settings_->GetOptionCount(id);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CSettingInterface::GetSetting(int32_t index, BSTR* name, int32_t* id) {
  if (settings_ == nullptr) return E_FAIL;
  if (name == nullptr || id == nullptr) return E_POINTER;
  return GuardedCall([&]() -> HRESULT {
    std::u16string text;
    int32_t found = 0;
    if (!settings_->GetSetting(index, &text, &found)) return E_INVALIDARG;
    const HRESULT copied = CopyOut(text, name);
    if (SUCCEEDED(copied)) *id = found;
    return copied;
  });
}

HRESULT STDMETHODCALLTYPE CSettingInterface::GetOption(int32_t id, int32_t option_index,
                                                       BSTR* label, int32_t* value) {
  if (settings_ == nullptr) return E_FAIL;
  if (label == nullptr || value == nullptr) return E_POINTER;
  return GuardedCall([&]() -> HRESULT {
    std::u16string text;
    int32_t found = 0;
    bool matched = false;
    // An unknown id leaves the caller's label and value as they were.
    for (const SettingEntry& entry : settings_->entries()) matched |= entry.Id == id;
    if (!settings_->GetOption(id, option_index, &text, &found)) return E_INVALIDARG;
    if (!matched) return S_OK;
    const HRESULT copied = CopyOut(text, label);
    if (SUCCEEDED(copied)) *value = found;
    return copied;
  });
}

HRESULT STDMETHODCALLTYPE CSettingInterface::GetSettingValue(int32_t id, int32_t* value) {
  if (settings_ == nullptr) return E_FAIL;
  if (value == nullptr) return E_POINTER;
  return GuardedCall([&]() -> HRESULT {
    *value = settings_->GetSettingValue(id);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CSettingInterface::SetSettingValue(int32_t id, int32_t value) {
  if (settings_ == nullptr) return E_FAIL;
  return GuardedCall([&]() -> HRESULT {
    settings_->SetSettingValue(id, value);
    return S_OK;
  });
}

}  // namespace zelto
