// Video files over FFmpeg: one demultiplexer, one decoder for the first video
// stream, and a converter to 24-bit rows. Frames are addressed by index; an
// index maps to a time through the stream's frame rate, so that a seek lands
// on the key frame before it and decoding runs forward to the frame itself.
#include "platform/devices/videofile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cstring>

#include "platform/devices/private/dynlib.h"

namespace {

// FFmpeg and the codec libraries behind it are opened the first time a
// video file is: mapping them costs every start of the program tens of
// milliseconds otherwise.
#define GT_FFMPEG_FUNCTIONS(X)                                                                                   \
  X(av_frame_alloc) X(av_frame_free) X(av_frame_unref) X(av_frame_move_ref) X(av_packet_alloc) X(av_packet_free) \
  X(av_packet_unref) X(av_rescale_q) X(av_rescale_rnd) X(av_log_set_level) X(av_seek_frame) X(av_read_frame)     \
  X(av_find_best_stream) X(avformat_open_input) X(avformat_find_stream_info) X(avformat_close_input)             \
  X(avcodec_alloc_context3) X(avcodec_free_context) X(avcodec_parameters_to_context) X(avcodec_open2)            \
  X(avcodec_flush_buffers) X(avcodec_send_packet) X(avcodec_receive_frame) X(sws_getCachedContext)               \
  X(sws_scale) X(sws_freeContext)

#define GT_SONAME(lib, major) "lib" #lib ".so." AV_STRINGIFY(major)

struct TFFmpeg : GtDynTable {
#define GT_FFMPEG_POINTER(f) decltype(&::f) f = nullptr;
  GT_FFMPEG_FUNCTIONS(GT_FFMPEG_POINTER)
#undef GT_FFMPEG_POINTER

  TFFmpeg() {
    Open({GT_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR), GT_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR),
          GT_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR), GT_SONAME(swscale, LIBSWSCALE_VERSION_MAJOR)});
#define GT_FFMPEG_BIND(f) Bind(f, #f);
    GT_FFMPEG_FUNCTIONS(GT_FFMPEG_BIND)
#undef GT_FFMPEG_BIND
    if (Ok()) av_log_set_level(AV_LOG_QUIET);
  }
};

// The loaded table, or nullptr when FFmpeg is missing (not retried).
const TFFmpeg* LoadFFmpeg() {
  static const TFFmpeg table;
  return table.Ok() ? &table : nullptr;
}

// Only called once a file is open, so the table is there.
const TFFmpeg& Ff() { return *LoadFFmpeg(); }

// Frames larger than this on a side are refused: the size comes from the file.
constexpr int kMaxSide = 32768;
// Packets MeasureFrameTime reads at most before it gives up.
constexpr int kMeasurePackets = 512;
// Frames decoded onwards instead of seeking when the wanted one lies ahead.
constexpr int64_t kDecodeAhead = 32;
// Half a millisecond: a time that lands just before a frame because the
// frame step was rounded still selects that frame.
constexpr int64_t kTimeSlack = 5000;

}  // namespace

struct GtVideoFile::Impl {
  AVFormatContext* Format = nullptr;
  AVCodecContext* Codec = nullptr;
  AVFrame* Decoded = nullptr;
  AVFrame* Previous = nullptr;  // the last frame before the wanted one
  AVPacket* Packet = nullptr;
  SwsContext* Scaler = nullptr;
  int Stream = -1;
  int64_t StartPts = 0;
  GtVideoInfo Info;
  // Index of the last frame the decoder gave out; -1 when the next read
  // must seek (nothing decoded yet, end reached, or the decoder is past it).
  int64_t LastIndex = -1;
  bool Draining = false;
  // The last frame handed out, kept for a repeated read of the same index.
  int64_t HeldIndex = -1;
  GtVideoFrame Held;

  ~Impl() { Release(); }

  void Release() {
    // Anything held was made through the table; with nothing held (a file
    // object never opened) FFmpeg is not loaded just to free nothing.
    if (Scaler || Packet || Decoded || Previous || Codec || Format) {
      const TFFmpeg& ff = Ff();
      ff.sws_freeContext(Scaler);
      ff.av_packet_free(&Packet);
      ff.av_frame_free(&Decoded);
      ff.av_frame_free(&Previous);
      ff.avcodec_free_context(&Codec);
      if (Format) ff.avformat_close_input(&Format);
    }
    Scaler = nullptr;
    Stream = -1;
    Info = GtVideoInfo();
    LastIndex = -1;
    HeldIndex = -1;
    Held = GtVideoFrame();
    Draining = false;
  }

  AVRational FrameUnit() const { return AVRational{Info.RateDen, Info.RateNum}; }

