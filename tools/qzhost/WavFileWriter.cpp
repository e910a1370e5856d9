#include "WavFileWriter.h"

#include <vector>

namespace qzhost {

namespace {

void Put16(std::vector<BYTE>& out, uint32_t value)
{
    out.push_back(static_cast<BYTE>(value));
    out.push_back(static_cast<BYTE>(value >> 8));
}

void Put32(std::vector<BYTE>& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutTag(std::vector<BYTE>& out, const char (&tag)[5])
{
    out.insert(out.end(), tag, tag + 4);
}

bool IsFloat(const WAVEFORMATEX& format) { return format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT; }

// The header before the audio: 44 bytes for PCM; 58 for float, whose "fmt " chunk
// carries the (empty) extension size and which has a "fact" chunk with the frames.
uint32_t HeaderSize(const WAVEFORMATEX& format) { return IsFloat(format) ? 58 : 44; }

// The most audio one RIFF file can describe.
constexpr uint64_t kRiffLimit = 0xFFFFFFFFull;

} // namespace

WavFileWriter::WavFileWriter(const std::wstring& path, const WAVEFORMATEX& format)
    : m_path(path), m_partial(path + L".partial"), m_format(format)
{
    m_format.nBlockAlign = static_cast<WORD>(m_format.nChannels * m_format.wBitsPerSample / 8);
    m_format.nAvgBytesPerSec = m_format.nSamplesPerSec * m_format.nBlockAlign;
    m_format.cbSize = 0;
    m_file = CreateFileW(m_partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_file == INVALID_HANDLE_VALUE)
        throw HostError("cannot create " + Quoted(m_partial) + ": " + HrText(HRESULT_FROM_WIN32(GetLastError())));
    const HRESULT hr = WriteHeader();
    if (FAILED(hr)) {
        Discard();
        throw HostError("cannot write " + Quoted(m_partial) + ": " + HrText(hr));
    }
}

WavFileWriter::~WavFileWriter()
{
    if (m_file != INVALID_HANDLE_VALUE)
        Discard();
}

void WavFileWriter::Discard()
{
    CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    DeleteFileW(m_partial.c_str());
}

HRESULT WavFileWriter::WriteHeader()
{
    const bool isFloat = IsFloat(m_format);
    const uint32_t data = static_cast<uint32_t>(m_dataBytes);
    const uint32_t pad = data & 1;
    std::vector<BYTE> header;
    PutTag(header, "RIFF");
    Put32(header, HeaderSize(m_format) - 8 + data + pad);
    PutTag(header, "WAVE");
    PutTag(header, "fmt ");
    Put32(header, isFloat ? 18 : 16);
    Put16(header, m_format.wFormatTag);
    Put16(header, m_format.nChannels);
    Put32(header, m_format.nSamplesPerSec);
    Put32(header, m_format.nAvgBytesPerSec);
    Put16(header, m_format.nBlockAlign);
    Put16(header, m_format.wBitsPerSample);
    if (isFloat) {
        Put16(header, 0);
        PutTag(header, "fact");
        Put32(header, 4);
        Put32(header, m_format.nBlockAlign != 0 ? data / m_format.nBlockAlign : 0);
    }
    PutTag(header, "data");
    Put32(header, data);

    LARGE_INTEGER start{};
    if (!SetFilePointerEx(m_file, start, nullptr, FILE_BEGIN))
        return HRESULT_FROM_WIN32(GetLastError());
    DWORD written = 0;
    if (!WriteFile(m_file, header.data(), static_cast<DWORD>(header.size()), &written, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    return written == header.size() ? S_OK : HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
}

HRESULT WavFileWriter::Write(const BYTE* data, DWORD length)
{
    if (FAILED(m_failure))
        return m_failure;
    if (m_file == INVALID_HANDLE_VALUE)
        return m_failure = E_UNEXPECTED;
    if (HeaderSize(m_format) - 8 + m_dataBytes + length + 1 > kRiffLimit)
        return m_failure = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    DWORD written = 0;
    if (!WriteFile(m_file, data, length, &written, nullptr))
        return m_failure = HRESULT_FROM_WIN32(GetLastError());
    if (written != length)
        return m_failure = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    m_dataBytes += length;
    return S_OK;
}

void WavFileWriter::Commit()
{
    if (FAILED(m_failure))
        throw HostError("cannot write " + Quoted(m_partial) + ": " + HrText(m_failure));
    HRESULT hr = S_OK;
    if (m_dataBytes & 1) {
        const BYTE pad = 0;
        DWORD written = 0;
        if (!WriteFile(m_file, &pad, 1, &written, nullptr) || written != 1)
            hr = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    }
    if (SUCCEEDED(hr))
        hr = WriteHeader();
    if (FAILED(hr))
        CloseHandle(m_file);
    else if (!CloseHandle(m_file))
        hr = HRESULT_FROM_WIN32(GetLastError());
    m_file = INVALID_HANDLE_VALUE;
    if (FAILED(hr)) {
        DeleteFileW(m_partial.c_str());
        throw HostError("cannot write " + Quoted(m_partial) + ": " + HrText(hr));
    }
    if (!MoveFileExW(m_partial.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = GetLastError();
        DeleteFileW(m_partial.c_str());
        throw HostError("cannot rename " + Quoted(m_partial) + " to " + Quoted(m_path) + ": " +
                        HrText(HRESULT_FROM_WIN32(error)));
    }
}

} // namespace qzhost
