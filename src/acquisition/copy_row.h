// Row copies for the frame path, and the choice between ordinary and streaming
// (non-temporal) stores.
//
// A frame too large to stay in the cache is better written with streaming
// stores: they skip the read-for-ownership of each destination line and do not
// push the rest of the cache out. Streaming stores are weakly ordered, so a
// writer that used them calls StreamingStoreFence() once before it publishes
// the frame to another thread.
//
// Row functions take any size and any alignment and touch no byte outside
// [dst, dst + bytes) and [src, src + bytes); source and destination must not
// overlap. CopyRow_C is the reference (memcpy).
#ifndef ZELTO_ACQUISITION_COPY_ROW_H_
#define ZELTO_ACQUISITION_COPY_ROW_H_

#include <cstddef>
#include <cstdint>

namespace zelto {

using CopyRowFunction = void (*)(const uint8_t* src, uint8_t* dst, size_t bytes);

void CopyRow_C(const uint8_t* src, uint8_t* dst, size_t bytes);
// Streaming stores; need kCpuHasSSE2 (resp. kCpuHasAVX2).
void CopyRow_NT_SSE2(const uint8_t* src, uint8_t* dst, size_t bytes);
void CopyRow_NT_AVX2(const uint8_t* src, uint8_t* dst, size_t bytes);

// Makes every streaming store of this thread visible before any later store
// (sfence). Harmless without SSE2 streaming stores having run; needs kCpuHasSSE2.
void StreamingStoreFence();

// The copy row for a frame: streaming when `streaming` and the CPU has the
// instructions (under the current MaskCpuFlags), else CopyRow_C.
CopyRowFunction GetCopyRow(bool streaming);

// Whether a frame of `frame_bytes` written bytes should use streaming stores:
// at least StreamingThresholdBytes() and the CPU has SSE2.
bool UseStreamingStores(int64_t frame_bytes);

// Bytes from which frames are streamed: the size of the cache below the last
// level that this CPU reports (see the .cpp), unless overridden.
int64_t StreamingThresholdBytes();

// Overrides the threshold (0: stream every frame; INT64_MAX: never); a negative
// value restores the default. For tests and benchmarks; thread-safe.
void SetStreamingThresholdBytes(int64_t bytes);

}  // namespace zelto

#endif  // ZELTO_ACQUISITION_COPY_ROW_H_
