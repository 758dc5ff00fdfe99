// The probe's command table: each command registers itself by name, so
// that every area of the tests can add its commands in a file of its own.
#pragma once
#include <windows.h>

#include <string>

typedef int (*ProbeFn)(int argc, char** argv); // argv[0] is the command name

struct ProbeCommand {
    ProbeCommand(const char* name, int minArgs, ProbeFn fn);
};

#define PROBE_COMMAND(ident, name, minArgs)                                                        \
    static int Probe_##ident([[maybe_unused]] int argc, [[maybe_unused]] char** argv);             \
    static ProbeCommand s_probe_##ident(name, minArgs, Probe_##ident);                             \
    static int Probe_##ident([[maybe_unused]] int argc, [[maybe_unused]] char** argv)

HWND ParseHwnd(const char* s);
long long ParseNum(const char* s);
void PrintHwnd(HWND h);
std::string WindowInfo(HWND h);
int ProbeFail(const char* what);

// Polls until found() gives a window or the time is up.
template <class F> HWND WaitFor(F found, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND h = found())
            return h;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(20);
    }
}
