#include "ScreenCapture.h"

#include <windows.h>

#include <cstdio>

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void Settle()
{
    for (int i = 0; i < 30; ++i) {
        Pump();
        Sleep(10);
    }
}

bool RunShell(const std::string& line)
{
    static int serial = 0;
    char marker[80];
    std::snprintf(marker, sizeof marker, "/tmp/qzgallery-%lu-%d", GetCurrentProcessId(), ++serial);
    std::string windowsMarker = std::string("Z:") + marker;
    for (char& c : windowsMarker)
        if (c == '/')
            c = '\\';
    // Wine splits the command line the Windows way: double quotes around the script,
    // none inside it (so the paths have no spaces).
    std::string command = "/bin/sh -c \"" + line + "; echo $? > " + marker + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 3000 && GetFileAttributesA(windowsMarker.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Pump();
        Sleep(10);
    }
    Sleep(50);
    int code = -1;
    if (FILE* file = std::fopen(windowsMarker.c_str(), "r")) {
        if (std::fscanf(file, "%d", &code) != 1)
            code = -1;
        std::fclose(file);
    }
    DeleteFileA(windowsMarker.c_str());
    return code == 0;
}

// PNG files without time stamps, so that the same pictures give the same files.
extern const char kPngOptions[] = "-strip -define png:exclude-chunks=date,time ";

bool Capture(int x, int y, int width, int height, const std::string& path)
{
    char crop[64];
    std::snprintf(crop, sizeof crop, "%dx%d+%d+%d", width, height, x, y);
    return RunShell("xwd -root -silent | convert xwd:- -crop " + std::string(crop) + " +repage " + std::string(kPngOptions) + path);
}
