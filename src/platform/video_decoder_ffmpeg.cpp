// The video decoder on FFmpeg: libavformat reads the file, libavcodec decodes, libswscale
// scales and converts to RGBA.
#include <algorithm>

#include "platform/video_decoder.hpp"
#include "platform/video_libraries.hpp"

namespace ostrel::platform {
namespace {

class FfmpegDecoder final : public VideoDecoder {
  public:
    explicit FfmpegDecoder(const VideoLibraries& av) : av_(av) {}
    ~FfmpegDecoder() override {
        av_.sws_freeContext(scaler_);
        av_.av_frame_free(&frame_);
        av_.av_packet_free(&packet_);
        av_.avcodec_free_context(&codec_);
        av_.avformat_close_input(&format_);
    }

    std::expected<void, std::string> open(const std::string& path) {
        av_.av_log_set_level(AV_LOG_QUIET);  // failures come back as results, not terminal noise
        int rc = av_.avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
        if (rc < 0) return std::unexpected("cannot open " + path + ": " + av_error(rc));
        rc = av_.avformat_find_stream_info(format_, nullptr);
        if (rc < 0) return std::unexpected("no stream information: " + av_error(rc));
        const AVCodec* decoder = nullptr;
        stream_ = av_.av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        if (stream_ < 0 || decoder == nullptr) return std::unexpected("no video stream");
        codec_ = av_.avcodec_alloc_context3(decoder);
        if (codec_ == nullptr) return std::unexpected("out of memory");
        rc = av_.avcodec_parameters_to_context(codec_, format_->streams[stream_]->codecpar);
        if (rc >= 0) rc = av_.avcodec_open2(codec_, decoder, nullptr);
        if (rc < 0) return std::unexpected("cannot open the decoder: " + av_error(rc));
        frame_ = av_.av_frame_alloc();
        packet_ = av_.av_packet_alloc();
        if (frame_ == nullptr || packet_ == nullptr) return std::unexpected("out of memory");
        if (codec_->width < 1 || codec_->height < 1) return std::unexpected("no picture size");
        return {};
    }

    int width() const override { return codec_->width; }
    int height() const override { return codec_->height; }

    std::expected<bool, std::string> next_frame(VideoFrame& out, int width, int height,
                                                int source_rows) override {
        if (width < 1 || height < 1) return std::unexpected("no picture size");
        for (;;) {
            int rc = av_.avcodec_receive_frame(codec_, frame_);
            if (rc == 0) return convert(out, width, height, source_rows);
            if (rc == AVERROR_EOF) return false;
            if (rc != AVERROR(EAGAIN)) return std::unexpected("decode: " + av_error(rc));
            if (draining_) return false;
            rc = av_.av_read_frame(format_, packet_);
            if (rc == AVERROR_EOF) {
                draining_ = true;
                av_.avcodec_send_packet(codec_, nullptr);  // hand out the frames still held back
                continue;
            }
            if (rc < 0) return std::unexpected("read: " + av_error(rc));
            if (packet_->stream_index == stream_) rc = av_.avcodec_send_packet(codec_, packet_);
            av_.av_packet_unref(packet_);
            if (rc < 0 && rc != AVERROR(EAGAIN)) return std::unexpected("decode: " + av_error(rc));
        }
    }

  private:
    std::string av_error(int code) const {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_.av_strerror(code, text, sizeof text);
        return text;
    }

    std::expected<bool, std::string> convert(VideoFrame& out, int width, int height,
                                             int source_rows) {
        const int rows = std::clamp(source_rows, 1, frame_->height);
        scaler_ = av_.sws_getCachedContext(
            scaler_, frame_->width, rows, static_cast<AVPixelFormat>(frame_->format), width, height,
            AV_PIX_FMT_RGBA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (scaler_ == nullptr) return std::unexpected("cannot convert the picture");
        out.width = width;
        out.height = height;
        out.rgba.resize(static_cast<std::size_t>(width) * height * 4);
        std::uint8_t* planes[4] = {out.rgba.data(), nullptr, nullptr, nullptr};
        const int strides[4] = {width * 4, 0, 0, 0};
        // Only the top rows go in: the rest of the picture is cut off.
        av_.sws_scale(scaler_, frame_->data, frame_->linesize, 0, rows, planes, strides);

        const AVRational base = format_->streams[stream_]->time_base;
        const std::int64_t pts =
            frame_->best_effort_timestamp != AV_NOPTS_VALUE ? frame_->best_effort_timestamp : 0;
        const std::int64_t start = format_->streams[stream_]->start_time != AV_NOPTS_VALUE
                                       ? format_->streams[stream_]->start_time
                                       : 0;
        out.seconds = std::max(0.0, static_cast<double>(pts - start) * av_q2d(base));
        av_.av_frame_unref(frame_);
        return true;
    }

    const VideoLibraries& av_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    int stream_ = -1;
    bool draining_ = false;
};

}  // namespace

std::expected<std::unique_ptr<VideoDecoder>, std::string> VideoDecoder::open(
    const std::string& path) {
    const auto libraries = video_libraries();
    if (!libraries) return std::unexpected(libraries.error());
    auto decoder = std::make_unique<FfmpegDecoder>(**libraries);
    if (auto opened = decoder->open(path); !opened) return std::unexpected(opened.error());
    return decoder;
}

}  // namespace ostrel::platform
