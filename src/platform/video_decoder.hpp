// Decoding a video file frame by frame into RGBA pictures of a chosen size.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <vector>

namespace ostrel::platform {

struct VideoFrame {
    double seconds = 0.0;  ///< when the frame is due, from the start of the clip
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  ///< rows top to bottom
};

/// The first video stream of a file (FFmpeg on Linux).
class VideoDecoder {
  public:
    /// Opens the file and its decoder; the error says what failed.
    static std::expected<std::unique_ptr<VideoDecoder>, std::string> open(const std::string& path);
    virtual ~VideoDecoder() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;
    /// The next frame, its top `source_rows` rows scaled to `width` x `height`. False at the
    /// end of the clip; an error when the stream cannot be decoded.
    virtual std::expected<bool, std::string> next_frame(VideoFrame& frame, int width, int height,
                                                        int source_rows) = 0;
};

}  // namespace ostrel::platform
