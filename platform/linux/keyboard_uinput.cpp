#include "platform/linux/keyboard_uinput.h"

namespace tovi::platform {

std::unique_ptr<Keyboard> openUinputKeyboard(std::string& whyNot) {
    whyNot = "Tovi was built without its uinput keyboard.";
    return nullptr;
}

}  // namespace tovi::platform
