// What a screen reader hears of the History window: a window of its own, and a plot that says
// in words what it shows.
#pragma once

// Installs the accessible interfaces of the History window and its plot; once per program.
void InstallHistoryAccessibility();
