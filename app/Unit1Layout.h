// Positions and sizes of the main window's controls, in client-area pixels.
#pragma once

#include <QRect>

namespace unit1_layout {

inline constexpr int FormWidth = 576;
inline constexpr int FormHeight = 590;

inline constexpr QRect Bevel{88, 8, 393, 105};
inline constexpr QPoint NodeStripCaption{200, 16};
inline constexpr QPoint NodeStripHint{200, 88};
inline QPoint NodeNumberLabel(int n) {
    return {112 + 48 * (n - 1), 32};
}
inline QRect NodeShape(int n) {
    return {104 + 48 * (n - 1), 56, 25, 25};
}
// The red mark of a node with a fault: beside its circle, at the circle's top right.
inline QRect FaultMark(int n) {
    return {NodeShape(n).right() + 3, 55, 10, 10};
}

inline constexpr QPoint ShowingLabel{208, 128};
inline constexpr QRect SpinEdit{288, 125, 49, 22};

inline constexpr QRect SwitchArray{48, 176, 473, 105};
inline constexpr QPoint CurrentLabel{8, 248};
inline QRect CurrentEdit(int n) {
    return {54 + 56 * (n - 1), 245, 51, 21};
}
inline constexpr QPoint FaultLabel{16, 280};
inline QRect FaultShape(int n) {
    return {56 + 56 * (n - 1), 272, 49, 25};
}

struct SettingsRow {
    const char* label;
    QPoint labelAt;
    int edit;     // EditN
    QRect editAt; // width x 21
};
inline constexpr SettingsRow SettingsRows[] = {
    {"Input voltage", {32, 324}, 9, {104, 320, 57, 21}},
    {"Doubling/tripling", {16, 347}, 10, {104, 344, 161, 21}},
    {"Power on defaults", {8, 372}, 11, {104, 368, 161, 21}},
    {"Profile", {64, 396}, 12, {104, 392, 161, 21}},
    {"Wigwag", {56, 420}, 13, {104, 416, 161, 21}},
    {"Wigwag interval", {16, 444}, 15, {104, 440, 89, 21}},
    {"Flasher", {56, 468}, 14, {104, 464, 161, 21}},
    {"Dual LED", {48, 492}, 16, {104, 488, 49, 21}},
};
inline constexpr QPoint TimesTwoLabel{200, 446};

struct ButtonPlace {
    int button; // ButtonN
    const char* caption;
    QRect at;
};
inline constexpr ButtonPlace Buttons[] = {
    {1, "...", {288, 346, 33, 22}},
    {2, "...", {288, 370, 33, 22}},
    {6, "...", {288, 418, 33, 22}},
    {3, "Enable", {328, 418, 49, 22}},
    {4, "...", {288, 442, 33, 22}},
    {5, "...", {288, 466, 33, 22}},
    {7, "...", {288, 490, 33, 22}},
    {9, "Breaker setup", {392, 312, 153, 25}},
    {8, "Set to factory defaults", {392, 344, 153, 25}},
};
inline constexpr QRect CloseButton{472, 496, 75, 25};

} // namespace unit1_layout
