// ModuleFrame: counts this module's frames on its GUI thread. Every window procedure of the
// toolkit opens one, and so does every export of the module that the toolkit is built into.
// Work that must not run while any of the module's code is still on the stack (such as
// destroying an object one of whose methods called out of the module and was re-entered)
// waits for the outermost frame: the exit handler runs as that frame closes, with the frame
// still counted, so frames opened by the handler itself never run it again.
//
// The module's windows and exports live on one thread. The count follows the thread that
// opened the outermost frame; a frame opened meanwhile on another thread is not counted and
// sees a depth of 0 (no thread-local storage: the module may be unloaded while threads live).
#pragma once

class ModuleFrame {
public:
    using ExitHandler = void (*)() noexcept;

    ModuleFrame();
    ~ModuleFrame();
    ModuleFrame(const ModuleFrame&) = delete;
    ModuleFrame& operator=(const ModuleFrame&) = delete;

    // Frames of this module open on the calling thread, the caller's own included.
    static int Depth();
    // Runs whenever an outermost frame closes, on that frame's thread; null for none.
    static void SetExitHandler(ExitHandler handler);

private:
    bool m_counted;
};
