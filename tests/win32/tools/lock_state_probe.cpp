// A second process's view of the lock keys, for the keyboard tests.
//
// Answers queries on standard input until it ends: for every line read it
// prints one line "caps num scroll", each 0 or 1 (or "error" when the state
// cannot be read). It is meant to be started before the keys change and
// asked afterwards: a thread's view follows the changes made while it lives,
// whereas under wine a process started later begins with every lock off.
// Reads the keys with plain user32 calls, not through Tovi's backend, so
// that it is an independent witness.
#include <windows.h>

#include <cstdio>

int main() {
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        BYTE state[256] = {};
        GetKeyState(0);  // brings this thread's view of the keys up to date
        if (GetKeyboardState(state)) {
            std::printf("%d %d %d\n", state[VK_CAPITAL] & 1, state[VK_NUMLOCK] & 1, state[VK_SCROLL] & 1);
        } else {
            std::printf("error\n");
        }
        std::fflush(stdout);
    }
    return 0;
}
