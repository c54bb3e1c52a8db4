// Windows paths that name a device rather than a file, told from the text
// alone, so that such a path is never opened: opening a serial port or the
// console can block, and a pipe's bytes belong to its reader.
#pragma once

#include <string_view>

// True for a path in the device namespace ("\\.\COM1", "\\?\pipe\x") and for
// one whose last part is a reserved DOS device name with any extension, in
// any folder: CON, PRN, AUX, NUL, COM0-9, LPT0-9 (also with superscript
// digits ¹ ² ³), CONIN$ and CONOUT$, in any case, spaces before the dot
// ignored ("con .pdb" is the console too).
bool NamesDevice(std::u16string_view path);
