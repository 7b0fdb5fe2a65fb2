// What the window-less program says about stored values it could not take:
// the window itself shows what is in force, without it nothing would.
#include <string>
#include <string_view>
#include <vector>

#include "base/guard.h"
#include "window/main.h"
#include "window/settings.h"

namespace tovi {

namespace {

const char* keyName(LockKeyIndex index) {
    switch (index) {
    case kCapsLock:
        return "Caps Lock";
    case kNumLock:
        return "Num Lock";
    case kScrollLock:
        return "Scroll Lock";
    default:
        return nullptr;
    }
}

std::string lockKeyInForce(LockKeyIndex index) {
    const char* name = keyName(index);
    return name ? std::string(name) : "the lock key " + std::to_string(index);
}

// The stored text as a line of the journal can carry it: control bytes
// masked, and no more than a line's worth.
std::string printable(const std::string& text) {
    constexpr std::size_t kMost = 40;  // characters
    std::string out;
    for (const char c : text.substr(0, kMost)) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    if (text.size() > kMost) out += "...";
    return out;
}

}  // namespace

std::vector<std::string> Main::refusalNotes() const {
    std::vector<std::string> notes;
    for (const RefusedSetting& refused : refused_) {
        const std::string_view key = refused.key;
        std::string must;
        std::string instead;
        if (key == settings::kInterval) {
            std::int32_t last = -1;
            step([&] { last = Combo1->listCount() - 1; });
            must = "a position in the list of intervals, 0 to " + std::to_string(last);
            instead = monitor_.lngInterval() > 0
                          ? std::to_string(monitor_.lngInterval()) + " milliseconds are used instead"
                          : "no interval is used instead, so the lights are never updated";
        } else if (key == settings::kDownloadKey || key == settings::kUploadKey) {
            must = "0 for Caps Lock, 1 for Num Lock or 2 for Scroll Lock";
            const LockKeyIndex inForce =
                key == settings::kDownloadKey ? monitor_.intDownloadKey() : monitor_.intUploadKey();
            instead = lockKeyInForce(inForce) + " is used instead";
        } else {
            must = "0 for off, 1 for on or 2 for grayed";
            const platform::CheckBox* box = key == settings::kEnabled          ? Check1
                                            : key == settings::kDownload       ? Check2
                                            : key == settings::kUpload         ? Check3
                                            : key == settings::kStartMinimized ? Check4
                                                                               : nullptr;
            const std::int16_t state = box ? box->value() : 0;
            instead = std::to_string(state) +
                      (state == 0   ? " (off)"
                       : state == 1 ? " (on)"
                                    : " (grayed)") +
                      " is used instead";
        }
        notes.push_back(std::string(key) + "=" + printable(refused.text) + " is not taken (it must be " + must + "); " +
                        instead + ".");
    }
    return notes;
}

}  // namespace tovi
