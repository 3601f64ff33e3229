// CTimeSourceInterface: IOrvaneTimeSourceProp, a base of COrvaneZeltoRGB (which
// supplies IUnknown). Each method forwards through the card's frame queue to the
// bound time source plug-in. Before CreateCard (no queue) a method returns S_OK at
// once and leaves its outputs untouched; without a plug-in the answers are 0.
// Null out pointers give E_POINTER; no exception leaves a method.
//
// Threads: the host's, at any time, also while the capture thread hands frames to
// the same plug-in (the queue's time source manager keeps the binding alive for
// the length of each call).
#ifndef ZELTO_MODULE_TIME_SOURCE_INTERFACE_H_
#define ZELTO_MODULE_TIME_SOURCE_INTERFACE_H_

#include "module/com_types.h"

namespace zelto {

class CTripleList;

class CTimeSourceInterface : public IOrvaneTimeSourceProp {
 public:
  // The queue forwarded to, not owned; null before CreateCard.
  void SetQueue(CTripleList* queue) { queue_ = queue; }

  // The plug-in's status word, unchanged; 0 without a plug-in.
  HRESULT STDMETHODCALLTYPE GetSynchronizationStatus(int32_t* status) override;
  // 0 or 1; 0 without a plug-in.
  HRESULT STDMETHODCALLTYPE IsGPSSupported(int32_t* supported) override;
  // Passes the plug-in *value and the flag reduced to 0 or 1. *value is read also
  // without a plug-in (which is then not called).
  HRESULT STDMETHODCALLTYPE GetGPSData(int32_t* value, int32_t flag) override;
  HRESULT STDMETHODCALLTYPE StopReadingGPSData() override;

 protected:
  CTimeSourceInterface() = default;
  ~CTimeSourceInterface() = default;

 private:
  CTripleList* queue_ = nullptr;
};

}  // namespace zelto

#endif  // ZELTO_MODULE_TIME_SOURCE_INTERFACE_H_
