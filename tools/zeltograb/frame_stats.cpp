#include "frame_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zelto::grab {

int64_t TimestampMicros(const FrameSample& sample) {
  return int64_t{sample.seconds} * 1000000 + int64_t{sample.milliseconds} * 1000 +
         sample.microseconds;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
  size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
  return values[std::min(index, values.size() - 1)];
}

int64_t DroppedFrames(const std::vector<FrameSample>& samples) {
  int64_t dropped = 0;
  std::optional<uint32_t> last;
  for (const FrameSample& s : samples) {
    if (!s.frame_number) continue;
    if (last && *s.frame_number > *last) dropped += *s.frame_number - *last - 1;
    last = s.frame_number;
  }
  return dropped;
}

FrameStatistics Summarise(const std::vector<FrameSample>& samples) {
  FrameStatistics stats;
  stats.frames = static_cast<int64_t>(samples.size());
  stats.dropped = DroppedFrames(samples);
  if (samples.size() < 2) return stats;
  std::vector<double> intervals;
  intervals.reserve(samples.size() - 1);
  for (size_t i = 1; i < samples.size(); ++i) {
    intervals.push_back(
        static_cast<double>(TimestampMicros(samples[i]) - TimestampMicros(samples[i - 1])) /
        1000.0);
  }
  stats.duration_s =
      static_cast<double>(TimestampMicros(samples.back()) - TimestampMicros(samples.front())) / 1e6;
  if (stats.duration_s > 0) {
    stats.mean_fps = static_cast<double>(samples.size() - 1) / stats.duration_s;
  }
  stats.interval_p50_ms = Percentile(intervals, 50);
  stats.interval_p99_ms = Percentile(intervals, 99);
  return stats;
}

std::string CsvHeader() {
  return "index,seconds,milliseconds,microseconds,interval_ms,frame_number,time_code,ready\n";
}

std::string CsvRow(int64_t index, const FrameSample& sample, const FrameSample* previous) {
  char line[160];
  int n = std::snprintf(line, sizeof line, "%lld,%ld,%u,%u,", static_cast<long long>(index),
                        static_cast<long>(sample.seconds), unsigned{sample.milliseconds},
                        unsigned{sample.microseconds});
  std::string row(line, static_cast<size_t>(n));
  if (previous != nullptr) {
    const int64_t us = TimestampMicros(sample) - TimestampMicros(*previous);
    std::snprintf(line, sizeof line, "%.3f", static_cast<double>(us) / 1000.0);
    row += line;
  }
  row += ',';
  if (sample.frame_number) row += std::to_string(*sample.frame_number);
  row += ',';
  if (sample.time_code) row += *sample.time_code;
  row += ',';
  if (sample.ready) row += std::to_string(*sample.ready);
  row += '\n';
  return row;
}

}  // namespace zelto::grab
