// The intro player's callback: reference counting and the events the splash acts on.
#ifdef _WIN32
#include "app/intro_callback_win32.hpp"

namespace ostrel {

HRESULT STDMETHODCALLTYPE IntroCallback::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(IMFPMediaPlayerCallback))) {
        *out = static_cast<IMFPMediaPlayerCallback*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE IntroCallback::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE IntroCallback::Release() {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

void STDMETHODCALLTYPE IntroCallback::OnMediaPlayerEvent(MFP_EVENT_HEADER* header) {
    if (header == nullptr || window_ == nullptr) return;
    if (FAILED(header->hrEvent) || header->eEventType == MFP_EVENT_TYPE_ERROR ||
        header->eEventType == MFP_EVENT_TYPE_PLAYBACK_ENDED) {
        ::PostMessageW(window_, kIntroDismiss, 0, 0);
    } else if (header->eEventType == MFP_EVENT_TYPE_MEDIAITEM_SET) {
        ::PostMessageW(window_, kIntroFit, 0, 0);
    }
}

}  // namespace ostrel
#endif
