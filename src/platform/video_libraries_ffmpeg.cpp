// Opens FFmpeg's libraries by the sonames of the headers built against, so a newer FFmpeg with
// a different interface is never picked up by mistake.
#include <dlfcn.h>

#include <mutex>

#include "platform/video_libraries.hpp"

namespace ostrel::platform {
namespace {

#define OSTREL_STRINGIFY_VALUE(x) #x
#define OSTREL_STRINGIFY(x) OSTREL_STRINGIFY_VALUE(x)

struct Library {
    const char* soname;
    void* handle = nullptr;
};

template <typename Function>
bool bind(void* handle, const char* name, Function& out, std::string& error) {
    out = reinterpret_cast<Function>(::dlsym(handle, name));
    if (out == nullptr && error.empty()) error = std::string("FFmpeg has no ") + name;
    return out != nullptr;
}

std::expected<VideoLibraries, std::string> load() {
    // Dependencies first: each library needs the ones before it.
    Library util{"libavutil.so." OSTREL_STRINGIFY(LIBAVUTIL_VERSION_MAJOR)};
    Library scale{"libswscale.so." OSTREL_STRINGIFY(LIBSWSCALE_VERSION_MAJOR)};
    Library codec{"libavcodec.so." OSTREL_STRINGIFY(LIBAVCODEC_VERSION_MAJOR)};
    Library format{"libavformat.so." OSTREL_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR)};
    for (Library* library : {&util, &scale, &codec, &format}) {
        // Kept open for the life of the process: the calls below point into them.
        library->handle = ::dlopen(library->soname, RTLD_NOW | RTLD_LOCAL);
        if (library->handle == nullptr) {
            const char* why = ::dlerror();
            return std::unexpected(std::string("cannot load ") + library->soname +
                                   (why != nullptr ? std::string(": ") + why : std::string()));
        }
    }
    VideoLibraries api;
    std::string error;
    bind(util.handle, "av_strerror", api.av_strerror, error);
    bind(util.handle, "av_log_set_level", api.av_log_set_level, error);
    bind(util.handle, "av_frame_alloc", api.av_frame_alloc, error);
    bind(util.handle, "av_frame_free", api.av_frame_free, error);
    bind(util.handle, "av_frame_unref", api.av_frame_unref, error);
    bind(format.handle, "avformat_open_input", api.avformat_open_input, error);
    bind(format.handle, "avformat_find_stream_info", api.avformat_find_stream_info, error);
    bind(format.handle, "av_find_best_stream", api.av_find_best_stream, error);
    bind(format.handle, "av_read_frame", api.av_read_frame, error);
    bind(format.handle, "avformat_close_input", api.avformat_close_input, error);
    bind(codec.handle, "avcodec_alloc_context3", api.avcodec_alloc_context3, error);
    bind(codec.handle, "avcodec_parameters_to_context", api.avcodec_parameters_to_context, error);
    bind(codec.handle, "avcodec_open2", api.avcodec_open2, error);
    bind(codec.handle, "avcodec_send_packet", api.avcodec_send_packet, error);
    bind(codec.handle, "avcodec_receive_frame", api.avcodec_receive_frame, error);
    bind(codec.handle, "avcodec_free_context", api.avcodec_free_context, error);
    bind(codec.handle, "av_packet_alloc", api.av_packet_alloc, error);
    bind(codec.handle, "av_packet_free", api.av_packet_free, error);
    bind(codec.handle, "av_packet_unref", api.av_packet_unref, error);
    bind(scale.handle, "sws_getCachedContext", api.sws_getCachedContext, error);
    bind(scale.handle, "sws_scale", api.sws_scale, error);
    bind(scale.handle, "sws_freeContext", api.sws_freeContext, error);
    if (!error.empty()) return std::unexpected(error);
    return api;
}

}  // namespace

std::expected<const VideoLibraries*, std::string> video_libraries() {
    static const std::expected<VideoLibraries, std::string> loaded = load();
    if (!loaded) return std::unexpected(loaded.error());
    return &*loaded;
}

}  // namespace ostrel::platform
