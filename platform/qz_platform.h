#pragma once
// The portable engine and automation code include this header instead of the Windows
// headers. On Windows it brings in the real SDK headers; elsewhere it declares the small
// subset of COM and Win32 that portable code names, with the same layouts and values,
// so that the same sources build and compute the same results on both sides.

#include <cstdint>

#ifdef _WIN32

#include <windows.h>
#include <objbase.h>
#include <mmreg.h>
#include <strmif.h>
#include <vfwmsgs.h>

#else // !_WIN32

#include <atomic>
#include <cstdlib>
#include <cstring>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef int32_t HRESULT;
typedef int64_t LONGLONG;
typedef char16_t WCHAR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef struct HWND__* HWND;
typedef LONGLONG REFERENCE_TIME;

#define TRUE 1
#define FALSE 0
#define STDMETHODCALLTYPE
#define WINAPI

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209L)
#define VFW_S_NO_STOP_TIME ((HRESULT)0x00040270L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define WM_COMMAND 0x0111
#define MAKEWPARAM(low, high) ((WPARAM)(DWORD)(((WORD)(low)) | (((DWORD)(WORD)(high)) << 16)))

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
protected:
    ~IUnknown() = default;
};

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)

#define WAVE_FORMAT_PCM 1
#define WAVE_FORMAT_IEEE_FLOAT 3

inline void* CoTaskMemAlloc(size_t bytes) { return std::malloc(bytes); }
inline void CoTaskMemFree(void* block) { std::free(block); }

inline LONG InterlockedIncrement(LONG volatile* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }

#endif // _WIN32

static_assert(sizeof(WAVEFORMATEX) == 18, "the wave format record is 18 bytes");
static_assert(sizeof(WCHAR) == 2, "wide text is UTF-16 in both builds");

#include <mutex>

namespace qz {

// A re-entrant lock: the thread that holds it may take it again.
class RecursiveLock {
public:
#ifdef _WIN32
    RecursiveLock() { InitializeCriticalSection(&m_section); }
    ~RecursiveLock() { DeleteCriticalSection(&m_section); }
    void lock() { EnterCriticalSection(&m_section); }
    void unlock() { LeaveCriticalSection(&m_section); }
#else
    RecursiveLock() = default;
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
#endif
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

private:
#ifdef _WIN32
    CRITICAL_SECTION m_section;
#else
    std::recursive_mutex m_mutex;
#endif
};

using LockGuard = std::lock_guard<RecursiveLock>;

// The two window calls the engine makes. On Windows they are the system's; elsewhere
// they go to a replaceable hook so that tests can observe notifications.
#ifdef _WIN32
inline bool WindowExists(HWND window) { return IsWindow(window) != FALSE; }
inline bool PostWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return PostMessageW(window, message, wParam, lParam) != FALSE;
}
#else
struct WindowHooks {
    bool (*exists)(HWND window);
    bool (*post)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
// Installs the hooks and returns the previous ones. Without hooks no window exists.
WindowHooks SetWindowHooks(WindowHooks hooks);
bool WindowExists(HWND window);
bool PostWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
#endif

// Objects of this module that are still alive. The COM server may be unloaded only
// while none is: every object handed to a host counts itself here.
void ModuleObjectCreated();
void ModuleObjectDestroyed();
LONG ModuleObjectCount();

// Whether a caller's memory may be read (written) over its whole range: on Windows
// every page from the first byte to the last must be committed, with that access
// and no guard. Elsewhere every caller is this program's own code, so only a null
// address is refused.
bool IsReadableMemory(const void* address, size_t bytes);
bool IsWritableMemory(const void* address, size_t bytes);

// Short-lived working memory from the process heap; nullptr when none is left.
void* AllocateScratch(size_t bytes);
void FreeScratch(void* block);

} // namespace qz
