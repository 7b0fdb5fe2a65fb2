#include "monitor/activity_monitor.h"

#include "base/checked.h"
#include "base/error.h"
#include "base/guard.h"
#include "lockkeys/set_lock_key.h"
#include "platform/toolkit.h"

namespace tovi {

ActivityMonitor::ActivityMonitor(platform::Keyboard& keyboard) : keyboard_(keyboard) {}

CIpHelper& ActivityMonitor::ipHelper() const {
    // A missing reader fails the step that wanted it, like any other refusal.
    if (!objIpHelper_) throw Error("no interface-table reader");
    return *objIpHelper_;
}

void ActivityMonitor::UpdateLeds() {
    std::int16_t downloadKey = 0;  // virtual-key codes, 0 until looked up
    std::int16_t uploadKey = 0;
    bool received = false;
    bool sent = false;

    // A refresh that could not read the table has totals of 0 that say
    // nothing about traffic: compared with them, the next good refresh would
    // light both keys for all the traffic there ever was. Such a tick changes
    // no key and keeps the reference totals of the last good one. Without a
    // reader at all the tick goes on and drives the shown keys off.
    bool refreshFailed = false;
    step([&] {
        CIpHelper& helper = ipHelper();
        refreshFailed = true;
        helper.Interfaces();
        refreshFailed = !helper.tableRead();
    });
    if (refreshFailed) return;
    step([&] { downloadKey = virtualKeyOf(intDownloadKey_); });
    step([&] { uploadKey = virtualKeyOf(intUploadKey_); });
    // Signed comparison on purpose: a total that wrapped into negative values
    // reads as lower, which turns the key off for one tick and re-bases.
    step([&] { received = ipHelper().BytesReceived() > lngLastReceived_; });
    step([&] { sent = ipHelper().BytesSent() > lngLastSent_; });
    const bool downloadOnTray = intShowDownload_ != 0 && intDownloadKey_ == kTrayIcon;
    const bool uploadOnTray = intShowUpload_ != 0 && intUploadKey_ == kTrayIcon;
    if (intShowDownload_ != 0 && !downloadOnTray) step([&] { SetLockKey(switched_, downloadKey, received); });
    if (intShowUpload_ != 0 && !uploadOnTray) step([&] { SetLockKey(switched_, uploadKey, sent); });
    showLamps({downloadOnTray && received, uploadOnTray && sent});
    // The reference totals follow the traffic whether or not a key is shown,
    // so showing a key later does not light it for old traffic.
    step([&] {
        CIpHelper& helper = ipHelper();
        lngLastReceived_ = helper.BytesReceived();
        lngLastSent_ = helper.BytesSent();
    });
}

void ActivityMonitor::showLamps(Lamps lamps) {
    if (lamps == lamps_) return;
    step([&] {
        if (onLamps_) onLamps_(lamps);
        lamps_ = lamps;
    });
}

void ActivityMonitor::RefreshCounters() {
    step([&] { ipHelper().Interfaces(); });
}

void ActivityMonitor::getvalues(const Controls& controls) {
    step([&] { lngEnabled_ = controls.check1.value(); });
    step([&] { intShowDownload_ = controls.check2.value(); });
    step([&] { intShowUpload_ = controls.check3.value(); });
    // A list without a selection refuses the item value at position -1, so
    // the variable keeps what it had.
    step([&] {
        intDownloadKey_ = checked::narrow<LockKeyIndex>(controls.combo2.itemData(controls.combo2.listIndex()));
    });
    step([&] { intUploadKey_ = checked::narrow<LockKeyIndex>(controls.combo3.itemData(controls.combo3.listIndex())); });
    step([&] { lngInterval_ = controls.combo1.itemData(controls.combo1.listIndex()); });
    step([&] { controls.timer1.setInterval(lngInterval_); });
    // Exactly 1 arms the timer: a grayed box shows its key once the timer
    // runs, but cannot start it by itself.
    const bool armed = lngEnabled_ == 1 && (intShowUpload_ == 1 || intShowDownload_ == 1);
    step([&] { controls.timer1.setEnabled(armed); });
    // A stopped tick would leave a lit lamp lit for good, as it leaves a lock
    // key; unlike a key, the lamp is the program's own, so it goes out.
    showLamps({lamps_.received && armed && intShowDownload_ != 0 && intDownloadKey_ == kTrayIcon,
               lamps_.sent && armed && intShowUpload_ != 0 && intUploadKey_ == kTrayIcon});
}

}  // namespace tovi