  int64_t IndexOf(const AVFrame* f) const {
    int64_t pts = f->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) pts = f->pts;
    if (pts == AV_NOPTS_VALUE) return LastIndex + 1;
    return Ff().av_rescale_q(pts - StartPts, Format->streams[Stream]->time_base, FrameUnit());
  }

  bool SeekTo(int64_t Index) {
    AVStream* s = Format->streams[Stream];
    const int64_t ts = StartPts + Ff().av_rescale_q(Index, FrameUnit(), s->time_base);
    if (Ff().av_seek_frame(Format, Stream, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        Ff().av_seek_frame(Format, Stream, StartPts, AVSEEK_FLAG_BACKWARD) < 0)
      return false;
    Ff().avcodec_flush_buffers(Codec);
    Ff().av_frame_unref(Previous);
    LastIndex = -1;
    Draining = false;
    return true;
  }

  // The next decoded frame into Decoded: 1 got one, 0 end of stream, -1 error.
  int NextFrame() {
    for (;;) {
      const int r = Ff().avcodec_receive_frame(Codec, Decoded);
      if (r == 0) return 1;
      if (r == AVERROR_EOF) return 0;
      if (r != AVERROR(EAGAIN)) return -1;
      if (Draining) return 0;
      const int rr = Ff().av_read_frame(Format, Packet);
      if (rr < 0) {
        // End of the file (or a read error): let the decoder give out what it holds.
        Draining = true;
        Ff().avcodec_send_packet(Codec, nullptr);
        continue;
      }
      if (Packet->stream_index == Stream) {
        const int sr = Ff().avcodec_send_packet(Codec, Packet);
        Ff().av_packet_unref(Packet);
        // A damaged packet is skipped, as a player would.
        if (sr < 0 && sr != AVERROR(EAGAIN) && sr != AVERROR_INVALIDDATA) return -1;
      } else {
        Ff().av_packet_unref(Packet);
      }
    }
  }

  bool Convert(const AVFrame* f, GtVideoFrame& Out) {
    const int w = f->width, h = f->height;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return false;
    Scaler = Ff().sws_getCachedContext(Scaler, w, h, static_cast<AVPixelFormat>(f->format), w, h, AV_PIX_FMT_BGR24,
                                  SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!Scaler) return false;
    // The converter may write past a row's end up to its alignment, so it
    // writes into padded rows that are then copied out tight.
    const int stride = FFALIGN(w * 3, 64);
    std::vector<uint8_t> scratch(static_cast<size_t>(stride) * static_cast<size_t>(h) + 64);
    uint8_t* dst[4] = {scratch.data(), nullptr, nullptr, nullptr};
    int lines[4] = {stride, 0, 0, 0};
    if (Ff().sws_scale(Scaler, f->data, f->linesize, 0, h, dst, lines) != h) return false;
    Out.Width = w;
    Out.Height = h;
    const size_t row = static_cast<size_t>(w) * 3;
    Out.Bgr.resize(row * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
      std::memcpy(Out.Bgr.data() + row * y, scratch.data() + static_cast<size_t>(stride) * y, row);
    return true;
  }

  bool Hand(const AVFrame* f, int64_t Index, GtVideoFrame& Out) {
    if (!Convert(f, Held)) {
      HeldIndex = -1;
      return false;
    }
    HeldIndex = Index;
    Out = Held;
    return true;
  }
};

GtVideoFile::GtVideoFile() : F(std::make_unique<Impl>()) {}
GtVideoFile::~GtVideoFile() = default;

bool GtVideoFile::IsOpen() const { return F->Codec != nullptr; }
const GtVideoInfo& GtVideoFile::Info() const { return F->Info; }
void GtVideoFile::Close() { F->Release(); }

bool GtVideoFile::Open(const std::string& Utf8Path, std::string& Error) {
  Close();
  if (!LoadFFmpeg()) {
    Error = "the video libraries cannot be loaded";
    return false;
  }
  Impl& d = *F;
  auto fail = [&](const char* Why) {
    Error = Why;
    d.Release();
    return false;
  };
  if (Ff().avformat_open_input(&d.Format, Utf8Path.c_str(), nullptr, nullptr) < 0) {
    d.Format = nullptr;
    return fail("the file cannot be opened as a media file");
  }
  if (Ff().avformat_find_stream_info(d.Format, nullptr) < 0) return fail("the file's streams cannot be read");
  const AVCodec* codec = nullptr;
  d.Stream = Ff().av_find_best_stream(d.Format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (d.Stream < 0 || !codec) return fail("the file holds no video stream that can be decoded");
  AVStream* s = d.Format->streams[d.Stream];
  const AVCodecParameters* par = s->codecpar;
  if (par->width <= 0 || par->height <= 0 || par->width > kMaxSide || par->height > kMaxSide)
    return fail("the video's frame size is unusable");
  AVRational rate = s->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = s->r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0 || s->time_base.num <= 0 || s->time_base.den <= 0)
    return fail("the video has no frame rate");
  d.Codec = Ff().avcodec_alloc_context3(codec);
  d.Decoded = Ff().av_frame_alloc();
  d.Previous = Ff().av_frame_alloc();
  d.Packet = Ff().av_packet_alloc();
  if (!d.Codec || !d.Decoded || !d.Previous || !d.Packet) return fail("out of memory");
  if (Ff().avcodec_parameters_to_context(d.Codec, par) < 0) return fail("the video's decoder cannot be set up");
  d.Codec->thread_count = 1;
  if (Ff().avcodec_open2(d.Codec, codec, nullptr) < 0) return fail("the video's decoder cannot be opened");

  d.StartPts = s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
  GtVideoInfo& i = d.Info;
  i.Container = d.Format->iformat && d.Format->iformat->name ? d.Format->iformat->name : "";
  i.Width = par->width;
  i.Height = par->height;
  i.FrameCount = s->nb_frames > 0 ? s->nb_frames : 0;
  i.RateNum = rate.num;
  i.RateDen = rate.den;
  const AVRational hns{1, 10000000};
  if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
    i.Duration = Ff().av_rescale_q(s->duration, s->time_base, hns);
  else if (d.Format->duration != AV_NOPTS_VALUE && d.Format->duration > 0)
    i.Duration = Ff().av_rescale_q(d.Format->duration, AVRational{1, AV_TIME_BASE}, hns);
  i.BitCount = par->bits_per_coded_sample;
  Error.clear();
  return true;
}

int64_t GtVideoFile::FrameAtTime(int64_t Time) const {
  const GtVideoInfo& i = F->Info;
  if (i.RateNum <= 0 || i.RateDen <= 0 || Time < 0 || !LoadFFmpeg()) return 0;
  return Ff().av_rescale_rnd(Time + kTimeSlack, i.RateNum, int64_t(i.RateDen) * 10000000, AV_ROUND_DOWN);
}

bool GtVideoFile::ReadFrame(int64_t Index, GtVideoFrame& Frame) {
  Impl& d = *F;
  if (!IsOpen() || Index < 0) return false;
  if (Index == d.HeldIndex) {
    Frame = d.Held;
    return true;
  }
  if (d.LastIndex < 0 || Index <= d.LastIndex || Index - d.LastIndex > kDecodeAhead) {
    if (!d.SeekTo(Index)) return false;
  }
  for (;;) {
    const int r = d.NextFrame();
    if (r <= 0) {
      // Past the end or broken: the next read starts over with a seek. A
      // frame index the stream skipped shows the frame before it.
      const bool have = d.Previous->buf[0] != nullptr && d.Info.FrameCount > 0 && Index < d.Info.FrameCount;
      const bool ok = have && d.Hand(d.Previous, Index, Frame);
      d.LastIndex = -1;
      return ok;
    }
    const int64_t idx = d.IndexOf(d.Decoded);
    if (idx == Index) {
      d.LastIndex = idx;
      const bool ok = d.Hand(d.Decoded, Index, Frame);
      // Kept as the frame before whatever is read onwards next.
      Ff().av_frame_unref(d.Previous);
      Ff().av_frame_move_ref(d.Previous, d.Decoded);
      return ok;
    }
    if (idx > Index) {
      // The stream has no frame of its own at Index: the one shown then is
      // the frame before, or the first one after a seek.
      const AVFrame* shown = d.Previous->buf[0] ? d.Previous : d.Decoded;
      const bool ok = d.Hand(shown, Index, Frame);
      d.LastIndex = -1;
      return ok;
    }
    d.LastIndex = idx;
    Ff().av_frame_unref(d.Previous);
    Ff().av_frame_move_ref(d.Previous, d.Decoded);
  }
}

int64_t GtVideoFile::MeasureFrameTime() {
  Impl& d = *F;
  if (!IsOpen() || !d.SeekTo(0)) return 0;
  AVStream* s = d.Format->streams[d.Stream];
  int64_t first = AV_NOPTS_VALUE, answer = 0;
  int packets = 0;
  while (packets < kMeasurePackets) {
    const int r = Ff().avcodec_receive_frame(d.Codec, d.Decoded);
    if (r == 0) {
      const int64_t pts = d.Decoded->best_effort_timestamp;
      Ff().av_frame_unref(d.Decoded);
      if (pts == AV_NOPTS_VALUE) continue;
      if (first == AV_NOPTS_VALUE) {
        first = pts;
      } else if (pts != first) {
        answer = Ff().av_rescale_q(pts > first ? pts - first : first - pts, s->time_base, AVRational{1, 10000000});
        break;
      }
      continue;
    }
    if (r != AVERROR(EAGAIN)) break;
    if (Ff().av_read_frame(d.Format, d.Packet) < 0) break;
    ++packets;
    if (d.Packet->stream_index == d.Stream) Ff().avcodec_send_packet(d.Codec, d.Packet);
    Ff().av_packet_unref(d.Packet);
  }
  d.LastIndex = -1;  // the next frame read seeks again
  return answer;
}
