#include "EngineTestSupport.h"

#include <map>
#include <ostream>


namespace qz::test {

std::ostream& operator<<(std::ostream& out, const AutomationCall& call)
{
    static const char* const names[] = {"SetParam", "BeginCapture", "Changed", "EndCapture"};
    out << names[call.kind] << "(" << call.index;
    if (call.kind == AutomationCall::SetParam || call.kind == AutomationCall::Changed)
        out << ", " << call.value;
    return out << ")";
}

HRESULT RecordingAutomation::Create(IEngineAutomation** automation, ITqPlugInProp* owner)
{
    if (automation == nullptr || owner == nullptr)
        return E_POINTER;
    *automation = new RecordingAutomation;
    return S_OK;
}

HRESULT RecordingAutomation::QueryInterface(REFIID, void** object)
{
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG RecordingAutomation::Release()
{
    LONG left = --references;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT RecordingAutomation::GetParam(DWORD index, MP_DATA* value)
{
    if (index >= static_cast<DWORD>(kParamCount))
        return E_INVALIDARG;
    *value = current[index];
    return S_OK;
}

HRESULT RecordingAutomation::SetParam(DWORD index, MP_DATA value)
{
    calls.push_back({AutomationCall::SetParam, index, value});
    if (index >= static_cast<DWORD>(kParamCount))
        return E_INVALIDARG;
    current[index] = value;
    changed = true;
    return S_OK;
}

HRESULT RecordingAutomation::TestAndClearChanged()
{
    bool was = changed;
    changed = false;
    return was ? S_OK : S_FALSE;
}

HRESULT RecordingAutomation::MarkChanged()
{
    changed = true;
    return S_OK;
}

HRESULT RecordingAutomation::UpdateToSample(int64_t position)
{
    updatePositions.push_back(position);
    return S_OK;
}

HRESULT RecordingAutomation::ParamsBeginCapture(DWORD* indices, DWORD count)
{
    for (DWORD i = 0; i < count; ++i)
        calls.push_back({AutomationCall::BeginCapture, indices[i], 0.0f});
    return S_OK;
}

HRESULT RecordingAutomation::ParamsChanged(DWORD* indices, DWORD count, MP_DATA* values)
{
    for (DWORD i = 0; i < count; ++i)
        calls.push_back({AutomationCall::Changed, indices[i], values[i]});
    return S_OK;
}

HRESULT RecordingAutomation::ParamsEndCapture(DWORD* indices, DWORD count)
{
    for (DWORD i = 0; i < count; ++i)
        calls.push_back({AutomationCall::EndCapture, indices[i], 0.0f});
    return S_OK;
}

std::vector<AutomationCall> RecordingAutomation::take()
{
    std::vector<AutomationCall> taken;
    taken.swap(calls);
    return taken;
}

WAVEFORMATEX MakeFormat(WORD formatTag, WORD bitsPerSample, WORD channels, DWORD rate)
{
    WAVEFORMATEX format{};
    format.wFormatTag = formatTag;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bitsPerSample;
    format.nBlockAlign = static_cast<WORD>(bitsPerSample / 8 * channels);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    format.cbSize = 0;
    return format;
}

#ifdef _WIN32

TestWindow::TestWindow()
    : m_window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr))
{
}

TestWindow::~TestWindow() { destroy(); }

std::vector<WPARAM> TestWindow::takeCommands()
{
    std::vector<WPARAM> commands;
    MSG msg;
    while (PeekMessageW(&msg, m_window, WM_COMMAND, WM_COMMAND, PM_REMOVE))
        commands.push_back(msg.wParam);
    return commands;
}

void TestWindow::destroy()
{
    if (m_window != nullptr && IsWindow(m_window))
        DestroyWindow(m_window);
}

#else

namespace {

// The stand-in windows that exist, with the commands posted to each.
std::map<HWND, std::vector<WPARAM>>& LiveWindows()
{
    static std::map<HWND, std::vector<WPARAM>> windows;
    return windows;
}

bool StandInExists(HWND window) { return LiveWindows().count(window) != 0; }

bool StandInPost(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    auto found = LiveWindows().find(window);
    if (found == LiveWindows().end())
        return false;
    if (message == WM_COMMAND)
        found->second.push_back(wParam);
    return true;
}

} // namespace

TestWindow::TestWindow() : m_window(reinterpret_cast<HWND>(new char))
{
    SetWindowHooks({&StandInExists, &StandInPost});
    LiveWindows()[m_window];
}

TestWindow::~TestWindow()
{
    destroy();
    delete reinterpret_cast<char*>(m_window);
}

std::vector<WPARAM> TestWindow::takeCommands()
{
    std::vector<WPARAM> commands;
    auto found = LiveWindows().find(m_window);
    if (found != LiveWindows().end())
        commands.swap(found->second);
    return commands;
}

void TestWindow::destroy() { LiveWindows().erase(m_window); }

#endif

} // namespace qz::test
