// A second process's view of the lock keys, for the keyboard tests.
//
// Prints "caps num scroll" as 0/1 and exits with the same three bits as its
// code (1 Caps Lock, 2 Num Lock, 4 Scroll Lock); 255 when the state cannot be
// read. Reads the keys with plain user32 calls, not through Tovi's backend,
// so that it is an independent witness.
#include <windows.h>

#include <cstdio>

int main() {
    BYTE state[256] = {};
    GetKeyState(0);  // brings this thread's view of the keys up to date
    if (!GetKeyboardState(state)) return 255;
    const int caps = state[VK_CAPITAL] & 1, num = state[VK_NUMLOCK] & 1, scroll = state[VK_SCROLL] & 1;
    std::printf("%d %d %d\n", caps, num, scroll);
    return caps | num << 1 | scroll << 2;
}
