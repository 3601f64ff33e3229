// The hook through which the frame queue hands frames to a bound time source
// plug-in. The queue owns at most one; none is bound until a plug-in binding
// exists, so frames are stamped from the shared timebase alone.
#ifndef ZELTO_TIMESOURCE_TIME_STAMP_H_
#define ZELTO_TIMESOURCE_TIME_STAMP_H_

#include "zeltorgb/image_record.h"

namespace zelto {

class CTimeStamp {
 public:
  virtual ~CTimeStamp() = default;
  virtual void ClearEvents() = 0;
  // May throw: the queue then unbinds the time source for good.
  virtual bool ProcessImageData(ImageRecord* record) = 0;
  virtual void Uninitialize() = 0;
};

}  // namespace zelto

#endif  // ZELTO_TIMESOURCE_TIME_STAMP_H_
