#pragma once

#include <QIcon>

namespace korvan {

// The pictures of the operation buttons and the window, drawn as vector paths at whatever
// size and device pixel ratio they are asked for, so they stay crisp at 32 x 32 and on
// high-DPI screens. Each running picture is its idle picture with a yellow banner of arrows.
enum class OperationIcon : int {
    Window = 128,          // a chip with a green downward arrow
    Erase = 129,           // a chip with a red cross
    Save = 131,            // a floppy disk
    EraseRunning = 134,
    Write = 135,           // a blue chip
    WriteRunning = 136,
    Read = 137,            // a green chip
    ReadRunning = 138,
    Verify = 139,          // a chip with a magnifier
    VerifyRunning = 140,
    Encrypt = 141,         // a padlock
    Auto = 142,            // a window with a gear
    Open = 143,            // an open folder
};

// A null icon for a number without a picture (0 included).
QIcon MakeOperationIcon(int id);

}  // namespace korvan
