#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "card_session.h"
#include "commands.h"
#include "frame_stats.h"
#include "geometry_options.h"
#include "host_os.h"
#include "image_file.h"
#include "image_writer.h"
#include "pixel_format.h"
#include "settings_command.h"
#include "time_source_command.h"

namespace zelto::grab {
namespace {

using Clock = std::chrono::steady_clock;

// A card that delivers nothing for this long counts as failed (signal lost).
constexpr auto kFrameTimeout = std::chrono::seconds(10);

// Image files are written by this many threads from at most this many copies
// (or as many as the card has buffers) waiting for the disk.
constexpr int kWriterThreads = 2;
constexpr int kWriterSlots = 8;

enum class StopReason { kNone, kInterrupted, kNoFrames };

// Wakes the grab loop out of a blocked ArmBuffer or GetFrame when Ctrl-C comes or
// the card stops delivering. The events are manual-reset and a waiting call may
// reset one before it waits, so the signal repeats until the loop has ended.
class Watchdog {
 public:
  explicit Watchdog(IOrvaneGenericGrabber* grabber)
      : grabber_(grabber), thread_([this] { Run(); }) {}
  ~Watchdog() { Stop(); }

  void FrameArrived() { last_frame_.store(Clock::now().time_since_epoch().count()); }
  StopReason reason() const { return reason_.load(); }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return done_; })) {
      if (reason_.load() == StopReason::kNone) {
        const auto since = Clock::now() - Clock::time_point(Clock::duration(last_frame_.load()));
        if (Interrupted()) {
          reason_.store(StopReason::kInterrupted);
        } else if (since > kFrameTimeout) {
          reason_.store(StopReason::kNoFrames);
        }
      }
      if (reason_.load() != StopReason::kNone) {
        grabber_->SignalReadEvent();
        grabber_->SignalGrabEvent();
      }
    }
  }

  IOrvaneGenericGrabber* grabber_;
  std::atomic<Clock::rep> last_frame_{Clock::now().time_since_epoch().count()};
  std::atomic<StopReason> reason_{StopReason::kNone};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

struct ImageGeometry {
  int32_t width = 0, height = 0, bytes = 0, bits = 0, format = 0;
};

// The status line: frames, fps over the last second, queue depth, dropped.
class StatusLine {
 public:
  StatusLine(bool terminal, int total_buffers) : terminal_(terminal), total_(total_buffers) {}

  void Update(int64_t frames, int32_t ready, int64_t dropped) {
    const auto now = Clock::now();
    if (frames_at_mark_ < 0) {
      mark_ = now;
      frames_at_mark_ = frames;
      return;
    }
    const double elapsed = std::chrono::duration<double>(now - mark_).count();
    if (elapsed < 1.0) return;
    const double fps = static_cast<double>(frames - frames_at_mark_) / elapsed;
    mark_ = now;
    frames_at_mark_ = frames;
    if (terminal_) {
      std::printf("\r  frames %-8lld fps %6.2f   queue %d/%d   dropped %lld   ",
                  static_cast<long long>(frames), fps, ready, total_,
                  static_cast<long long>(dropped));
      shown_ = true;
    } else {
      std::printf("frames %lld fps %.2f queue %d/%d dropped %lld\n", static_cast<long long>(frames),
                  fps, ready, total_, static_cast<long long>(dropped));
    }
    std::fflush(stdout);
  }

  void End() {
    if (shown_) std::printf("\n");
    shown_ = false;
  }

 private:
  bool terminal_;
  int total_;
  Clock::time_point mark_;
  int64_t frames_at_mark_ = -1;
  bool shown_ = false;
};

std::optional<uint32_t> DecodeFrameCode(const uint8_t* data, const ImageGeometry& g,
                                        const PixelFormatInfo& format) {
  if (g.width < sim::kFrameCodePixels || g.height < 1) return std::nullopt;
  const size_t stride = static_cast<size_t>(g.width) * static_cast<size_t>(format.bytes_per_pixel);
  uint32_t number = 0;
  // The first line's code gives way to a time code when the card writes one.
  if (sim::DecodeFrameNumber(data, format.layout, &number)) return number;
  if (sim::DecodeFrameNumber(data + stride * static_cast<size_t>(g.height - 1), format.layout,
                             &number)) {
    return number;
  }
  return std::nullopt;
}

