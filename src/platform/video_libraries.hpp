// The FFmpeg libraries the intro decoder calls, opened on first use rather than linked: the
// headless program, the simulator and every test that never plays a clip stay free of the
// hundred-odd libraries FFmpeg pulls in (and of their memory).
#pragma once

#include <expected>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace ostrel::platform {

/// The FFmpeg calls in use, each typed from the library's own declaration.
struct VideoLibraries {
    decltype(&::av_strerror) av_strerror = nullptr;
    decltype(&::av_log_set_level) av_log_set_level = nullptr;
    decltype(&::av_frame_alloc) av_frame_alloc = nullptr;
    decltype(&::av_frame_free) av_frame_free = nullptr;
    decltype(&::av_frame_unref) av_frame_unref = nullptr;
    decltype(&::avformat_open_input) avformat_open_input = nullptr;
    decltype(&::avformat_find_stream_info) avformat_find_stream_info = nullptr;
    decltype(&::av_find_best_stream) av_find_best_stream = nullptr;
    decltype(&::av_read_frame) av_read_frame = nullptr;
    decltype(&::avformat_close_input) avformat_close_input = nullptr;
    decltype(&::avcodec_alloc_context3) avcodec_alloc_context3 = nullptr;
    decltype(&::avcodec_parameters_to_context) avcodec_parameters_to_context = nullptr;
    decltype(&::avcodec_open2) avcodec_open2 = nullptr;
    decltype(&::avcodec_send_packet) avcodec_send_packet = nullptr;
    decltype(&::avcodec_receive_frame) avcodec_receive_frame = nullptr;
    decltype(&::avcodec_free_context) avcodec_free_context = nullptr;
    decltype(&::av_packet_alloc) av_packet_alloc = nullptr;
    decltype(&::av_packet_free) av_packet_free = nullptr;
    decltype(&::av_packet_unref) av_packet_unref = nullptr;
    decltype(&::sws_getCachedContext) sws_getCachedContext = nullptr;
    decltype(&::sws_scale) sws_scale = nullptr;
    decltype(&::sws_freeContext) sws_freeContext = nullptr;
};

/// The libraries of the FFmpeg version built against, loaded once and kept for the process;
/// the error names the library or call that is missing. Safe to call from any thread.
std::expected<const VideoLibraries*, std::string> video_libraries();

}  // namespace ostrel::platform
