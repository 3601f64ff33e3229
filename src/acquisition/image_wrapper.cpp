#include "acquisition/image_wrapper.h"

#include <utility>

namespace zelto {

CZeltoRGBImage::CZeltoRGBImage(std::unique_ptr<uint8_t[]> buffer, size_t capacity)
    : buffer_(std::move(buffer)), capacity_(capacity) {
  record_.Data = buffer_.get();
}

void CZeltoRGBImage::ReleaseData() {
  buffer_.reset();
  capacity_ = 0;
  record_.Data = nullptr;
}

}  // namespace zelto
