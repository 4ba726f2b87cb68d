// The intro splash on Windows: the clip written under the temporary folder, the player's
// callback, the splash window and what ends it, and playing a file that is not a video.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/intro_callback_win32.hpp"
#include "app/intro_file_win32.hpp"
#include "app/splash_rules.hpp"
#include "app/splash_win32.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

/// True when a message in [first, last] was waiting for `window` (it is taken out).
bool took(HWND window, UINT first, UINT last) {
    MSG message{};
    return ::PeekMessageW(&message, window, first, last, PM_REMOVE) != 0;
}

bool quit_pending() {
    MSG message{};
    return ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

class IntroFile : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() / ("ostrel-intro-" + std::string(info->name()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "temp");
        fs::create_directories(root_ / "app");
    }
    void TearDown() override { fs::remove_all(root_); }
    std::wstring temp() const { return (root_ / "temp").wstring() + L"\\"; }
    std::wstring module() const { return (root_ / "app" / "ostrel.exe").wstring(); }
    fs::path extracted() const { return root_ / "temp" / "Ostrel" / "Ostrelintro.mp4"; }

    fs::path root_;
    const std::vector<std::uint8_t> clip_{'c', 'l', 'i', 'p', '-', 'b', 'y', 't', 'e', 's'};
};

TEST_F(IntroFile, WrittenOnceAStaleCopyOfAnotherSizeIsReplacedOneOfTheRightSizeKept) {
    const auto first = extract_intro_file(clip_, temp(), module());
    ASSERT_TRUE(first);
    EXPECT_EQ(fs::path(*first), extracted());
    EXPECT_EQ(read(extracted()), "clip-bytes");

    write(extracted(), "an older, longer clip");
    ASSERT_TRUE(extract_intro_file(clip_, temp(), module()));
    EXPECT_EQ(read(extracted()), "clip-bytes");

    // Same size: taken as the same clip and not written again.
    write(extracted(), "same-size!");
    ASSERT_TRUE(extract_intro_file(clip_, temp(), module()));
    EXPECT_EQ(read(extracted()), "same-size!");
}

TEST_F(IntroFile, FallsBackToACopyBesideTheProgramElseThereIsNone) {
    EXPECT_FALSE(extract_intro_file({}, temp(), module()));
    EXPECT_FALSE(extract_intro_file(clip_, L"", module()));

    write(root_ / "app" / "Ostrelintro.mp4", "beside");
    const auto beside = extract_intro_file({}, temp(), module());
    ASSERT_TRUE(beside);
    EXPECT_EQ(fs::path(*beside), root_ / "app" / "Ostrelintro.mp4");
    // A temporary folder too long to hold the file's name: the copy beside the program.
    const std::wstring long_temp = temp() + std::wstring(240, L'x') + L"\\";
    const auto fallback = extract_intro_file(clip_, long_temp, module());
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fs::path(*fallback), root_ / "app" / "Ostrelintro.mp4");
    EXPECT_FALSE(extract_intro_file({}, temp(), L""));
}

/// A message-only window to receive what the callback posts.
class IntroCallbackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override { ::DestroyWindow(window_); }

    static MFP_EVENT_HEADER event(MFP_EVENT_TYPE type, HRESULT result = S_OK) {
        MFP_EVENT_HEADER header{};
        header.eEventType = type;
        header.hrEvent = result;
        return header;
    }

    HWND window_ = nullptr;
};

