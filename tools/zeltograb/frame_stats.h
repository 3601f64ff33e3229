// What zeltograb records about each frame, the frames.csv it writes and the
// figures of its summary. Pure: values in, text and numbers out.
#ifndef ZELTO_TOOLS_ZELTOGRAB_FRAME_STATS_H_
#define ZELTO_TOOLS_ZELTOGRAB_FRAME_STATS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelto::grab {

// One grabbed frame: its time stamp from the ImageRecord and, when the picture
// carries ZeltoSim's frame code, the simulator's frame number.
struct FrameSample {
  int32_t seconds = 0;
  uint16_t milliseconds = 0;
  uint16_t microseconds = 0;
  std::optional<uint32_t> frame_number;
  std::optional<std::string> time_code;  // "hh:mm:ss:ff" a time source plug-in wrote
  std::optional<int32_t> ready;          // frames waiting in the module's queue after it
};

// Microseconds since 1970 of the sample's time stamp.
int64_t TimestampMicros(const FrameSample& sample);

// The p-th percentile (0..100) by nearest rank of `values`; 0 for none.
double Percentile(std::vector<double> values, double p);

// Frames missing between the samples' frame numbers: for consecutive decodable
// numbers a < b, b - a - 1 were never delivered. A number that goes backwards
// (the simulator restarted its count) is a new start, not a loss.
int64_t DroppedFrames(const std::vector<FrameSample>& samples);

struct FrameStatistics {
  int64_t frames = 0;
  int64_t dropped = 0;
  double duration_s = 0;  // first to last time stamp
  double mean_fps = 0;    // frame intervals per second over that span
  double interval_p50_ms = 0;
  double interval_p99_ms = 0;
};

FrameStatistics Summarise(const std::vector<FrameSample>& samples);

// frames.csv: a header line, then one line per sample:
// index, seconds, milliseconds, microseconds, interval to the previous frame in
// milliseconds (empty for the first), ZeltoSim frame number (empty when none),
// time code (empty when none), frames still ready in the queue (empty when
// not known).
std::string CsvHeader();
std::string CsvRow(int64_t index, const FrameSample& sample, const FrameSample* previous);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_FRAME_STATS_H_
