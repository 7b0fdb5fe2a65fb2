// The settings window Main as it is created, before its load handler runs:
// the window's own properties, every child control and the two timers.
//
// Geometry in twips from the top-left corner of the client area (15 twips to
// the pixel at 96 dots per inch). Nothing moves or resizes a control at run
// time, so this table is the window's whole geometry. The one-pixel overlaps
// (a label over the list below it, Check2/Check3/Check4) are intended.
#pragma once

#include <array>
#include <cstdint>

#include "platform/toolkit.h"

namespace tovi::layout {

using platform::ControlKind;
using platform::ControlSpec;

inline constexpr platform::WindowSpec kMain{"Main", "Tovi - Lampfeld v1.10", 5295, 3690};

// Win32 control IDs. None is IDOK (1) or IDCANCEL (2), so Enter and Escape
// press no button.
inline constexpr int kCheck1 = 101, kCheck2 = 102, kCheck3 = 103, kCheck4 = 104;
inline constexpr int kCombo1 = 201, kCombo2 = 202, kCombo3 = 203;
inline constexpr int kCommand1 = 301, kCommand2 = 302, kCommand3 = 303;
inline constexpr int kLabel1 = 401, kLabel2 = 402, kLabel3 = 403, kLabel4 = 404;

// In reading order: left column top to bottom, the button row, the right block.
// Each list is named by the label above it.
inline constexpr std::array<ControlSpec, 14> kControls{{
    {"Check1", ControlKind::CheckBox, "Enable Application", {120, 120, 2415, 255}, 9, kCheck1},
    {"Check2", ControlKind::CheckBox, "Show Download Acitivity", {120, 480, 2415, 255}, 4, kCheck2},
    {"Check3", ControlKind::CheckBox, "Show Upload Activity", {120, 720, 2535, 255}, 3, kCheck3},
    {"Check4", ControlKind::CheckBox, "Start minimized", {120, 960, 2295, 255}, 13, kCheck4},
    {"Label2", ControlKind::Label, "Show Download Activity with", {120, 1320, 2535, 255}, 5, kLabel2},
    {"Combo2", ControlKind::ComboBox, "", {120, 1560, 2415, 315}, 6, kCombo2, "Label2"},
    {"Label3", ControlKind::Label, "Show Upload Activity with", {120, 1920, 2535, 255}, 7, kLabel3},
    {"Combo3", ControlKind::ComboBox, "", {120, 2160, 2415, 315}, 8, kCombo3, "Label3"},
    {"Label1", ControlKind::Label, "Update LEDs every", {120, 2520, 2535, 255}, 1, kLabel1},
    {"Combo1", ControlKind::ComboBox, "", {120, 2760, 2415, 315}, 0, kCombo1, "Label1"},
    {"Command1", ControlKind::Button, "Save", {120, 3240, 1215, 375}, 2, kCommand1},
    {"Command2", ControlKind::Button, "Cancel", {1320, 3240, 1215, 375}, 10, kCommand2},
    {"Command3", ControlKind::Button, "Exit", {4320, 3240, 855, 375}, 12, kCommand3},
    {"Label4", ControlKind::Label, "Label4", {2760, 120, 2535, 3015}, 11, kLabel4},
}};

// Timers at creation: both enabled.
inline constexpr std::int32_t kTimer1Interval = 100;   // ms
inline constexpr std::int32_t kTimer2Interval = 1000;  // ms

}  // namespace tovi::layout