class ImageSink {
 public:
  ImageSink(const Options& options, const ImageGeometry& g,
            const std::optional<PixelFormatInfo>& format)
      : options_(options), g_(g), format_(format) {}

  bool Write(int64_t index, const uint8_t* data, std::string* error) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06lld%s", static_cast<long long>(index),
                  FormatExtension(options_.format));
    const std::string path = (std::filesystem::path(options_.out_dir) / name).string();
    if (options_.format == ImageFileFormat::kRaw) {
      return WriteRaw(path, data, static_cast<size_t>(g_.bytes), error);
    }
    const size_t stride =
        static_cast<size_t>(g_.width) * static_cast<size_t>(format_->bytes_per_pixel);
    rgb_.resize(static_cast<size_t>(g_.width) * static_cast<size_t>(g_.height) * 3);
    for (int32_t y = 0; y < g_.height; ++y) {
      UnpackRowToRgb(*format_, data + stride * static_cast<size_t>(y), g_.width,
                     rgb_.data() + static_cast<size_t>(y) * static_cast<size_t>(g_.width) * 3);
    }
    if (options_.format == ImageFileFormat::kPng) {
      return WritePng(path, g_.width, g_.height, rgb_.data(), error);
    }
    return WriteBmp(path, g_.width, g_.height, rgb_.data(), error);
  }

 private:
  const Options& options_;
  ImageGeometry g_;
  std::optional<PixelFormatInfo> format_;
  std::vector<uint8_t> rgb_;
};

std::string Summary(const Options& options, const CardSession& s, const ImageGeometry& g,
                    const std::optional<PixelFormatInfo>& format, const FrameStatistics& stats,
                    int32_t peak_ready, int32_t total_buffers, int64_t images_written,
                    int64_t images_behind, const std::string& time_source) {
  std::string out;
  char line[256];
  auto add = [&](const char* label, const std::string& value) {
    std::snprintf(line, sizeof line, "  %-12s%s\n", label, value.c_str());
    out += line;
  };
  std::string mode = std::to_string(g.width) + "x" + std::to_string(g.height);
  int32_t rate = 0;
  if (s.card_image && SUCCEEDED(s.card_image->GetFrameRate(&rate)) && rate > 0) {
    mode += " " + std::to_string(rate) + " Hz";
  }
  add("mode", mode);
  std::snprintf(line, sizeof line, "%d %s, %d bits per pixel", g.format,
                format ? format->name : "(unknown)", g.bits);
  add("format", line);
  std::snprintf(line, sizeof line, "%d x %d, %d bytes", g.width, g.height, g.bytes);
  add("image size", line);
  std::snprintf(line, sizeof line, "%lld in %.2f s", static_cast<long long>(stats.frames),
                stats.duration_s);
  add("captured", line);
  add("dropped", std::to_string(stats.dropped) + " (gaps in the frame numbers)");
  std::snprintf(line, sizeof line, "%.2f", stats.mean_fps);
  add("mean fps", line);
  std::snprintf(line, sizeof line, "p50 %.3f ms, p99 %.3f ms", stats.interval_p50_ms,
                stats.interval_p99_ms);
  add("interval", line);
  std::snprintf(line, sizeof line, "%d of %d buffers", peak_ready, total_buffers);
  add("peak ready", line);
  add("time source", time_source);
  if (!options.out_dir.empty()) {
    std::snprintf(line, sizeof line, "%lld %s images, frames.csv, summary.txt in %s",
                  static_cast<long long>(images_written), FormatName(options.format),
                  options.out_dir.c_str());
    add("written", line);
    add("not written", std::to_string(images_behind) + " (writer behind)");
  }
  return out;
}

}  // namespace

