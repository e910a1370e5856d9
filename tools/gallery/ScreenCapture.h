#pragma once
// What the picture programs share: pumping this thread's messages, running a Unix
// shell command line from Wine, and capturing a rectangle of the X screen to PNG
// (xwd, then ImageMagick's convert), so the pictures show what the X server shows.

#include <string>

// Dispatches the messages queued for this thread.
void Pump();
// Lets the X server show what was painted.
void Settle();
// Runs a shell command line (Unix) and waits for it; true when it exited with 0.
// Paths in it must not contain spaces.
bool RunShell(const std::string& line);
// convert's options for PNG files without time stamps, so that the same pictures give
// the same files; they end in a space.
extern const char kPngOptions[];
// A PNG of the screen rectangle (x, y, width, height), without time stamps.
bool Capture(int x, int y, int width, int height, const std::string& path);
