#include "platform/platform.h"

namespace {
PauseFunction g_pause = nullptr;
}

void Pause(DWORD milliseconds) {
    if (g_pause)
        g_pause(milliseconds);
    else
        Sleep(milliseconds);
}

PauseFunction SetPauseFunction(PauseFunction pause) {
    PauseFunction previous = g_pause;
    g_pause = pause;
    return previous;
}