int RunGrab(const Options& options) {
  InstallInterruptHandler();
  // The time source values are read by the module at EnableGrab.
  TimeSourceSettings time_source;
  CardSession s;
  int status = StoreTimeSourceAndOpenCard(options, &time_source, &s);
  if (status != kExitOk) return status;
  IOrvaneGenericGrabber* grabber = s.grabber.Get();

  // Capture format and rate, then geometry and pacing, before the buffers take
  // the image size.
  status = ApplyCaptureOptions(options, s);
  if (status == kExitOk) status = ApplyGeometryOptions(options, s);
  if (status != kExitOk) {
    CloseCard(&s);
    return status;
  }

  HRESULT hr = grabber->AllocateBuffers(static_cast<int16_t>(options.buffers));
  if (FAILED(hr)) {
    status = ReportComFailure("AllocateBuffers", hr);
    CloseCard(&s);
    return status;
  }

  // The geometry stays as it was when grabbing started: every buffer holds at
  // least that much, whatever the card does later.
  ImageGeometry g;
  int32_t offset_x = 0, offset_y = 0;
  s.image->GetImageGeometry(&g.width, &g.height, &offset_x, &offset_y);
  s.image->GetImageBytes(&g.bytes);
  s.image->GetBitsPerPixel(&g.bits);
  s.image->GetImageFormat(&g.format);
  std::optional<PixelFormatInfo> format = DescribeFormat(g.format);
  if (format && static_cast<int64_t>(g.width) * g.height * format->bytes_per_pixel > g.bytes) {
    format.reset();  // the buffer would not hold what the format says
  }

  const bool write_files = !options.out_dir.empty();
  const bool write_images = write_files && (format || options.format == ImageFileFormat::kRaw);
  std::FILE* csv = nullptr;
  if (write_files) {
    std::error_code ec;
    std::filesystem::create_directories(options.out_dir, ec);
    csv = std::fopen((std::filesystem::path(options.out_dir) / "frames.csv").string().c_str(), "w");
    if (csv == nullptr) {
      std::fprintf(stderr, "zeltograb: cannot write into %s\n", options.out_dir.c_str());
      grabber->FreeAllBuffers();
      CloseCard(&s);
      return kExitFileError;
    }
    std::fputs(CsvHeader().c_str(), csv);
    if (!write_images) {
      std::fprintf(stderr,
                   "zeltograb: image format %d is not one the tool can convert; "
                   "use --format raw for the bytes\n",
                   g.format);
    }
  }

  std::printf("zeltograb: module %s\n", s.module_path.c_str());
  char until[64] = ", Ctrl-C stops";
  if (options.frames) {
    std::snprintf(until, sizeof until, ", %lld frames", static_cast<long long>(*options.frames));
  } else if (options.seconds) {
    std::snprintf(until, sizeof until, ", for %g s", *options.seconds);
  }
  std::printf("zeltograb: grabbing %dx%d, format %d (%s), %d buffers%s\n", g.width, g.height,
              g.format, format ? format->name : "unknown", options.buffers, until);
  std::fflush(stdout);

  hr = grabber->EnableGrab();
  if (FAILED(hr)) {
    status = ReportComFailure("EnableGrab", hr);
    grabber->FreeAllBuffers();
    if (csv != nullptr) std::fclose(csv);
    CloseCard(&s);
    return status;
  }

  std::vector<FrameSample> samples;
  std::optional<ImageWriter> writer;
  if (write_images) {
    writer.emplace(static_cast<size_t>(g.bytes), std::max(kWriterSlots, options.buffers),
                   kWriterThreads, [&options, &g, &format] {
                     // The disk may fall behind, the card and the grab loop not.
                     LowerThisThreadPriority();
                     auto sink = std::make_shared<ImageSink>(options, g, format);
                     return [sink](int64_t index, const uint8_t* data, std::string* error) {
                       return sink->Write(index, data, error);
                     };
                   });
  }
  bool told_behind = false;
  StatusLine status_line(StdoutIsTerminal(), options.buffers);
  int64_t images_written = 0;
  int64_t images_behind = 0;
  int64_t running_dropped = 0;
  std::optional<uint32_t> last_number;
  std::string error;
  const auto started = Clock::now();
  {
    Watchdog watchdog(grabber);
    // Every buffer armed ahead, so the card always has one to fill.
    for (int i = 0; i < options.buffers && watchdog.reason() == StopReason::kNone; ++i) {
      hr = grabber->ArmBuffer();
      if (FAILED(hr)) break;
    }
    while (SUCCEEDED(hr) && watchdog.reason() == StopReason::kNone) {
      if (options.frames && static_cast<int64_t>(samples.size()) >= *options.frames) break;
      if (options.seconds &&
          std::chrono::duration<double>(Clock::now() - started).count() >= *options.seconds) {
        break;
      }
      ImageRecord* record = nullptr;
      hr = grabber->GetFrame(&record);
      if (FAILED(hr)) break;
      if (record == nullptr || record->Data == nullptr) continue;  // woken up
      watchdog.FrameArrived();
      int32_t ready = 0;
      const bool ready_known = SUCCEEDED(s.usage->GetReadyCount(&ready));

      const auto* data = static_cast<const uint8_t*>(record->Data);
      FrameSample sample;
      sample.seconds = record->Seconds;
      sample.milliseconds = record->Milliseconds;
      sample.microseconds = record->Microseconds;
      if (format) sample.frame_number = DecodeFrameCode(data, g, *format);
      if (ready_known) sample.ready = ready;
      if (time_source.plugin && g.bytes >= 4) {
        sample.time_code = DecodeTimeCode(data, time_source.ltc_frame_rate);
      }
      const int64_t index = static_cast<int64_t>(samples.size());
      if (writer && index % options.every == 0 && !writer->Offer(index, data)) {
        if (writer->failed()) {
          grabber->ReleaseCurrentFrame();
          break;
        }
        if (!told_behind) {
          std::fprintf(stderr, "zeltograb: the image writer is behind; frames are not written\n");
          told_behind = true;
        }
      }
      hr = grabber->ReleaseCurrentFrame();
      if (csv != nullptr) {
        std::fputs(CsvRow(index, sample, samples.empty() ? nullptr : &samples.back()).c_str(), csv);
      }
      if (sample.frame_number) {
        if (last_number && *sample.frame_number > *last_number) {
          running_dropped += *sample.frame_number - *last_number - 1;
        }
        last_number = sample.frame_number;
      }
      samples.push_back(sample);

      status_line.Update(static_cast<int64_t>(samples.size()), ready, running_dropped);
      if (SUCCEEDED(hr)) hr = grabber->ArmBuffer();
    }
    if (writer) {
      writer->Finish(&error);  // what is queued still goes to disk
      images_written = writer->written();
      images_behind = writer->behind();
    }
    watchdog.Stop();
    status_line.End();
    if (FAILED(hr)) {
      status = ReportComFailure("grabbing", hr);
    } else if (!error.empty()) {
      std::fprintf(stderr, "zeltograb: %s\n", error.c_str());
      status = kExitFileError;
    } else if (watchdog.reason() == StopReason::kNoFrames) {
      std::fprintf(stderr, "zeltograb: no frame from the card for %lld s (signal lost?)\n",
                   static_cast<long long>(kFrameTimeout.count()));
      status = kExitModuleError;
    } else if (watchdog.reason() == StopReason::kInterrupted) {
      std::printf("zeltograb: interrupted\n");
    }
  }

  // Read before DisableGrab, which commits every armed buffer at once.
  int32_t peak_ready = 0, total_buffers = 0;
  s.usage->GetPeakReadyCount(&peak_ready);
  s.usage->GetTotalBuffers(&total_buffers);
  hr = grabber->DisableGrab();
  if (FAILED(hr) && status == kExitOk) status = ReportComFailure("DisableGrab", hr);
  grabber->FreeAllBuffers();

  std::string time_source_line = DescribeTimeSource(time_source);
  const std::string time_source_state = DescribeTimeSourceState(grabber);
  if (!time_source_state.empty()) time_source_line += "; " + time_source_state;
  const std::string summary =
      Summary(options, s, g, format, Summarise(samples), peak_ready, total_buffers, images_written,
              images_behind, time_source_line);
  std::printf("zeltograb: done\n%s", summary.c_str());
  if (csv != nullptr) {
    if (std::fclose(csv) != 0 && status == kExitOk) status = kExitFileError;
    if (std::FILE* f = std::fopen(
            (std::filesystem::path(options.out_dir) / "summary.txt").string().c_str(), "w")) {
      std::fputs(summary.c_str(), f);
      std::fclose(f);
    }
  }
  CloseCard(&s);
  if (options.report && status == kExitOk) status = DrawReport(options.out_dir);
  return status;
}

}  // namespace zelto::grab
