#pragma once

namespace korvan {

class Console;
struct WindowControls;

// The hex views show the console's Buffer1 and Buffer2, and hand the operator's edits, undos
// and redos to it as commands; the lock-bit list hands the operator's pick the same way.
// The console must outlive the connections or DisconnectBufferPages must come first.
void ConnectBufferPages(const WindowControls& controls, Console& console);
void DisconnectBufferPages(const WindowControls& controls);

}  // namespace korvan
