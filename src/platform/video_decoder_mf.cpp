// Video decoding on Windows: the Media Foundation source reader, asked for 32-bit RGB frames.
#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdio>

#include "platform/text_win32.hpp"
#include "platform/video_decoder.hpp"

namespace ostrel::platform {
namespace {

constexpr DWORD kVideo = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);

template <class T>
void release(T*& p) {
    if (p != nullptr) p->Release();
    p = nullptr;
}

std::string failed(const char* what, HRESULT hr) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (0x%08lx)", what, static_cast<unsigned long>(hr));
    return text;
}

class MfDecoder final : public VideoDecoder {
  public:
    MfDecoder() = default;
    MfDecoder(const MfDecoder&) = delete;
    MfDecoder& operator=(const MfDecoder&) = delete;
    ~MfDecoder() override {
        release(reader_);
        if (started_) ::MFShutdown();
    }

    std::expected<void, std::string> open(const std::string& path) {
        HRESULT hr = ::MFStartup(MF_VERSION, MFSTARTUP_LITE);
        if (FAILED(hr)) return std::unexpected(failed("MFStartup", hr));
        started_ = true;

        IMFAttributes* attributes = nullptr;
        hr = ::MFCreateAttributes(&attributes, 1);
        if (FAILED(hr)) return std::unexpected(failed("MFCreateAttributes", hr));
        // Lets the reader convert the decoder's YUV into RGB for us.
        attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE);
        const std::wstring wide = widen(path);
        hr = ::MFCreateSourceReaderFromURL(wide.c_str(), attributes, &reader_);
        release(attributes);
        if (FAILED(hr)) return std::unexpected(failed("MFCreateSourceReaderFromURL", hr));

        reader_->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
        hr = reader_->SetStreamSelection(kVideo, TRUE);
        if (FAILED(hr)) return std::unexpected(failed("selecting the video stream", hr));

        IMFMediaType* wanted = nullptr;
        hr = ::MFCreateMediaType(&wanted);
        if (FAILED(hr)) return std::unexpected(failed("MFCreateMediaType", hr));
        wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        wanted->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32);
        hr = reader_->SetCurrentMediaType(kVideo, nullptr, wanted);
        release(wanted);
        if (FAILED(hr)) return std::unexpected(failed("asking for RGB frames", hr));

        IMFMediaType* actual = nullptr;
        hr = reader_->GetCurrentMediaType(kVideo, &actual);
        if (FAILED(hr)) return std::unexpected(failed("GetCurrentMediaType", hr));
        UINT32 width = 0;
        UINT32 height = 0;
        hr = ::MFGetAttributeSize(actual, MF_MT_FRAME_SIZE, &width, &height);
        UINT32 stride = 0;
        if (SUCCEEDED(actual->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride)))
            stride_ = static_cast<LONG>(stride);
        release(actual);
        if (FAILED(hr) || width == 0 || height == 0)
            return std::unexpected(std::string("the video has no frame size"));
        width_ = static_cast<int>(width);
        height_ = static_cast<int>(height);
        if (stride_ == 0) stride_ = width_ * 4;
        return {};
    }

    int width() const override { return width_; }
    int height() const override { return height_; }

    std::expected<bool, std::string> next_frame(VideoFrame& frame, int width, int height,
                                                int source_rows) override {
        if (width < 1 || height < 1) return std::unexpected(std::string("bad frame size"));
        for (;;) {
            DWORD flags = 0;
            LONGLONG stamp = 0;
            IMFSample* sample = nullptr;
            const HRESULT hr = reader_->ReadSample(kVideo, 0, nullptr, &flags, &stamp, &sample);
            if (FAILED(hr)) return std::unexpected(failed("ReadSample", hr));
            if ((flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0) {
                release(sample);
                return false;
            }
            if (sample == nullptr) continue;
            const bool ok = copy_scaled(sample, frame, width, height, source_rows);
            release(sample);
            if (!ok) return std::unexpected(std::string("a video frame could not be read"));
            frame.seconds = static_cast<double>(stamp) / 1e7;
            return true;
        }
    }

  private:
    // Nearest-neighbour scaling of the top `source_rows` rows, BGRX to RGBA.
    bool copy_scaled(IMFSample* sample, VideoFrame& frame, int width, int height,
                     int source_rows) const {
        IMFMediaBuffer* buffer = nullptr;
        if (FAILED(sample->ConvertToContiguousBuffer(&buffer))) return false;
        BYTE* data = nullptr;
        DWORD length = 0;
        if (FAILED(buffer->Lock(&data, nullptr, &length))) {
            release(buffer);
            return false;
        }
        const LONG pitch = stride_ < 0 ? -stride_ : stride_;
        const bool fits = static_cast<long long>(pitch) * height_ <= length;
        if (fits) {
            const int rows = source_rows < 1 || source_rows > height_ ? height_ : source_rows;
            frame.width = width;
            frame.height = height;
            frame.rgba.assign(static_cast<std::size_t>(width) * height * 4, 255);
            for (int y = 0; y < height; ++y) {
                const int sy = static_cast<int>(static_cast<long long>(y) * rows / height);
                const int stored = stride_ < 0 ? height_ - 1 - sy : sy;
                const BYTE* row = data + static_cast<std::size_t>(stored) * pitch;
                std::uint8_t* out = &frame.rgba[static_cast<std::size_t>(y) * width * 4];
                for (int x = 0; x < width; ++x) {
                    const BYTE* p = row + (static_cast<long long>(x) * width_ / width) * 4;
                    out[x * 4 + 0] = p[2];
                    out[x * 4 + 1] = p[1];
                    out[x * 4 + 2] = p[0];
                }
            }
        }
        buffer->Unlock();
        release(buffer);
        return fits;
    }

    IMFSourceReader* reader_ = nullptr;
    bool started_ = false;
    int width_ = 0;
    int height_ = 0;
    LONG stride_ = 0;
};

}  // namespace

std::expected<std::unique_ptr<VideoDecoder>, std::string> VideoDecoder::open(
    const std::string& path) {
    auto decoder = std::make_unique<MfDecoder>();
    auto opened = decoder->open(path);
    if (!opened) return std::unexpected(opened.error());
    return decoder;
}

}  // namespace ostrel::platform
