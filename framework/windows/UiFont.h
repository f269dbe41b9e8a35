#pragma once

namespace framework {

// Makes an installed Japanese UI font the application's font, keeping its size, so that the texts
// are measured with the font the layouts were drawn for whatever the locale (under an English or C
// locale the system would set Latin text in a wider font). Without such a font nothing changes.
// Needs a QApplication; only the first call for it acts.
void UseJapaneseUiFont();

}  // namespace framework
