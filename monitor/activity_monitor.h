// The activity monitor: the window state that the LED tick reads, the tick
// itself, and getvalues, which hands the window's settings to it.
//
// The window Main owns one ActivityMonitor for its whole life, gives it the
// interface-table reader during its load, and calls UpdateLeds on each
// Timer1 tick, RefreshCounters on each Timer2 tick and getvalues at the end
// of its load and on "Save". Only these change the state, which others read.
// The keys the tick switches pass through SwitchedKeys, which remembers how
// each was before its first switch; giveKeysBack hands them back as the
// program ends. Every routine here runs its statements as guarded steps
// (base/guard.h).
//
// A direction whose key is kTrayIcon switches no lock key: its activity goes
// to the lamps handler instead, which hears only changes.
//
// Window thread only; nothing is locked.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "lockkeys/lock_key_index.h"
#include "lockkeys/switched_keys.h"
#include "netstats/c_ip_helper.h"

namespace tovi {
namespace platform {
class Keyboard;
class CheckBox;
class ComboBox;
class Timer;
}  // namespace platform

class ActivityMonitor {
public:
    explicit ActivityMonitor(platform::Keyboard& keyboard);

    // The controls getvalues reads, and the timer it sets.
    struct Controls {
        platform::CheckBox& check1;  // "Enable Application"
        platform::CheckBox& check2;  // "Show Download Acitivity"
        platform::CheckBox& check3;  // "Show Upload Activity"
        platform::ComboBox& combo1;  // interval, item value in milliseconds
        platform::ComboBox& combo2;  // download key, item value a LockKeyIndex
        platform::ComboBox& combo3;  // upload key, item value a LockKeyIndex
        platform::Timer& timer1;
    };

    void UpdateLeds();       // Timer1 tick
    void RefreshCounters();  // Timer2 tick
    void getvalues(const Controls& controls);

    // Each lock key the tick switched goes back to how it was before the
    // first switch; keys it never switched stay as they are. Called as the
    // program ends; a second call finds nothing left to give back.
    void giveKeysBack() { switched_.giveBack(); }

    // Which tray lamps are lit: a direction shown on the tray icon lights its
    // lamp in each tick in which its total grew. Cleared by getvalues for a
    // direction no longer shown there and when it stops the tick, so that no
    // lamp is left lit that nothing would put out.
    struct Lamps {
        bool received = false;
        bool sent = false;
        bool operator==(const Lamps&) const = default;
    };
    // Raised, on the window's thread, whenever the lamps change. When it
    // fails, the lamps count as unchanged and the next change tries again.
    void setOnLamps(std::function<void(Lamps)> handler) { onLamps_ = std::move(handler); }
    Lamps lamps() const { return lamps_; }

    // The window's single interface-table reader, created by its load. Until
    // then, or when given none, every refresh fails and shown keys go off.
    void setIpHelper(std::shared_ptr<CIpHelper> reader) { objIpHelper_ = std::move(reader); }

    // The state, read-only here: getvalues fills the settings and the tick
    // the reference totals (bytes). All zero at first, the reader null.
    const CIpHelper* objIpHelper() const { return objIpHelper_.get(); }
    std::int32_t lngEnabled() const { return lngEnabled_; }
    std::int16_t intShowDownload() const { return intShowDownload_; }
    std::int16_t intShowUpload() const { return intShowUpload_; }
    LockKeyIndex intDownloadKey() const { return intDownloadKey_; }
    LockKeyIndex intUploadKey() const { return intUploadKey_; }
    std::int32_t lngInterval() const { return lngInterval_; }
    std::int32_t lngLastReceived() const { return lngLastReceived_; }
    std::int32_t lngLastSent() const { return lngLastSent_; }

private:
    // objIpHelper, or tovi::Error when the window has not created it.
    CIpHelper& ipHelper() const;
    void showLamps(Lamps lamps);

    std::shared_ptr<CIpHelper> objIpHelper_;
    std::int32_t lngEnabled_ = 0;       // check-box state
    std::int16_t intShowDownload_ = 0;  // check-box state; non-zero shows
    std::int16_t intShowUpload_ = 0;    // check-box state; non-zero shows
    LockKeyIndex intDownloadKey_ = 0;
    LockKeyIndex intUploadKey_ = 0;
    std::int32_t lngInterval_ = 0;  // milliseconds

    // The tick's reference totals, in bytes, from the last tick whose
    // refresh read the table; nothing resets them.
    std::int32_t lngLastReceived_ = 0;
    std::int32_t lngLastSent_ = 0;

    Lamps lamps_;
    std::function<void(Lamps)> onLamps_;

    platform::Keyboard& keyboard_;
    SwitchedKeys switched_{keyboard_};  // the keyboard as the tick uses it
};

}  // namespace tovi
