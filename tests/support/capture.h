// tests/support/capture.h: what a step prints on the console, captured.
#pragma once

#include <string>

// Runs `step` with standard output sent to a temporary file and returns
// every byte it printed through the console.
template <typename Step>
std::string capture_console(Step step);

// What the console shows of code page 932 text: the bytes themselves, or
// their form in the user's character set where the console converts.
std::string on_console(const std::string& cp932);

// Whether the system has the locale `name`, so that a test can run under it.
bool locale_is_generated(const char* name);

std::string begin_capture();
std::string end_capture(const std::string& handle);

template <typename Step>
std::string capture_console(Step step)
{
    const std::string handle = begin_capture();
    step();
    return end_capture(handle);
}
