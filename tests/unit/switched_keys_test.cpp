// The lock keys given back at exit: only the keys the tick switched, each to
// its state before the first switch, and nothing at all where the keyboard
// cannot be read any more.
#include <gtest/gtest.h>

#include "fakes/fake_keyboard.h"
#include "lockkeys/lock_key_index.h"
#include "lockkeys/set_lock_key.h"
#include "lockkeys/switched_keys.h"

namespace tovi {
namespace {

using fakes::FakeKeyboard;
using Op = FakeKeyboard::Op;

// On either path of SetLockKey: key events, or (older Windows) a state
// write that flips the lock.
TEST(SwitchedKeys, EachSwitchedKeyGoesBackToItsStateBeforeTheFirstSwitchAndNoOtherKeyMoves) {
    for (const auto platform : {platform::kVerPlatformWin32Nt, platform::kVerPlatformWin32Windows}) {
        SCOPED_TRACE(platform);
        FakeKeyboard keyboard;
        keyboard.platform = platform;
        keyboard.setLit(kVkCapital, true);  // the user's Caps Lock was on
        SwitchedKeys switched(keyboard);
        SetLockKey(switched, kVkCapital, false);  // the tick darkens it
        SetLockKey(switched, kVkScroll, true);
        SetLockKey(switched, kVkScroll, false);
        SetLockKey(switched, kVkScroll, true);    // later switches do not move what is remembered
        SetLockKey(switched, kVkNumLock, false);  // already off: not switched
        keyboard.setLit(kVkNumLock, true);        // the user's own press meanwhile
        ASSERT_TRUE(keyboard.lit(kVkScroll));

        switched.giveBack();
        EXPECT_TRUE(keyboard.lit(kVkCapital));
        EXPECT_FALSE(keyboard.lit(kVkScroll));
        EXPECT_TRUE(keyboard.lit(kVkNumLock)) << "a key the tick never switched is not Tovi's to give back";

        // Given back once: a second end finds nothing to do.
        keyboard.calls.clear();
        switched.giveBack();
        EXPECT_TRUE(keyboard.calls.empty());
    }
}

TEST(SwitchedKeys, AKeyboardThatCannotBeReadIsNotSwitchedBlind) {
    FakeKeyboard keyboard;
    SwitchedKeys switched(keyboard);
    SetLockKey(switched, kVkCapital, true);
    keyboard.failGetKeyboardState = true;  // the display has gone
    keyboard.calls.clear();
    switched.giveBack();
    EXPECT_EQ(keyboard.count(Op::KeybdEvent), 0u);
    EXPECT_EQ(keyboard.count(Op::SetKeyboardState), 0u);

    // A switch made after a failed read cannot say what the key was: it is
    // not remembered, rather than remembered wrong.
    FakeKeyboard blind;
    blind.failGetKeyboardState = true;
    SwitchedKeys afterFailure(blind);
    SetLockKey(afterFailure, kVkScroll, true);
    EXPECT_TRUE(afterFailure.recorded().empty());
}

}  // namespace
}  // namespace tovi
