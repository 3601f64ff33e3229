// Image objects of the frame queue: each owns one pixel buffer and the ImageRecord
// that the host and the time source plug-in read.
#ifndef ZELTO_ACQUISITION_IMAGE_WRAPPER_H_
#define ZELTO_ACQUISITION_IMAGE_WRAPPER_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "zeltorgb/image_record.h"

namespace zelto {

class CImageWrapper {
 public:
  CImageWrapper() = default;
  virtual ~CImageWrapper() = default;
  CImageWrapper(const CImageWrapper&) = delete;
  CImageWrapper& operator=(const CImageWrapper&) = delete;

  // Frees the pixel buffer; Data becomes null and the capacity 0.
  virtual void ReleaseData() = 0;
  ImageRecord* GetRecord() { return &record_; }
  const ImageRecord* GetRecord() const { return &record_; }

 protected:
  ImageRecord record_{};  // all fields 0 until the buffer is attached and stamped
};

class CZeltoRGBImage : public CImageWrapper {
 public:
  // Takes ownership of `buffer`, which holds `capacity` bytes.
  CZeltoRGBImage(std::unique_ptr<uint8_t[]> buffer, size_t capacity);
  void ReleaseData() override;

  uint8_t* data() { return buffer_.get(); }
  // Bytes the pixel buffer holds. A buffer allocated before the image size grew
  // is smaller than the current image: writers fill it only this far.
  size_t capacity() const { return capacity_; }

 private:
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_;
};

}  // namespace zelto

#endif  // ZELTO_ACQUISITION_IMAGE_WRAPPER_H_