TEST_F(IntroCallbackTest, AnswersForItsTwoInterfacesAndCountsReferences) {
    auto* callback = new IntroCallback(window_);
    EXPECT_EQ(callback->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    void* out = nullptr;
    ASSERT_EQ(callback->QueryInterface(__uuidof(IMFPMediaPlayerCallback), &out), S_OK);
    EXPECT_EQ(out, static_cast<IMFPMediaPlayerCallback*>(callback));
    ASSERT_EQ(callback->QueryInterface(IID_IUnknown, &out), S_OK);
    out = callback;
    const IID other = {0x0a1b2c3d, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(callback->QueryInterface(other, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    // One reference from the start, two from the answered queries.
    EXPECT_EQ(callback->AddRef(), 4u);
    EXPECT_EQ(callback->Release(), 3u);
    EXPECT_EQ(callback->Release(), 2u);
    EXPECT_EQ(callback->Release(), 1u);
    EXPECT_EQ(callback->Release(), 0u);  // deleted here
}

TEST_F(IntroCallbackTest, EndErrorAndFailedEventsDismissASetItemFitsOthersAreIgnored) {
    auto* callback = new IntroCallback(window_);
    for (MFP_EVENT_HEADER header :
         {event(MFP_EVENT_TYPE_PLAYBACK_ENDED), event(MFP_EVENT_TYPE_ERROR),
          event(MFP_EVENT_TYPE_PLAY, E_FAIL), event(MFP_EVENT_TYPE_MEDIAITEM_SET, E_FAIL)}) {
        callback->OnMediaPlayerEvent(&header);
        EXPECT_TRUE(took(window_, kIntroDismiss, kIntroDismiss)) << header.eEventType;
        EXPECT_FALSE(took(window_, 0, 0xFFFF)) << header.eEventType;
    }
    MFP_EVENT_HEADER set = event(MFP_EVENT_TYPE_MEDIAITEM_SET);
    callback->OnMediaPlayerEvent(&set);
    EXPECT_TRUE(took(window_, kIntroFit, kIntroFit));
    for (MFP_EVENT_HEADER header : {event(MFP_EVENT_TYPE_PLAY), event(MFP_EVENT_TYPE_PAUSE),
                                    event(MFP_EVENT_TYPE_MEDIAITEM_CREATED)}) {
        callback->OnMediaPlayerEvent(&header);
    }
    callback->OnMediaPlayerEvent(nullptr);
    EXPECT_FALSE(took(window_, 0, 0xFFFF));
    callback->Release();

    auto* orphan = new IntroCallback(nullptr);  // no window: nothing to post to
    MFP_EVENT_HEADER ended = event(MFP_EVENT_TYPE_PLAYBACK_ENDED);
    orphan->OnMediaPlayerEvent(&ended);
    orphan->Release();
}

class IntroWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = open_intro_window();
        if (window_ == nullptr) GTEST_SKIP() << "no display for a window";
    }
    void TearDown() override {
        if (window_ != nullptr) close_intro_window(window_);
        quit_pending();
    }

    /// Sends the message to a splash with a fresh state; that state afterwards.
    IntroSplashState after(UINT message, WPARAM wparam = 0) {
        IntroSplashState state;
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
        ::SendMessageW(window_, message, wparam, 0);
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        quit_ = quit_pending();
        return state;
    }

    HWND window_ = nullptr;
    bool quit_ = false;
};

TEST_F(IntroWindow, IsABorderlessTopmostWindowCentredOnTheWorkArea) {
    wchar_t name[64] = {};
    ::GetClassNameW(window_, name, 64);
    EXPECT_STREQ(name, L"OstrelIntro");
    ::GetWindowTextW(window_, name, 64);
    EXPECT_STREQ(name, L"Ostrel");
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_STYLE));
    const auto extended = static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_EXSTYLE));
    EXPECT_NE(style & WS_POPUP, 0u);
    EXPECT_EQ(style & WS_CAPTION, 0u);
    EXPECT_NE(extended & WS_EX_TOPMOST, 0u);
    EXPECT_TRUE(::IsWindowVisible(window_));

    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT at{};
    ::GetWindowRect(window_, &at);
    EXPECT_EQ(at.right - at.left, 1280);
    EXPECT_EQ(at.bottom - at.top, 720);
    EXPECT_EQ(at.left, work.left + (work.right - work.left - 1280) / 2);
    EXPECT_EQ(at.top, work.top + (work.bottom - work.top - 720) / 2);
}

TEST_F(IntroWindow, EnterEscapeSpaceAndEitherButtonDismissOtherKeysDoNothing) {
    for (WPARAM key : {WPARAM{'A'}, WPARAM{VK_TAB}, WPARAM{VK_F1}, WPARAM{VK_LEFT}}) {
        EXPECT_FALSE(after(WM_KEYDOWN, key).done) << key;
        EXPECT_FALSE(quit_);
    }
    for (WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_ESCAPE}, WPARAM{VK_SPACE}}) {
        const IntroSplashState state = after(WM_KEYDOWN, key);
        EXPECT_TRUE(state.done) << key;
        EXPECT_EQ(state.end, IntroEnd::dismissed);
        EXPECT_TRUE(quit_) << "the message loop is told to stop";
    }
    for (UINT button : {UINT{WM_LBUTTONDOWN}, UINT{WM_RBUTTONDOWN}}) {
        const IntroSplashState state = after(button);
        EXPECT_TRUE(state.done);
        EXPECT_EQ(state.end, IntroEnd::dismissed);
    }
}

TEST_F(IntroWindow, TheTimerAndTheDismissMessageEndItAFitNeedsAPlayer) {
    IntroSplashState timed = after(WM_TIMER, 1);
    EXPECT_TRUE(timed.done);
    EXPECT_EQ(timed.end, IntroEnd::timed_out);
    IntroSplashState ended = after(kIntroDismiss);
    EXPECT_TRUE(ended.done);
    EXPECT_EQ(ended.end, IntroEnd::ended);
    IntroSplashState fit = after(kIntroFit);
    EXPECT_FALSE(fit.done);
    EXPECT_FALSE(fit.fitted);
    EXPECT_FALSE(quit_);
}

TEST(IntroPlay, AFileThatIsNoVideoEndsTheSplashAtOnceAndLeavesNoQuitBehind) {
    const fs::path path = fs::temp_directory_path() / "ostrel-not-a-video.mp4";
    write(path, "this is not a video");
    const auto t0 = std::chrono::steady_clock::now();
    const IntroEnd end = play_intro_file(path.wstring(), 20000);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    fs::remove(path);
    if (end == IntroEnd::not_shown) GTEST_SKIP() << "no display or no Media Foundation";
    EXPECT_TRUE(end == IntroEnd::no_player || end == IntroEnd::ended) << static_cast<int>(end);
    EXPECT_LT(took, 10.0) << "the splash waited for its timer";
    EXPECT_EQ(::FindWindowW(kIntroClass, nullptr), nullptr);
    // A quit message left over would close the main window at its first event poll.
    EXPECT_FALSE(quit_pending());
}

}  // namespace
}  // namespace ostrel
