#include "module/time_source_interface.h"

#include <cstdint>

#include "acquisition/triple_list.h"

namespace zelto {

HRESULT STDMETHODCALLTYPE CTimeSourceInterface::GetSynchronizationStatus(int32_t* status) {
  if (queue_ == nullptr) return S_OK;
  if (status == nullptr) return E_POINTER;
  *status = static_cast<int32_t>(queue_->TimeSources().GetSynchronizationStatus());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTimeSourceInterface::IsGPSSupported(int32_t* supported) {
  if (queue_ == nullptr) return S_OK;
  if (supported == nullptr) return E_POINTER;
  *supported = queue_->TimeSources().IsGPSSupported() ? 1 : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTimeSourceInterface::GetGPSData(int32_t* value, int32_t flag) {
  if (queue_ == nullptr) return S_OK;
  if (value == nullptr) return E_POINTER;
  queue_->TimeSources().GetGPSData(static_cast<uint32_t>(*value), flag != 0);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTimeSourceInterface::StopReadingGPSData() {
  if (queue_ != nullptr) queue_->TimeSources().StopReadingGPSData();
  return S_OK;
}

}  // namespace zelto
